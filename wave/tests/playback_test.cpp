// Playback through the engine's exports on the virtual card: pull mode from a source in memory,
// push mode from a test reader, pause, stop, reset, position, and the ends of a playback.
#include <gtest/gtest.h>

#include "engine_helpers.h"
#include "testsupport/testsupport.h"
#include "wave_out.h"

using namespace enginetest;

namespace {

struct PlayLog {
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<int> levels{0};
    std::atomic<int> fills{0};
    std::atomic<int> starts{0};
    std::atomic<uint64_t> lastLevelPosition{0};
    // The scheduling class and nice value of the thread that metered the last block.
    std::atomic<int> levelPolicy{-1};
    std::atomic<int> levelNice{0};
    std::mutex mutex;
    std::vector<uint8_t> source;
    size_t at = 0;
    std::vector<uint64_t> startOffsets;
    std::vector<uint64_t> readerTimes;
    size_t pushChunk = 0; // bytes the reader pushes per request
};

PlayLog* current = nullptr;

intptr_t onOpen(void*, intptr_t)
{
    ++current->opens;
    return 0;
}

intptr_t onClose(void*, intptr_t)
{
    ++current->closes;
    return 0;
}

intptr_t onLevel(void* block, intptr_t)
{
    current->lastLevelPosition = static_cast<LevelBlock*>(block)->position;
    current->levelPolicy = sched_getscheduler(0);
    current->levelNice = getpriority(PRIO_PROCESS, id_t(gettid()));
    ++current->levels;
    return 0;
}

intptr_t onPlayStart(void* offset, intptr_t)
{
    std::lock_guard lock(current->mutex);
    current->startOffsets.push_back(*static_cast<uint64_t*>(offset));
    current->at = 0;
    ++current->starts;
    return 0;
}

intptr_t onFill(void* request, intptr_t)
{
    auto* fill = static_cast<FillRequest*>(request);
    std::lock_guard lock(current->mutex);
    const size_t n = std::min<size_t>(fill->length, current->source.size() - current->at);
    if (n > 0)
        std::memcpy(fill->buffer, current->source.data() + current->at, n);
    current->at += n;
    fill->length = uint32_t(n);
    fill->filePosition = current->at;
    ++current->fills;
    return 0;
}

// Pushes the next bytes of the source; called from the test and from the reader callback.
void push(size_t bytes)
{
    // The test and the engine's reader callback may push at once: keep the source in order.
    static std::mutex order;
    std::lock_guard inOrder(order);
    std::vector<uint8_t> chunk;
    uint64_t time = 0;
    {
        std::lock_guard lock(current->mutex);
        // The sample's time in the sound, at 44100 Hz 16-bit stereo.
        time = uint64_t(current->at) * 10000000 / 176400;
        const size_t n = std::min(bytes, current->source.size() - current->at);
        chunk.assign(current->source.begin() + long(current->at),
                     current->source.begin() + long(current->at + n));
        current->at += n;
    }
    if (chunk.empty())
        return;
    WMASampleInfo sample{chunk.data(), uint32_t(chunk.size()), time};
    uint64_t duration = 0;
    WaveOutOnSampleCallBackProc(&sample, &duration);
}

intptr_t onReader(void* time, intptr_t)
{
    const uint64_t t = *static_cast<uint64_t*>(time);
    {
        std::lock_guard lock(current->mutex);
        current->readerTimes.push_back(t);
    }
    if (t != 0)
        push(current->pushChunk);
    return 0;
}

class Playback : public ::testing::Test {
protected:
    void SetUp() override
    {
        current = &log;
        WaveOutOpenCallBack(onOpen);
        WaveOutCloseCallBack(onClose);
        WaveOutDoneCallBack(onLevel);
        WaveOutPlayStartCallBack(onPlayStart);
        WaveOutFillDataCallBack(onFill);
        WMAReaderGetSampleCallBack(nullptr);
        baseline = threadCount();
    }
    void TearDown() override
    {
        PlayStop();
        WMAReaderGetSampleCallBack(nullptr);
        EXPECT_EQ(settledThreadCount(baseline), baseline);
        EXPECT_FALSE(brevon::wave::waveOut().isOpen());
        current = nullptr;
    }
    void useSource(size_t bytes)
    {
        log.source.resize(bytes);
        for (size_t i = 0; i < bytes; ++i)
            log.source[i] = uint8_t(i * 7 + i / 1000);
    }
    std::vector<uint8_t> played() { return dataChunk(testsupport::readFile(dir / "out.wav")); }
    std::string outFile() { return "out=" + (dir / "out.wav").string(); }

