// The wave device layer over the virtual sound card: formats, buffer rules, capture from
// generators and WAV files, playback into a WAV file, reset, pace and the unplugged device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "device_helpers.h"
#include "testsupport/testsupport.h"

using namespace platform;
using namespace wavedevtest;
using wavetest::dataChunk;

namespace {

std::vector<uint8_t> wavFile(const WAVEFORMATEX& format, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> file(44 + data.size());
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(file.data() + at, &v, 4); };
    std::memcpy(file.data(), "RIFF", 4);
    put32(4, uint32_t(36 + data.size()));
    std::memcpy(file.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    std::memcpy(file.data() + 20, &format, 16);
    std::memcpy(file.data() + 36, "data", 4);
    put32(40, uint32_t(data.size()));
    std::copy(data.begin(), data.end(), file.begin() + 44);
    return file;
}

int16_t sample16(const TestBuffer& b, size_t index)
{
    int16_t v;
    std::memcpy(&v, b.data.data() + index * 2, 2);
    return v;
}

// Captures count buffers of the given size from the mapper; the buffers come back in order.
std::vector<std::unique_ptr<TestBuffer>> capture(const WAVEFORMATEX& format, size_t count,
                                                 size_t bytes)
{
    MessageLog log;
    HWAVEIN device = nullptr;
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, MessageLog::inProc, log.instance(),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<TestBuffer>> buffers;
    for (size_t i = 0; i < count; ++i) {
        buffers.push_back(std::make_unique<TestBuffer>(bytes));
        waveInPrepareHeader(device, &buffers.back()->header);
        EXPECT_EQ(waveInAddBuffer(device, &buffers.back()->header), MMSYSERR_NOERROR);
    }
    waveInStart(device);
    EXPECT_TRUE(log.waitFor(MM_WIM_DATA, count));
    waveInReset(device);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    auto messages = log.all();
    size_t next = 0;
    for (auto& m : messages) {
        if (m.message == MM_WIM_DATA && next < count) {
            EXPECT_EQ(m.param1, reinterpret_cast<uintptr_t>(&buffers[next++]->header));
        }
    }
    return buffers;
}

} // namespace

TEST(WaveFormatCheck, TakesIntegerPcmOfUsualSizesAndRefusesTheRest)
{
    for (uint16_t bits : {8, 16, 24, 32})
        for (uint16_t channels : {1, 2}) {
            WAVEFORMATEX f = pcm(44100, channels, bits);
            EXPECT_EQ(checkWaveFormat(&f), MMSYSERR_NOERROR) << bits << " bits";
        }
    const char* reason = nullptr;
    WAVEFORMATEX f = pcm(44100, 2, 12);
    EXPECT_EQ(checkWaveFormat(&f, &reason), WAVERR_BADFORMAT);
    EXPECT_STRNE(reason, "");
    f = pcm(44100, 6, 16);
    EXPECT_EQ(checkWaveFormat(&f), WAVERR_BADFORMAT);
    f = pcm(44100, 2, 16);
    f.nBlockAlign = 3;
    EXPECT_EQ(checkWaveFormat(&f), WAVERR_BADFORMAT);
    f = pcm(44100, 2, 16);
    f.wFormatTag = 3; // IEEE float
    EXPECT_EQ(checkWaveFormat(&f), WAVERR_BADFORMAT);
}

TEST(WaveFormatCheck, ExtensibleNeedsThePcmSubFormat)
{
    WAVEFORMATEXTENSIBLE x{};
    x.Format = pcm(48000, 2, 24);
    x.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    x.Format.cbSize = 22;
    x.wValidBitsPerSample = 24;
    std::memcpy(x.SubFormat, KSDATAFORMAT_SUBTYPE_PCM, 16);
    EXPECT_EQ(checkWaveFormat(&x.Format), MMSYSERR_NOERROR);
    x.SubFormat[0] = 3; // the float sub-format
    EXPECT_EQ(checkWaveFormat(&x.Format), WAVERR_BADFORMAT);
    x.SubFormat[0] = 1;
    x.Format.cbSize = 0; // the extension is missing
    EXPECT_EQ(checkWaveFormat(&x.Format), WAVERR_BADFORMAT);
}

