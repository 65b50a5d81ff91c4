// wma-bench: times Brevon.WMA against the ffmpeg command line on the same sound.
//   writing: N minutes of 44100 Hz stereo through WMAWriterWriteSample in 40-ms buffers (a128)
//            beside `ffmpeg -i in.wav -c:a wmav2 -b:a 128k out.wma`
//   reading: the same length decoded through the reader with the clock far ahead beside
//            `ffmpeg -i f.wma -f null -`
//   open latency: WMAReaderOpen until it returns with the file open.
// Each figure is the best of three runs. Usage: wma-bench [minutes, default 10]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "BrevonWMA.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr uint64_t kSecond = 10'000'000;
constexpr int kRuns = 3;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Speech-like material: a few drifting tones with noise, so the encoder has real work.
std::vector<int16_t> makeSound(int minutes)
{
    const size_t frames = size_t(kRate) * 60 * minutes;
    std::vector<int16_t> pcm(frames * kChannels);
    std::mt19937 noise(1);
    std::uniform_int_distribution<int> jitter(-800, 800);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double tone = 6000 * std::sin(2 * M_PI * (220 + 40 * std::sin(t)) * t) +
                            3000 * std::sin(2 * M_PI * 1250 * t) * std::sin(2 * M_PI * 0.7 * t);
        pcm[i * 2] = static_cast<int16_t>(tone + jitter(noise));
        pcm[i * 2 + 1] = static_cast<int16_t>(tone * 0.8 + jitter(noise));
    }
    return pcm;
}

void writeWav(const fs::path& path, const std::vector<int16_t>& pcm)
{
    const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(kChannels);
    u32(kRate);
    u32(kRate * kChannels * 2);
    u16(kChannels * 2);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

double timeCommand(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "wma-bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
    return secondsSince(start);
}

double writeOurs(const std::vector<int16_t>& pcm, const fs::path& path)
{
    WAVEFORMATEX wfx{};
    if (WMAWriterConfigure(5, &wfx) != 0 || wfx.nSamplesPerSec != kRate) {
        std::fprintf(stderr, "wma-bench: profile a128 not configured\n");
        std::exit(1);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    const size_t block = size_t(wfx.nBlockAlign) * (wfx.nSamplesPerSec / 25);
    const auto start = Clock::now();
    if (WMAWriterStart(path.c_str()) != 0) {
        std::fprintf(stderr, "wma-bench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    for (size_t at = 0; at < total; at += block) {
        const auto length = static_cast<uint32_t>(std::min(block, total - at));
        WMAWriterWriteSample(uint64_t(length) * kSecond / wfx.nAvgBytesPerSec, bytes + at, length);
    }
    WMAWriterStop();
    return secondsSince(start);
}

// The reader's deliveries: the end reached and when the last one came.
struct Progress {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t end = 0;
    Clock::time_point last;
};
Progress g_progress;

intptr_t onSample(WMASampleInfo* info, uint64_t* duration)
{
    std::lock_guard lock(g_progress.mutex);
    g_progress.end = std::max(g_progress.end, info->sampleTime + *duration);
    g_progress.last = Clock::now();
    g_progress.changed.notify_all();
    return 0;
}

double readOurs(const fs::path& path)
{
    if (WMAReaderOpen(path.c_str()) != 0) {
        std::fprintf(stderr, "wma-bench: cannot open %s\n", path.c_str());
        std::exit(1);
    }
    const uint64_t duration = WMAReaderm_cnsFileDuration();
    {
        std::lock_guard lock(g_progress.mutex);
        g_progress.end = 0;
    }
    const auto start = Clock::now();
    WMAReaderStart(0, 0);
    uint64_t far = UINT64_MAX / 2;
    std::unique_lock lock(g_progress.mutex);
    // The clock stays far ahead; the run ends when the file's length has arrived or deliveries
    // stop (the time of the last one counts).
    for (;;) {
        lock.unlock();
        WMAReaderGetSampleProc(&far, 0);
        lock.lock();
        if (g_progress.end + kSecond / 10 >= duration)
            break;
        const uint64_t seen = g_progress.end;
        if (!g_progress.changed.wait_for(lock, std::chrono::milliseconds(500),
                                         [&] { return g_progress.end != seen; }))
            break;
    }
    const double seconds = std::chrono::duration<double>(g_progress.last - start).count();
    lock.unlock();
    WMAReaderClose();
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "wma-bench: ffmpeg is needed for the comparison\n");
        return 1;
    }
    const fs::path dir = fs::temp_directory_path() / ("wma-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto pcm = makeSound(minutes);
    writeWav(dir / "in.wav", pcm);
    if (WMAWriterCreate() != 0 || WMAReaderCreate() != 0) {
        std::fprintf(stderr, "wma-bench: the media runtime is missing\n");
        return 1;
    }
    WMAReaderOnSample(&onSample);

    double ours = 1e9, theirs = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        ours = std::min(ours, writeOurs(pcm, dir / "ours.wma"));
        theirs = std::min(
            theirs, timeCommand("ffmpeg -v error -y -i '" + (dir / "in.wav").string() +
                                "' -c:a wmav2 -b:a 128k '" + (dir / "out.wma").string() + "'"));
    }
    std::printf("writing %d min 44100 Hz stereo, a128, 40-ms buffers\n", minutes);
    std::printf(
        "  Brevon.WMA   %7.3f s\n  ffmpeg       %7.3f s\n  ratio        %7.3f  (target <= 1.1)\n",
        ours, theirs, ours / theirs);

    const fs::path file = dir / "out.wma";
    double read = 1e9, decode = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        read = std::min(read, readOurs(file));
        decode = std::min(decode, timeCommand("ffmpeg -v error -i '" + file.string() +
                                              "' -f null - 2>/dev/null"));
    }
    std::printf("reading %d min WMA (ffmpeg's own file), clock far ahead\n", minutes);
    std::printf("  Brevon.WMA   %7.3f s\n  ffmpeg       %7.3f s\n  ratio        %7.3f\n", read,
                decode, read / decode);

    std::vector<double> opens;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        if (WMAReaderOpen(file.c_str()) != 0)
            return 1;
        opens.push_back(secondsSince(start) * 1000);
        WMAReaderClose();
    }
    std::sort(opens.begin(), opens.end());
    std::printf("open latency (open to OPENED and return), 20 opens\n");
    std::printf("  median %.2f ms, max %.2f ms\n", opens[opens.size() / 2], opens.back());

    WMAReaderDelete();
    WMAWriterDelete();
    fs::remove_all(dir);
    return 0;
}