    testsupport::TempDir dir;
    PlayLog log;
    size_t baseline = 0;
    const WAVEFORMATEX cd = pcm(44100, 2, 16);
};

} // namespace

TEST_F(Playback, PullModePlaysAFixtureByteForByte)
{
    log.source =
        dataChunk(testsupport::readFile(testsupport::fixture("speech-44100-16-stereo.wav")));
    ASSERT_GT(log.source.size(), 100000u);
    setAudio("virtual:pace=fast," + outFile());
    EXPECT_TRUE(PlayStart(0, 0, &cd, 7056));
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_EQ(log.opens, 1);
    EXPECT_FALSE(brevon::wave::waveOut().playing());
    EXPECT_EQ(log.startOffsets, std::vector<uint64_t>{0});
    EXPECT_EQ(played(), log.source);
    // A device that plays as fast as it is asked has one block metered every 40 ms, not each.
    const int blocks = int((log.source.size() + 7055) / 7056);
    EXPECT_GE(log.levels, 1);
    EXPECT_LT(log.levels, blocks / 2);
}

TEST_F(Playback, AtThePaceOfTheSoundEveryPlayedBlockButTheLastIsMetered)
{
    useSource(8 * 7056);
    setAudio("virtual:pace=realtime,out=null");
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_EQ(log.levels, 7);
    // The seventh block's position (a worker held up by a busy machine may see a little more).
    EXPECT_GE(log.lastLevelPosition, 7u * 400000);
    EXPECT_LT(log.lastLevelPosition, 8u * 400000);
}

TEST_F(Playback, StartQueuesTwentyFiveBlocksFromWholeSecondsAndKeepsThePosition)
{
    useSource(10 * 176400);
    setAudio("virtual");
    PlayStart(25000000, 0, &cd, 7056); // 2.5 s
    EXPECT_EQ(log.fills, 25);
    EXPECT_EQ(brevon::wave::waveOut().blocksInFlight(), 25);
    EXPECT_EQ(log.startOffsets, std::vector<uint64_t>{352800});
    // Starting while playing is ignored.
    PlayStart(0, 0, &cd, 7056);
    EXPECT_EQ(log.starts, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const uint64_t position = GetPlayPosition();
    EXPECT_NEAR(double(position), 31000000.0, 2500000.0);
    EXPECT_NEAR(double(log.lastLevelPosition), double(position), 500000.0);
    // The play time keeps its arithmetic: position / average bytes per second.
    const int64_t time = GetPlayTime();
    EXPECT_GE(time, int64_t(position / 176400));
    EXPECT_LE(time, int64_t(GetPlayPosition() / 176400));
    // One fill for every returned block keeps the queue where the start put it.
    EXPECT_NEAR(double(brevon::wave::waveOut().blocksInFlight()), 25.0, 1.0);
    PlayStop();
    EXPECT_EQ(log.closes, 1);
}

TEST_F(Playback, AShortFillBecomesOneShortBlock)
{
    useSource(5000);
    setAudio("virtual:pace=fast," + outFile());
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_EQ(played(), log.source);
    EXPECT_EQ(log.levels, 0); // the only block is the last one
}

TEST_F(Playback, NothingToPlayEndsAtOnce)
{
    setAudio("virtual");
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }, 1000));
    EXPECT_EQ(log.opens, 1);
    EXPECT_FALSE(brevon::wave::waveOut().playing());
}