TEST(VirtualCard, IsTheFirstDeviceAndTheMapperOnlyWhileSwitchedOn)
{
    {
        AudioSetting on("virtual");
        ASSERT_GE(waveInGetNumDevs(), 1u);
        ASSERT_GE(waveOutGetNumDevs(), 1u);
        WAVEINCAPS in{};
        WAVEOUTCAPS out{};
        ASSERT_EQ(waveInGetDevCaps(0, &in), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutGetDevCaps(WAVE_MAPPER, &out), MMSYSERR_NOERROR);
        EXPECT_STREQ(in.szPname, kVirtualCardName);
        EXPECT_STREQ(out.szPname, kVirtualCardName);
    }
    AudioSetting off("");
    WAVEINCAPS in{};
    for (uint32_t i = 0; i < waveInGetNumDevs(); ++i) {
        ASSERT_EQ(waveInGetDevCaps(i, &in), MMSYSERR_NOERROR);
        EXPECT_STRNE(in.szPname, kVirtualCardName);
    }
    EXPECT_EQ(waveInGetDevCaps(waveInGetNumDevs(), &in), MMSYSERR_BADDEVICEID);
}

TEST(VirtualCard, OpenRefusesAForeignFormatWithoutOpening)
{
    AudioSetting on("virtual:pace=fast");
    MessageLog log;
    WAVEFORMATEX f = pcm(44100, 2, 16);
    f.wFormatTag = 3;
    HWAVEOUT device = nullptr;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, MessageLog::outProc, log.instance(),
                          CALLBACK_FUNCTION),
              WAVERR_BADFORMAT);
    EXPECT_EQ(log.count(MM_WOM_OPEN), 0u);
    f = pcm(44100, 2, 16);
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &f, nullptr, 0, WAVE_FORMAT_QUERY),
              MMSYSERR_NOERROR);
}

TEST(VirtualCard, CapturesTheToneAtHalfScaleInWholeBuffers)
{
    AudioSetting on("virtual:in=tone,pace=fast");
    auto buffers = capture(pcm(44100, 2, 16), 4, 7056);
    int peak = 0;
    for (auto& b : buffers) {
        EXPECT_EQ(b->header.dwBytesRecorded, 7056u);
        EXPECT_TRUE(b->header.dwFlags & WHDR_DONE);
        EXPECT_FALSE(b->header.dwFlags & WHDR_INQUEUE);
        for (size_t i = 0; i < 3528; ++i)
            peak = std::max(peak, std::abs(int(sample16(*b, i))));
        // Both channels carry the same tone.
        EXPECT_EQ(sample16(*b, 100), sample16(*b, 101));
    }
    EXPECT_NEAR(peak, 16384, 20);
}

TEST(VirtualCard, GeneratesSilenceAndBursts)
{
    {
        AudioSetting on("virtual:in=silence,pace=fast");
        auto buffers = capture(pcm(8000, 1, 8), 2, 320);
        for (char c : buffers[0]->data)
            EXPECT_EQ(uint8_t(c), 0x80);
    }
    AudioSetting on("virtual:in=bursts,pace=fast");
    // 3 s of 8 kHz mono 16-bit in 1-s buffers: tone, silence, silence.
    auto buffers = capture(pcm(8000, 1, 16), 3, 16000);
    auto peakOf = [](const TestBuffer& b) {
        int p = 0;
        for (size_t i = 0; i < 8000; ++i)
            p = std::max(p, std::abs(int(sample16(b, i))));
        return p;
    };
    EXPECT_GT(peakOf(*buffers[0]), 16000);
    EXPECT_EQ(peakOf(*buffers[1]), 0);
    EXPECT_EQ(peakOf(*buffers[2]), 0);
}

TEST(VirtualCard, CapturesAWavFileByteForByteAndLoopsIt)
{
    testsupport::TempDir dir;
    std::vector<uint8_t> data(4000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + i / 256);
    const WAVEFORMATEX format = pcm(22050, 2, 16);
    testsupport::writeFile(dir / "in.wav", wavFile(format, data));
    AudioSetting on("virtual:in=" + (dir / "in.wav").string() + ",pace=fast");
    auto buffers = capture(format, 3, 3000);
    std::vector<uint8_t> got;
    for (auto& b : buffers)
        got.insert(got.end(), b->data.begin(), b->data.end());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 4000, got.begin() + 8000, data.begin()));
}

