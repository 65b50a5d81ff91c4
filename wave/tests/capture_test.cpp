// Capture through the engine's exports on the virtual card: the ring, the callbacks and when they
// come, stop and restart, refused starts, gaps, and what is captured.
#include <gtest/gtest.h>

#include <condition_variable>

#include "engine_helpers.h"
#include "testsupport/testsupport.h"
#include "wave_in.h"

using namespace enginetest;

namespace {

struct CaptureLog {
    std::atomic<int> opens{0};
    std::atomic<int> levels{0};
    std::atomic<int> data{0};
    std::atomic<uint32_t> lastLeft{0};
    std::atomic<int> stallOnce{0}; // milliseconds the next data callback sleeps
    std::mutex mutex;
    std::vector<uintptr_t> indices;
    std::vector<uint32_t> sizes;
    std::vector<uint8_t> bytes;
};

CaptureLog* current = nullptr;

intptr_t onOpen(void*, intptr_t)
{
    ++current->opens;
    return 0;
}

intptr_t onLevel(void* block, intptr_t)
{
    current->lastLeft = static_cast<LevelBlock*>(block)->left;
    ++current->levels;
    return 0;
}

intptr_t onData(void* buffer, intptr_t)
{
    auto* header = static_cast<WAVEHDR*>(buffer);
    {
        std::lock_guard lock(current->mutex);
        current->indices.push_back(header->dwUser);
        current->sizes.push_back(header->dwBytesRecorded);
        current->bytes.insert(current->bytes.end(), header->lpData,
                              header->lpData + header->dwBytesRecorded);
    }
    if (int ms = current->stallOnce.exchange(0))
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ++current->data;
    return 0;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        current = &log;
        setAudio("virtual:in=tone,pace=fast");
        EXPECT_EQ(WaveInOpenCallBack(onOpen), &onOpen);
        EXPECT_EQ(WaveInDataCallBack(onLevel), &onLevel);
        EXPECT_EQ(WaveInDataReadyCallBack(onData), &onData);
        baseline = threadCount();
    }
    void TearDown() override
    {
        WaveInStop();
        if (brevon::wave::waveIn().paused())
            WaveInRecordPause();
        EXPECT_EQ(settledThreadCount(baseline), baseline);
        current = nullptr;
    }
    int settledLevels()
    {
        int before = -1;
        while (before != log.levels) {
            before = log.levels;
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
        return before;
    }

    CaptureLog log;
    size_t baseline = 0;
    const WAVEFORMATEX cd = pcm(44100, 2, 16);
};

} // namespace

TEST_F(Capture, HandsOnWholeBlocksRoundTheRingOfAHundred)
{
    ASSERT_TRUE(WaveInStart(&cd));
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(brevon::wave::waveIn().blockBytes(), 7056u);
    WaveInRecordStart();
    ASSERT_TRUE(waitUntil([&] { return log.data >= 230; }));
    WaveInRecordStop();
    std::lock_guard lock(log.mutex);
    // Buffer i is queued again when buffer i + 50 returns, so they come back in ring order.
    for (size_t i = 1; i < 230; ++i)
        ASSERT_EQ(log.indices[i], (log.indices[i - 1] + 1) % 100) << i;
    for (uint32_t size : log.sizes)
        ASSERT_EQ(size, 7056u);
}

TEST_F(Capture, LevelsAlwaysComeDataOnlyWhileRecordingAndNotPaused)
{
    ASSERT_TRUE(WaveInStart(&cd));
    ASSERT_TRUE(waitUntil([&] { return log.levels >= 20; }));
    EXPECT_EQ(log.data, 0);
    EXPECT_NEAR(int(log.lastLeft), 16384, 20); // the card's tone at half scale
    WaveInRecordStart();
    ASSERT_TRUE(waitUntil([&] { return log.data >= 10; }));
    WaveInRecordPause();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int pausedAt = log.data;
    const int levelsAt = log.levels;
    ASSERT_TRUE(waitUntil([&] { return log.levels >= levelsAt + 40; }));
    EXPECT_LE(log.data, pausedAt + 1);
    WaveInRecordPause();
    ASSERT_TRUE(waitUntil([&] { return log.data >= pausedAt + 10; }));
}