TEST_F(Playback, PauseHoldsTheBlocksAndASecondPauseResumes)
{
    useSource(5 * 176400);
    setAudio("virtual");
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([&] { return log.levels >= 2; }));
    PlayPause();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const int pausedAt = log.levels;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(log.levels, pausedAt);
    EXPECT_TRUE(brevon::wave::waveOut().playing());
    PlayPause();
    ASSERT_TRUE(waitUntil([&] { return log.levels >= pausedAt + 2; }));
    PlayStop();
    EXPECT_EQ(log.closes, 1);
    // Pause while not playing does nothing.
    PlayPause();
    EXPECT_FALSE(brevon::wave::waveOut().playing());
}

TEST_F(Playback, ResetKeepsTheDeviceOpenForTheNextStart)
{
    useSource(5 * 176400);
    setAudio("virtual");
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([&] { return log.levels >= 2; }));
    PlayReset();
    EXPECT_FALSE(brevon::wave::waveOut().playing());
    EXPECT_TRUE(brevon::wave::waveOut().isOpen());
    EXPECT_EQ(brevon::wave::waveOut().blocksInFlight(), 0);
    EXPECT_EQ(log.closes, 0);
    const int levelsAt = log.levels;
    PlayStart(10000000, 0, &cd, 7056);
    EXPECT_EQ(log.opens, 1); // the device was not opened again
    EXPECT_EQ(log.starts, 2);
    ASSERT_TRUE(waitUntil([&] { return log.levels >= levelsAt + 2; }));
    EXPECT_GE(GetPlayPosition(), 10000000u);
    PlayStop();
    EXPECT_EQ(log.closes, 1);
}

TEST_F(Playback, StopAfterAResetClosesTheDevice)
{
    useSource(5 * 176400);
    setAudio("virtual");
    PlayStart(0, 0, &cd, 7056);
    PlayReset();
    PlayStop();
    EXPECT_EQ(log.closes, 1);
    EXPECT_FALSE(brevon::wave::waveOut().isOpen());
}

TEST_F(Playback, StopWhenNothingPlaysReturnsAtOnce)
{
    const auto began = std::chrono::steady_clock::now();
    PlayStop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(100));
    EXPECT_EQ(log.closes, 0);
}

TEST_F(Playback, PushModePlaysWhatTheReaderDelivers)
{
    useSource(30 * 7056);
    log.pushChunk = 2 * 7056;
    setAudio("virtual:" + outFile());
    WMAReaderGetSampleCallBack(onReader);
    PlayStart3(0, 0, 0, 0, &cd, 0, 0);
    EXPECT_EQ(log.opens, 1);
    push(8 * 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_EQ(log.fills, 0);
    EXPECT_EQ(played(), log.source);
    std::lock_guard lock(log.mutex);
    ASSERT_FALSE(log.readerTimes.empty());
    // Few blocks in flight: the reader is asked for four seconds beyond the play position.
    EXPECT_GE(log.readerTimes.front(), 40000000u);
    EXPECT_LT(log.readerTimes.front(), 41000000u);
    for (size_t i = 1; i < log.readerTimes.size(); ++i) {
        EXPECT_GE(log.readerTimes[i], log.readerTimes[i - 1]);
        EXPECT_LE(log.readerTimes[i], 40000000u + 30 * 400000u);
    }
}

TEST_F(Playback, PushModeAsksForNothingWhileFourSecondsAreQueued)
{
    useSource(104 * 7056);
    setAudio("virtual");
    WMAReaderGetSampleCallBack(onReader);
    PlayStart3(0, 0, 0, 0, &cd, 0, 0);
    push(104 * 7056);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(log.mutex);
        return log.readerTimes.size() >= 2;
    }));
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.readerTimes[0], 0u);
    EXPECT_EQ(log.readerTimes[1], 0u);
}