TEST(VirtualCard, CapturesALongWavFileWholeAcrossItsDiskReadsAndLoops)
{
    // 40000 stereo frames, each sample naming its frame and side: read from the disk in parts
    // larger than a buffer and not aligned with the buffers, every frame must arrive once, in
    // order, and the loop start over at the first.
    testsupport::TempDir dir;
    const size_t frames = 40000;
    auto left = [](size_t k) { return int16_t(int(k % 30011) - 15000); };
    std::vector<uint8_t> data(frames * 4);
    for (size_t k = 0; k < frames; ++k) {
        const int16_t pair[2] = {left(k), int16_t(-left(k) - 1)};
        std::memcpy(data.data() + 4 * k, pair, 4);
    }
    const WAVEFORMATEX format = pcm(44100, 2, 16);
    testsupport::writeFile(dir / "in.wav", wavFile(format, data));
    AudioSetting on("virtual:in=" + (dir / "in.wav").string() + ",pace=fast");
    const size_t perBuffer = 3528;
    auto buffers = capture(format, 14, perBuffer * 4);
    size_t mismatches = 0;
    for (size_t i = 0; i < 14 * perBuffer; ++i) {
        const size_t k = i % frames;
        const auto& b = *buffers[i / perBuffer];
        const size_t at = i % perBuffer;
        if ((sample16(b, 2 * at) != left(k) || sample16(b, 2 * at + 1) != -left(k) - 1) &&
            mismatches++ < 5)
            ADD_FAILURE() << "frame " << i;
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(VirtualCard, ConvertsAWavFileToTheCaptureFormat)
{
    testsupport::TempDir dir;
    // 8-bit mono at 8000 Hz: a ramp of bytes 0x80, 0xC0, 0x40, ...
    std::vector<uint8_t> data = {0x80, 0xC0, 0x40, 0xFF, 0x00, 0x80};
    testsupport::writeFile(dir / "in.wav", wavFile(pcm(8000, 1, 8), data));
    AudioSetting on("virtual:in=" + (dir / "in.wav").string() + ",pace=fast");
    auto buffers = capture(pcm(8000, 2, 16), 1, 24);
    const int16_t expected[] = {0, 16384, -16384, 32512, -32768, 0};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(sample16(*buffers[0], 2 * i), expected[i]) << i;
        EXPECT_EQ(sample16(*buffers[0], 2 * i + 1), expected[i]) << i;
    }
}

TEST(VirtualCard, ConvertsALongWavFileAsItReadsItAndLoopsIt)
{
    // 40000 frames at 11025 Hz mono, twice the rate in the capture: every second frame is the
    // mean of two neighbours. The file is read in parts as it plays, so the frames on either side
    // of each part's edge must still meet.
    testsupport::TempDir dir;
    const size_t frames = 40000;
    auto source = [](size_t k) { return int16_t(2 * int(k % 10000) - 10000); };
    std::vector<uint8_t> data(frames * 2);
    for (size_t k = 0; k < frames; ++k) {
        const int16_t v = source(k);
        std::memcpy(data.data() + 2 * k, &v, 2);
    }
    testsupport::writeFile(dir / "in.wav", wavFile(pcm(11025, 1, 16), data));
    AudioSetting on("virtual:in=" + (dir / "in.wav").string() + ",pace=fast");
    auto buffers = capture(pcm(22050, 1, 16), 3, 60000);
    size_t mismatches = 0;
    for (size_t i = 0; i < 3 * 30000; ++i) {
        const size_t out = i % (2 * frames); // the loop starts over after 80000 frames
        const size_t k = out / 2;
        int expected = source(k);
        if (out % 2 == 1 && k + 1 < frames)
            expected = (source(k) + source(k + 1)) / 2;
        const int got = sample16(*buffers[i / 30000], i % 30000);
        if (got != expected && mismatches++ < 5)
            ADD_FAILURE() << "frame " << i << ": " << got << " instead of " << expected;
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(VirtualCard, RefusesToOpenWithAnUnreadableInputFile)
{
    testsupport::TempDir dir;
    AudioSetting on("virtual:in=" + (dir / "missing.wav").string());
    WAVEFORMATEX f = pcm(44100, 2, 16);
    HWAVEIN device = nullptr;
    EXPECT_NE(waveInOpen(&device, WAVE_MAPPER, &f, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    AudioSetting damaged("virtual:in=" + testsupport::fixture("damaged-no-fmt.wav").string());
    EXPECT_NE(waveInOpen(&device, WAVE_MAPPER, &f, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
}

TEST(VirtualCard, PlaysEveryByteIntoTheOutputFile)
{
    testsupport::TempDir dir;
    AudioSetting on("virtual:out=" + (dir / "out.wav").string() + ",pace=fast");
    MessageLog log;
    const WAVEFORMATEX format = pcm(44100, 1, 16);
    HWAVEOUT device = nullptr;
    ASSERT_EQ(
        waveOutOpen(&device, 0, &format, MessageLog::outProc, log.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    EXPECT_EQ(log.count(MM_WOM_OPEN), 1u);
    std::vector<std::unique_ptr<TestBuffer>> buffers;
    std::vector<uint8_t> played;
    for (size_t i = 0; i < 5; ++i) {
        buffers.push_back(std::make_unique<TestBuffer>(1000 + 2 * i)); // odd block sizes too
        for (size_t j = 0; j < buffers.back()->data.size(); ++j)
            buffers.back()->data[j] = char(i * 31 + j);
        played.insert(played.end(), buffers.back()->data.begin(), buffers.back()->data.end());
        waveOutPrepareHeader(device, &buffers.back()->header);
        ASSERT_EQ(waveOutWrite(device, &buffers.back()->header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(log.waitFor(MM_WOM_DONE, 5));
    uint64_t position = 0;
    waveOutGetPosition(device, &position);
    EXPECT_EQ(position, played.size());
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(log.count(MM_WOM_CLOSE), 1u);
    auto file = testsupport::readFile(dir / "out.wav");
    EXPECT_EQ(dataChunk(file), played);
    WAVEFORMATEX written{};
    std::memcpy(&written, file.data() + 20, 16);
    EXPECT_EQ(written.nSamplesPerSec, 44100u);
    EXPECT_EQ(written.nChannels, 1);
}

TEST(VirtualCard, BufferRulesOfPrepareQueueAndClose)
{
    AudioSetting on("virtual:pace=fast");
    MessageLog log;
    const WAVEFORMATEX format = pcm(8000, 1, 16);
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, MessageLog::inProc, log.instance(),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    TestBuffer a(640), b(640);
    EXPECT_EQ(waveInAddBuffer(device, &a.header), WAVERR_UNPREPARED);
    waveInPrepareHeader(device, &a.header);
    waveInPrepareHeader(device, &b.header);
    EXPECT_EQ(waveInAddBuffer(device, &a.header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(device, &a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInAddBuffer(device, &b.header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInUnprepareHeader(device, &a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInClose(device), WAVERR_STILLPLAYING);
    // Not started: a reset hands every queued buffer back, empty and in order.
    EXPECT_EQ(waveInReset(device), MMSYSERR_NOERROR);
    auto messages = log.all();
    ASSERT_EQ(log.count(MM_WIM_DATA), 2u);
    EXPECT_EQ(messages[1].param1, reinterpret_cast<uintptr_t>(&a.header));
    EXPECT_EQ(messages[2].param1, reinterpret_cast<uintptr_t>(&b.header));
    EXPECT_EQ(a.header.dwBytesRecorded, 0u);
    EXPECT_EQ(waveInUnprepareHeader(device, &a.header), MMSYSERR_NOERROR);
    EXPECT_FALSE(a.header.dwFlags & WHDR_PREPARED);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    // The handle is gone for good.
    EXPECT_EQ(waveInStart(device), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(device), MMSYSERR_INVALHANDLE);
}

TEST(VirtualCard, RealtimePaceReturnsBuffersAtTheRateOfTheSound)
{
    AudioSetting on("virtual");
    const auto began = std::chrono::steady_clock::now();
    capture(pcm(8000, 1, 16), 4, 640); // 4 x 40 ms
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST(VirtualCard, PausedPlaybackHoldsItsBuffersUntilRestart)
{
    AudioSetting on("virtual");
    MessageLog log;
    const WAVEFORMATEX format = pcm(8000, 1, 16);
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, MessageLog::outProc, log.instance(),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    waveOutPause(device);
    TestBuffer a(640), b(640);
    waveOutPrepareHeader(device, &a.header);
    waveOutPrepareHeader(device, &b.header);
    waveOutWrite(device, &a.header);
    waveOutWrite(device, &b.header);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(log.count(MM_WOM_DONE), 0u);
    waveOutRestart(device);
    EXPECT_TRUE(log.waitFor(MM_WOM_DONE, 2, 2000));
    // A reset while paused leaves the device playing the next write.
    waveOutPause(device);
    waveOutWrite(device, &a.header);
    waveOutReset(device);
    EXPECT_EQ(log.count(MM_WOM_DONE), 3u);
    uint64_t position = 1;
    waveOutGetPosition(device, &position);
    EXPECT_EQ(position, 0u);
    waveOutWrite(device, &b.header);
    EXPECT_TRUE(log.waitFor(MM_WOM_DONE, 4, 2000));
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

TEST(VirtualCard, UnpluggedCardReportsAnErrorAndDeliversNothingMore)
{
    AudioSetting on("virtual:pace=fast,fail=0.1");
    MessageLog log;
    const WAVEFORMATEX format = pcm(8000, 1, 16);
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, MessageLog::inProc, log.instance(),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<TestBuffer>> buffers;
    for (int i = 0; i < 5; ++i) {
        buffers.push_back(std::make_unique<TestBuffer>(640)); // 40 ms each
        waveInPrepareHeader(device, &buffers.back()->header);
        waveInAddBuffer(device, &buffers.back()->header);
    }
    waveInStart(device);
    ASSERT_TRUE(log.waitFor(MM_WIM_ERROR, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // 100 ms of sound: two full buffers, the third cut short and still queued.
    EXPECT_EQ(log.count(MM_WIM_DATA), 2u);
    waveInReset(device);
    EXPECT_EQ(log.count(MM_WIM_DATA), 5u);
    EXPECT_EQ(buffers[2]->header.dwBytesRecorded, 320u);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);

    AudioSetting gone("virtual:fail=0");
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, nullptr, 0, CALLBACK_NULL),
              MMSYSERR_NODRIVER);
}

TEST(VirtualCard, FastPlaybackInBatchesPlaysEveryWholeFrameAndReturnsBuffersInOrder)
{
    // Buffers of 40 ms, one ending in half a frame and one short: the device moves several at a
    // time, and each still comes back once, in the order written, with nothing reordered.
    testsupport::TempDir dir;
    AudioSetting on("virtual:out=" + (dir / "out.wav").string() + ",pace=fast");
    MessageLog log;
    const WAVEFORMATEX format = pcm(44100, 2, 16);
    HWAVEOUT device = nullptr;
    ASSERT_EQ(
        waveOutOpen(&device, 0, &format, MessageLog::outProc, log.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<TestBuffer>> buffers;
    std::vector<uint8_t> played;
    for (size_t i = 0; i < 40; ++i) {
        const size_t bytes = i == 10 ? 7058 : i == 20 ? 1000 : 7056;
        buffers.push_back(std::make_unique<TestBuffer>(bytes));
        for (size_t j = 0; j < bytes; ++j)
            buffers.back()->data[j] = char(i * 31 + j * 7);
        played.insert(played.end(), buffers.back()->data.begin(),
                      buffers.back()->data.begin() + long(bytes - bytes % 4));
        waveOutPrepareHeader(device, &buffers.back()->header);
        ASSERT_EQ(waveOutWrite(device, &buffers.back()->header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(log.waitFor(MM_WOM_DONE, 40));
    uint64_t position = 0;
    waveOutGetPosition(device, &position);
    EXPECT_EQ(position, played.size());
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    size_t next = 0;
    for (auto& m : log.all()) {
        if (m.message == MM_WOM_DONE && next < buffers.size()) {
            EXPECT_EQ(m.param1, reinterpret_cast<uintptr_t>(&buffers[next++]->header)) << next;
        }
    }
    EXPECT_EQ(next, buffers.size());
    EXPECT_EQ(dataChunk(testsupport::readFile(dir / "out.wav")), played);
}

TEST(VirtualCard, AFastPlaybackUnpluggedInsideABatchKeepsTheUnplayedBuffers)
{
    // 100 ms of sound before the card goes: two buffers of 40 ms played out, the third half.
    testsupport::TempDir dir;
    AudioSetting on("virtual:out=" + (dir / "out.wav").string() + ",pace=fast,fail=0.1");
    MessageLog log;
    const WAVEFORMATEX format = pcm(8000, 1, 16);
    HWAVEOUT device = nullptr;
    ASSERT_EQ(
        waveOutOpen(&device, 0, &format, MessageLog::outProc, log.instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<TestBuffer>> buffers;
    std::vector<uint8_t> sound;
    for (int i = 0; i < 10; ++i) {
        buffers.push_back(std::make_unique<TestBuffer>(640));
        for (size_t j = 0; j < 640; ++j)
            buffers.back()->data[j] = char(i * 13 + j);
        sound.insert(sound.end(), buffers.back()->data.begin(), buffers.back()->data.end());
        waveOutPrepareHeader(device, &buffers.back()->header);
        waveOutWrite(device, &buffers.back()->header);
    }
    ASSERT_TRUE(log.waitFor(MM_WOM_ERROR, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(log.count(MM_WOM_DONE), 2u);
    waveOutReset(device);
    EXPECT_EQ(log.count(MM_WOM_DONE), 10u);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    sound.resize(1600);
    EXPECT_EQ(dataChunk(testsupport::readFile(dir / "out.wav")), sound);
}
