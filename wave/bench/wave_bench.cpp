// wave-bench: what the engine costs per 40-ms block, how fast it runs on the virtual card in fast
// pace, and its latencies. Prints the figures; run it from build/bin.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BrevonWave.h"
#include "platform/wavedev.h"
#include "wave_in.h"
#include "wave_out.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kBlockMicros = 40000.0;

uint64_t nowNanos()
{
    return uint64_t(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
}

WAVEFORMATEX cdFormat()
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 176400;
    return f;
}

void waitFor(const std::atomic<int>& counter, int value, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (counter < value && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Capture.
std::atomic<int> captured{0};
std::atomic<uint64_t> lastLevelAt{0};
std::vector<double> captureLatencies;

intptr_t levelSeen(void*, intptr_t)
{
    lastLevelAt = nowNanos();
    return 0;
}

intptr_t blockSeen(void*, intptr_t)
{
    ++captured;
    return 0;
}

intptr_t blockLatency(void* buffer, intptr_t)
{
    const uint64_t returned = platform::waveReturnStamp(static_cast<WAVEHDR*>(buffer));
    if (captureLatencies.size() < captureLatencies.capacity())
        captureLatencies.push_back(double(lastLevelAt - returned) / 1000.0);
    ++captured;
    return 0;
}

// Playback: a fill procedure reading a WAV file's data, as the file library's does.
std::FILE* wavFile = nullptr;
constexpr long kDataStart = 44;
std::atomic<int> closes{0};
std::atomic<uint64_t> firstFillAt{0};

intptr_t playStart(void* offset, intptr_t)
{
    std::fseek(wavFile, kDataStart + long(*static_cast<uint64_t*>(offset)), SEEK_SET);
    return 0;
}

intptr_t fillFromFile(void* request, intptr_t)
{
    auto* fill = static_cast<FillRequest*>(request);
    fill->length = uint32_t(std::fread(fill->buffer, 1, fill->length, wavFile));
    if (firstFillAt == 0)
        firstFillAt = nowNanos();
    return 0;
}

// Writes a WAV file of two minutes of 44100 Hz 16-bit stereo noise.
bool writeWav(const char* path)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const uint32_t dataBytes = 176400u * 120;
    const WAVEFORMATEX format = cdFormat();
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,   0, 'W',
                          'A', 'V', 'E', 'f', 'm', 't', ' ', 16};
    const uint32_t riffBytes = 36 + dataBytes;
    std::memcpy(header + 4, &riffBytes, 4);
    std::memcpy(header + 20, &format, 16);
    std::memcpy(header + 36, "data", 4);
    std::memcpy(header + 40, &dataBytes, 4);
    std::fwrite(header, 1, 44, f);
    std::vector<uint8_t> second(176400);
    for (int s = 0; s < 120; ++s) {
        for (size_t i = 0; i < second.size(); ++i)
            second[i] = uint8_t(((i + size_t(s)) * 2654435761u) >> 13);
        std::fwrite(second.data(), 1, second.size(), f);
    }
    return std::fclose(f) == 0;
}

intptr_t closed(void*, intptr_t)
{
    ++closes;
    return 0;
}

void printPerBlock(const char* what, brevon::wave::HandlerStats& stats)
{
    const double micros = stats.blocks ? double(stats.nanos) / double(stats.blocks) / 1000.0 : 0;
    std::printf("  %-44s %8.2f us per block = %6.3f %% of 40 ms (%llu blocks)\n", what, micros,
                100.0 * micros / kBlockMicros, static_cast<unsigned long long>(stats.blocks));
}