TEST_F(Playback, PushModeAsksForMoreOnceASecondHasPlayedOnWholeBlocks)
{
    // 3.6 s queued: the reader is asked for nothing until fewer than three seconds are left,
    // then for four seconds beyond the play position, counted in whole blocks.
    useSource(90 * 7056);
    setAudio("virtual:pace=realtime,out=null");
    WMAReaderGetSampleCallBack(onReader);
    PlayStart3(0, 0, 0, 0, &cd, 0, 0);
    push(90 * 7056);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(log.mutex);
        return !log.readerTimes.empty() && log.readerTimes.back() != 0;
    }));
    PlayStop();
    std::lock_guard lock(log.mutex);
    ASSERT_GE(log.readerTimes.size(), 16u);
    for (size_t i = 0; i + 1 < log.readerTimes.size(); ++i)
        EXPECT_EQ(log.readerTimes[i], 0u) << i;
    const uint64_t asked = log.readerTimes.back();
    EXPECT_EQ(asked % 400000, 0u);
    EXPECT_GE(asked, 40000000u + 16 * 400000u);
    EXPECT_LE(asked, 40000000u + 25 * 400000u);
}

TEST_F(Playback, AVanishedDeviceEndsThePlaybackAndCountsAGap)
{
    useSource(5 * 176400);
    setAudio("virtual:pace=fast,fail=0.5");
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_GE(WaveOutGetGapCount(), 1u);
    EXPECT_FALSE(brevon::wave::waveOut().playing());
}

TEST_F(Playback, AFailedOpenLeavesNoWorkerAndNoOpenCallback)
{
    useSource(176400);
    setAudio("virtual:fail=0");
    EXPECT_TRUE(PlayStart(0, 0, &cd, 7056));
    EXPECT_TRUE(PlayStart3(0, 0, 0, 0, &cd, 0, 0));
    EXPECT_EQ(settledThreadCount(baseline), baseline);
    EXPECT_EQ(log.opens, 0);
    EXPECT_FALSE(brevon::wave::waveOut().playing());
}

TEST_F(Playback, ManyPlaybacksLeaveNoThreadsOrBlocks)
{
    useSource(20 * 7056);
    setAudio("virtual:pace=fast");
    for (int i = 0; i < 30; ++i) {
        PlayStart(0, 0, &cd, 7056);
        if (i % 2)
            waitUntil([&] { return log.closes == i + 1; });
        PlayStop();
        ASSERT_EQ(log.closes, i + 1);
    }
    EXPECT_EQ(brevon::wave::waveOut().blocksInFlight(), 0);
    EXPECT_EQ(settledThreadCount(baseline), baseline);
}

// A reader that only notes the request; a thread of its own delivers later, as a real one does.
std::atomic<int> g_readerRequests{0};

intptr_t onReaderRequest(void* time, intptr_t)
{
    if (*static_cast<uint64_t*>(time) != 0)
        ++g_readerRequests;
    return 0;
}

TEST_F(Playback, PushModeWaitsForASlowReaderInsteadOfEndingBeforeTheSound)
{
    // A device that plays faster than the reader delivers runs dry again and again; the play
    // goes on until the reader's samples reach the stated duration.
    useSource(50 * 7056);
    setAudio("virtual:pace=fast," + outFile());
    g_readerRequests = 0;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        int served = 0;
        while (!done) {
            if (g_readerRequests > served) {
                served = g_readerRequests;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                push(3 * 7056);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    WMAReaderGetSampleCallBack(onReaderRequest);
    const uint64_t duration = 50ull * 400000;
    auto began = std::chrono::steady_clock::now();
    PlayStart3(0, 0, 0, 0, &cd, uint32_t(duration), uint32_t(duration >> 32));
    push(2 * 7056);
    bool ended = waitUntil([&] { return log.closes == 1; });
    done = true;
    reader.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(played(), log.source);
    EXPECT_GE(WaveOutGetGapCount(), 1u) << "running dry is a gap";
    // It ended on reaching the sound's end, not by giving up on a stalled reader.
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(900));
}

TEST_F(Playback, PushModeEndsWhenTheReaderStopsDeliveringShortOfTheDuration)
{
    useSource(10 * 7056);
    log.pushChunk = 7056;
    setAudio("virtual:pace=fast," + outFile());
    WMAReaderGetSampleCallBack(onReader);
    const uint64_t duration = 600000000; // a minute, far more than the reader has
    PlayStart3(0, 0, 0, 0, &cd, uint32_t(duration), uint32_t(duration >> 32));
    push(2 * 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }, 5000));
    EXPECT_EQ(played(), log.source);
}