TEST_F(Capture, RunsDryWithinFiftyBlocksAfterRecordStop)
{
    ASSERT_TRUE(WaveInStart(&cd));
    WaveInRecordStart();
    ASSERT_TRUE(waitUntil([&] { return log.data >= 10; }));
    WaveInRecordStop();
    const int levelsAt = log.levels;
    const int finalLevels = settledLevels();
    EXPECT_LE(finalLevels - levelsAt, 51);
    EXPECT_GE(finalLevels - levelsAt, 1);
    const int dataAt = log.data;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(log.data, dataAt);
    // Nothing is queued any more: the stop does not wait for a drain.
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaveInStop());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(500));
}

TEST_F(Capture, PausedSurvivesAStopAndANewStart)
{
    ASSERT_TRUE(WaveInStart(&cd));
    WaveInRecordStart();
    WaveInRecordPause();
    WaveInStop();
    ASSERT_TRUE(WaveInStart(&cd));
    WaveInRecordStart();
    ASSERT_TRUE(waitUntil([&] { return log.levels >= 20; }));
    EXPECT_EQ(log.data, 0);
    WaveInRecordPause();
    ASSERT_TRUE(waitUntil([&] { return log.data >= 5; }));
}

TEST_F(Capture, ASecondStartIsRefusedAndTheFirstDeviceRunsOn)
{
    ASSERT_TRUE(WaveInStart(&cd));
    EXPECT_FALSE(WaveInStart2(WAVE_MAPPER, &cd));
    const int levelsAt = log.levels;
    ASSERT_TRUE(waitUntil([&] { return log.levels >= levelsAt + 10; }));
    EXPECT_EQ(log.opens, 1);
}

TEST_F(Capture, AFailedOpenLeavesNoWorkerBehind)
{
    setAudio("virtual:fail=0");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(WaveInStart(&cd));
    setAudio("virtual:pace=fast");
    WAVEFORMATEX floating = cd;
    floating.wFormatTag = 3;
    EXPECT_FALSE(WaveInStart(&floating));
    EXPECT_FALSE(WaveInStart2(999, &cd)); // no such device
    EXPECT_EQ(settledThreadCount(baseline), baseline);
    EXPECT_EQ(log.opens, 0);
    EXPECT_FALSE(brevon::wave::waveIn().started());
    // And the engine starts normally afterwards, the virtual card being device 0.
    EXPECT_TRUE(WaveInStart2(0, &cd));
}

TEST_F(Capture, StopWithoutADeviceReturnsAtOnce)
{
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaveInStop());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1000));
}

TEST_F(Capture, CapturedBytesAreTheInputFilesData)
{
    const auto fixture = testsupport::fixture("speech-16000-16-mono.wav");
    const auto expected = dataChunk(testsupport::readFile(fixture));
    ASSERT_FALSE(expected.empty());
    setAudio("virtual:pace=fast,in=" + fixture.string());
    const WAVEFORMATEX format = pcm(16000, 1, 16);
    // Recording switched on before the start hands on every buffer from the first.
    WaveInRecordStart();
    ASSERT_TRUE(WaveInStart(&format));
    const size_t wanted = expected.size() + 10000;
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(log.mutex);
        return log.bytes.size() >= wanted;
    }));
    WaveInStop();
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.indices.front(), 0u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), log.bytes.begin()));
    // The card loops the file.
    EXPECT_TRUE(std::equal(log.bytes.begin() + long(expected.size()),
                           log.bytes.begin() + long(wanted), expected.begin()));
}