void benchCapture()
{
    const WAVEFORMATEX format = cdFormat();
    setenv("DRAVIK_AUDIO", "virtual:in=noise,pace=fast", 1);
    WaveInDataCallBack(levelSeen);
    WaveInDataReadyCallBack(blockSeen);
    auto& engine = brevon::wave::waveIn();
    engine.stats().blocks = 0;
    engine.stats().nanos = 0;
    constexpr int kBlocks = 5000;
    WaveInRecordStart();
    const auto began = Clock::now();
    if (!WaveInStart(&format)) {
        std::printf("capture: the virtual card did not start\n");
        return;
    }
    waitFor(captured, kBlocks, 60000);
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const int blocks = captured;
    WaveInRecordStop();
    WaveInStop();
    std::printf("Capture, 44100 Hz 16-bit stereo, virtual card in fast pace:\n");
    printPerBlock("engine work (levels, hand-over, re-queue)", engine.stats());
    std::printf("  %-44s %8.0f blocks/s (%.0f x real time)\n",
                "throughput to a do-nothing callback", blocks / seconds, blocks / seconds / 25.0);

    // Latency in real time: from the device's return of a buffer to the level callback.
    setenv("DRAVIK_AUDIO", "virtual:in=noise", 1);
    captured = 0;
    captureLatencies.clear();
    captureLatencies.reserve(50);
    WaveInDataReadyCallBack(blockLatency);
    WaveInRecordStart();
    WaveInStart(&format);
    waitFor(captured, 50, 5000);
    WaveInRecordStop();
    WaveInStop();
    if (captureLatencies.empty())
        return;
    std::sort(captureLatencies.begin(), captureLatencies.end());
    double sum = 0;
    for (double l : captureLatencies)
        sum += l;
    std::printf("  %-44s %8.1f us mean, %.1f us median, %.1f us max (%zu blocks, real time)\n",
                "buffer returned -> level callback", sum / double(captureLatencies.size()),
                captureLatencies[captureLatencies.size() / 2], captureLatencies.back(),
                captureLatencies.size());
}

void benchPlayback()
{
    const WAVEFORMATEX format = cdFormat();
    const std::string path = "/tmp/wave-bench-" + std::to_string(getpid()) + ".wav";
    if (!writeWav(path.c_str()) || !(wavFile = std::fopen(path.c_str(), "rb"))) {
        std::printf("playback: cannot write %s\n", path.c_str());
        return;
    }
    WaveOutPlayStartCallBack(playStart);
    WaveOutFillDataCallBack(fillFromFile);
    WaveOutCloseCallBack(closed);
    WMAReaderGetSampleCallBack(nullptr);
    setenv("DRAVIK_AUDIO", "virtual:pace=fast", 1);
    auto& engine = brevon::wave::waveOut();
    engine.stats().blocks = 0;
    engine.stats().nanos = 0;
    const auto began = Clock::now();
    PlayStart(0, 0, &format, 7056);
    waitFor(closes, 1, 60000);
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const auto blocks = double(engine.stats().blocks);
    PlayStop();
    std::printf("Playback, 44100 Hz 16-bit stereo, pull mode from a WAV file, virtual card in "
                "fast pace:\n");
    printPerBlock("engine work (fill, new block, levels, free)", engine.stats());
    std::printf("  %-44s %8.0f blocks/s (%.0f x real time)\n", "throughput of a 2-minute WAV file",
                blocks / seconds, blocks / seconds / 25.0);

    // Latency in real time: from PlayStart to the first block on its way to the device, and to
    // PlayStart's return with 25 blocks queued.
    setenv("DRAVIK_AUDIO", "virtual", 1);
    double toFirst = 0, toReturn = 0;
    constexpr int kRuns = 20;
    for (int i = 0; i < kRuns; ++i) {
        firstFillAt = 0;
        const uint64_t start = nowNanos();
        PlayStart(0, 0, &format, 7056);
        const uint64_t returned = nowNanos();
        toFirst += double(firstFillAt - start) / 1000.0;
        toReturn += double(returned - start) / 1000.0;
        PlayStop();
    }
    std::printf("  %-44s %8.1f us mean (device open included, %d runs)\n",
                "PlayStart -> first block filled for writing", toFirst / kRuns, kRuns);
    std::printf("  %-44s %8.1f us mean\n", "PlayStart -> return, 25 blocks queued",
                toReturn / kRuns);
    std::fclose(wavFile);
    std::remove(path.c_str());
}

} // namespace

int main()
{
    benchCapture();
    benchPlayback();
    return 0;
}