TEST_F(Playback, PushModeEndsWithTheLastBlockOnceTheReaderSaysItDeliveredEverything)
{
    // The stated duration is far away, but the reader's empty sample says nothing more comes:
    // no wait for the reader after the last block.
    useSource(10 * 7056);
    setAudio("virtual:pace=fast," + outFile());
    WMAReaderGetSampleCallBack(onReaderRequest);
    const uint64_t duration = 600000000;
    const auto began = std::chrono::steady_clock::now();
    PlayStart3(0, 0, 0, 0, &cd, uint32_t(duration), uint32_t(duration >> 32));
    push(10 * 7056);
    uint8_t none = 0;
    WMASampleInfo end{&none, 0, 10 * 400000};
    uint64_t zero = 0;
    WaveOutOnSampleCallBackProc(&end, &zero);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(500));
    EXPECT_EQ(played(), log.source);
}

TEST_F(Playback, PushModeWithNothingDeliveredEndsInsteadOfHanging)
{
    setAudio("virtual:pace=fast");
    WMAReaderGetSampleCallBack(onReader);
    const uint64_t duration = 600000000;
    PlayStart3(0, 0, 0, 0, &cd, uint32_t(duration), uint32_t(duration >> 32));
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }, 5000));
    EXPECT_EQ(log.opens, 1);
}

TEST_F(Playback, APauseWhileWaitingForTheReaderIsNotTakenForAStall)
{
    useSource(20 * 7056);
    setAudio("virtual:pace=fast," + outFile());
    g_readerRequests = 0;
    WMAReaderGetSampleCallBack(onReaderRequest);
    const uint64_t duration = 20ull * 400000;
    PlayStart3(0, 0, 0, 0, &cd, uint32_t(duration), uint32_t(duration >> 32));
    push(2 * 7056);
    // The device plays out the two blocks and waits for the reader, which is paused for longer
    // than a stall would take.
    ASSERT_TRUE(waitUntil([&] { return g_readerRequests > 0; }));
    PlayPause();
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_EQ(log.closes, 0);
    PlayPause();
    // The reader takes a moment after the resume; the wait for it starts afresh.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(log.closes, 0);
    push(18 * 7056);
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_EQ(played(), log.source);
}

TEST_F(Playback, OnlyADeviceThatKeepsThePaceGetsRealTimeThreads)
{
    // In fast pace the sound is played in a moment: the engine's worker, which meters every
    // block, tells what priority it had.
    useSource(20 * 176400);
    setAudio("virtual:pace=fast,out=null");
    ASSERT_TRUE(PlayStart(0, 0, &cd, 7056));
    ASSERT_TRUE(waitUntil([&] { return log.closes == 1; }));
    EXPECT_EQ(log.levelPolicy, SCHED_OTHER);
    // It is raised within the normal class instead, where the system permits.
    if (realTimeGranted()) {
        EXPECT_LT(log.levelNice, 0);
    }
    PlayStop();
    if (!realTimeGranted())
        GTEST_SKIP() << "the system grants no real-time priority here";
    log.levels = 0;
    setAudio("virtual:pace=realtime,out=null");
    ASSERT_TRUE(PlayStart(0, 0, &cd, 7056));
    ASSERT_TRUE(waitUntil([&] { return log.levels >= 2; }));
    EXPECT_EQ(realTimeThreadCount(), 2u);
}