TEST_F(Capture, AnExtensibleTwentyFourBitFormatIsCapturedAndMeteredByItsTopSixteenBits)
{
    platform::WAVEFORMATEXTENSIBLE x{};
    x.Format = pcm(48000, 2, 24);
    x.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    x.Format.cbSize = 22;
    x.wValidBitsPerSample = 24;
    std::memcpy(x.SubFormat, platform::KSDATAFORMAT_SUBTYPE_PCM, 16);
    WaveInRecordStart();
    ASSERT_TRUE(WaveInStart(&x.Format));
    ASSERT_TRUE(waitUntil([&] { return log.data >= 3; }));
    // The tone at half scale (read before the stop, whose returned buffers are empty).
    EXPECT_NEAR(double(log.lastLeft), 16384.0, 200.0);
    WaveInStop();
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.sizes.front(), 1920u * 6);
}

TEST_F(Capture, AVanishedDeviceIsReportedAsAGap)
{
    setAudio("virtual:pace=fast,fail=0.2");
    ASSERT_TRUE(WaveInStart(&cd));
    ASSERT_TRUE(waitUntil([] { return WaveInGetDeviceError() != 0; }));
    EXPECT_GE(WaveInGetGapCount(), 1u);
    EXPECT_EQ(settledLevels(), 5); // 200 ms of sound
    WaveInStop();
    // A new start begins with a clean count.
    setAudio("virtual:pace=fast");
    ASSERT_TRUE(WaveInStart(&cd));
    EXPECT_EQ(WaveInGetGapCount(), 0u);
    EXPECT_EQ(WaveInGetDeviceError(), 0u);
}

TEST_F(Capture, SoundLostBehindASlowConsumerIsCountedAsAGap)
{
    setAudio("virtual:in=tone");
    const WAVEFORMATEX small = pcm(8000, 1, 16);
    ASSERT_TRUE(WaveInStart(&small));
    WaveInRecordStart();
    ASSERT_TRUE(waitUntil([&] { return log.data >= 1; }));
    EXPECT_EQ(WaveInGetGapCount(), 0u);
    // Longer than the 50 queued blocks (2 s) and the card's own hold.
    log.stallOnce = 2500;
    ASSERT_TRUE(waitUntil([] { return WaveInGetGapCount() >= 1; }, 6000));
}

TEST_F(Capture, ManyStartStopCyclesLeaveNoThreads)
{
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(WaveInStart(&cd));
        WaveInRecordStart();
        if (i % 2)
            waitUntil([&] { return log.data >= i; });
        WaveInRecordStop();
        ASSERT_TRUE(WaveInStop());
    }
    EXPECT_EQ(settledThreadCount(baseline), baseline);
    EXPECT_EQ(log.opens, 40);
}

TEST_F(Capture, OnlyADeviceThatKeepsThePaceGetsRealTimeThreads)
{
    // In fast pace the engine's worker runs flat out: at a real-time priority the system would
    // throttle it and starve the rest of the machine.
    ASSERT_TRUE(WaveInStart(&cd));
    WaveInRecordStart();
    ASSERT_TRUE(waitUntil([&] { return log.data >= 20; }));
    EXPECT_EQ(realTimeThreadCount(), 0u);
    // They are raised within the normal class instead, where the system permits: the device's
    // thread and the engine's worker.
    if (realTimeGranted()) {
        EXPECT_EQ(raisedThreadCount(), 2u);
    }
    WaveInStop();
    if (!realTimeGranted())
        GTEST_SKIP() << "the system grants no real-time priority here";
    // At the pace of the sound, the device's thread and the engine's worker are both raised.
    setAudio("virtual:in=tone,pace=realtime");
    const int levelsBefore = log.levels;
    ASSERT_TRUE(WaveInStart(&cd));
    ASSERT_TRUE(waitUntil([&] { return log.levels >= levelsBefore + 2; }));
    EXPECT_EQ(realTimeThreadCount(), 2u);
}
