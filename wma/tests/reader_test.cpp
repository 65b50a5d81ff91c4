// The WMA reader's exports: files of many kinds paced by the clock, the start lead, positions,
// refused and damaged files, long paths, the caller's message pump and teardown while playing.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "testsupport/testsupport.h"
#include "wma_test_support.h"

using namespace wmatest;

namespace {

struct Fixture {
    const char* file;
    uint32_t rate;
    uint16_t channels;
};

constexpr Fixture kFixtures[] = {
    {"speech-wmav2-128k-stereo.wma", 44100, 2},
    {"speech-wmav2-32k-mono.wma", 22050, 1},
    {"speech-wmav1-64k.wma", 44100, 2},
    {"speech-mpeg1-128k-joint.mp3", 44100, 2},
    {"speech.flac", 44100, 2},
    {"speech.ogg", 44100, 2},
};

// The clock releases a buffer's worth at most: the cut lands on a sample boundary.
constexpr uint64_t kOneSample = kSecond / 8000;

class ReaderTest : public ReaderFixture {};

TEST_F(ReaderTest, FixturesDeliverPcmOnlyAsFarAsTheClockAllows)
{
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.file);
        Delivery::instance().clear();
        ASSERT_EQ(WMAReaderOpen(testsupport::fixture(f.file).c_str()), 0);
        WAVEFORMATEX wfx{};
        ASSERT_EQ(WMAReaderGetWfx(&wfx), 0);
        EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(wfx.nSamplesPerSec, f.rate);
        EXPECT_EQ(wfx.nChannels, f.channels);
        EXPECT_EQ(wfx.wBitsPerSample, 16);
        EXPECT_GT(WMAReaderm_cnsFileDuration(), 5 * kSecond);
        EXPECT_GE(WMAReaderGetBitrate(), 8000u);

        // The start releases one second.
        ASSERT_EQ(WMAReaderStart(0, 0), 0);
        uint64_t end = Delivery::instance().waitEnd(kSecond - kOneSample);
        EXPECT_LE(end, kSecond);
        EXPECT_GE(end, kSecond - kOneSample);
        EXPECT_EQ(Delivery::instance().waitEnd(2 * kSecond, 150), end) << "ran past the clock";

        uint64_t clock = 5 * kSecond / 2;
        ASSERT_EQ(WMAReaderGetSampleProc(&clock, 0), 0);
        end = Delivery::instance().waitEnd(clock - kOneSample);
        EXPECT_LE(end, clock);
        EXPECT_GE(end, clock - kOneSample);
        EXPECT_EQ(Delivery::instance().waitEnd(3 * kSecond, 150), end) << "ran past the clock";
        // Every sample from the first delivered to the clock arrived (a codec's start-up delay
        // may put the first one a little after 0).
        const uint64_t first = Delivery::instance().first();
        EXPECT_LT(first, kSecond / 5);
        const double expected = double(end - first) / kSecond * wfx.nAvgBytesPerSec;
        EXPECT_NEAR(double(Delivery::instance().pcm().size()), expected, wfx.nBlockAlign * 2.0);
        EXPECT_EQ(WMAReaderClose(), 0);
    }
}

TEST_F(ReaderTest, StartingAtAPositionSetsTheTimeAndLeadsByOneSecond)
{
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-wmav2-128k-stereo.wma").c_str()), 0);
    EXPECT_EQ(WMAReaderm_qwTime(), 0u);
    startAndWaitForLead(3 * kSecond);
    EXPECT_EQ(WMAReaderm_qwTime(), 30'000'000u);
    EXPECT_GE(Delivery::instance().first(), 3 * kSecond);
    EXPECT_LT(Delivery::instance().first(), 3 * kSecond + kSecond / 10);
    EXPECT_LE(Delivery::instance().end(), 4 * kSecond);
    EXPECT_GE(Delivery::instance().end(), 4 * kSecond - kOneSample);
}

TEST_F(ReaderTest, PauseResumeStopAndCloseInAnyOrder)
{
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech.flac").c_str()), 0);
    startAndWaitForLead(0);
    EXPECT_EQ(WMAReaderPause(), 0);
    uint64_t clock = 3 * kSecond;
    WMAReaderGetSampleProc(&clock, 0);
    EXPECT_EQ(Delivery::instance().waitEnd(clock, 150), kSecond) << "delivered while paused";
    EXPECT_EQ(WMAReaderResume(), 0);
    EXPECT_EQ(Delivery::instance().waitEnd(clock), clock);
    // A stop followed at once by a close: the close returns with the file let go.
    EXPECT_EQ(WMAReaderStop(), 0);
    EXPECT_EQ(WMAReaderClose(), 0);
    WAVEFORMATEX wfx{};
    EXPECT_NE(WMAReaderGetWfx(&wfx), 0);
    EXPECT_NE(WMAReaderStart(0, 0), 0);
    EXPECT_NE(WMAReaderGetSampleProc(&clock, 0), 0);
    EXPECT_NE(WMAReaderClose(), 0) << "nothing left to close";
}

TEST_F(ReaderTest, RefusedFilesLeaveNothingBehind)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "empty.wma", {});
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-wmav2-32k-mono.wma").c_str()), 0);
    for (const auto& path :
         {testsupport::fixture("damaged-random.wma"), testsupport::fixture("damaged-random.mp3"),
          testsupport::fixture("damaged-random.wav"), testsupport::fixture("empty.wav"),
          testsupport::fixture("damaged-no-fmt.wav"), dir / "empty.wma", dir / "missing.wma",
          dir.path()}) {
        SCOPED_TRACE(path);
        EXPECT_NE(WMAReaderOpen(path.c_str()), 0);
        WAVEFORMATEX wfx{};
        EXPECT_NE(WMAReaderGetWfx(&wfx), 0);
        EXPECT_EQ(WMAReaderm_cnsFileDuration(), 0u);
        EXPECT_EQ(WMAReaderGetBitrate(), 0u);
        EXPECT_NE(WMAReaderStart(0, 0), 0);
    }
    EXPECT_NE(WMAReaderOpen(nullptr), 0);
    EXPECT_NE(WMAReaderOpen(""), 0);
    // The reader is as good as new afterwards.
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-wmav1-64k.wma").c_str()), 0);
    startAndWaitForLead(0);
    EXPECT_GE(Delivery::instance().end(), kSecond - kOneSample);
}

TEST_F(ReaderTest, ATruncatedFileIsReadAsFarAsItGoes)
{
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("damaged-truncated.wma").c_str()), 0);
    startAndWaitForLead(0);
    uint64_t clock = 100 * kSecond;
    ASSERT_EQ(WMAReaderGetSampleProc(&clock, 0), 0);
    const uint64_t end = Delivery::instance().waitEnd(clock, 1000);
    EXPECT_GT(end, kSecond);
    EXPECT_LT(end, 2 * kSecond);
    EXPECT_EQ(WMAReaderClose(), 0);
}

TEST_F(ReaderTest, LongPathsAreOpenedWholeNeverCutShort)
{
    testsupport::TempDir dir;
    std::filesystem::path folder = dir.path();
    while (folder.string().size() < 280)
        folder /= std::string(40, 'd');
    std::filesystem::create_directories(folder);
    const auto target = folder / "speech.wma";
    std::filesystem::copy_file(testsupport::fixture("speech-wmav2-32k-mono.wma"), target);
    ASSERT_GT(target.string().size(), 255u);
    ASSERT_EQ(WMAReaderOpen(target.c_str()), 0);
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAReaderGetWfx(&wfx), 0);
    EXPECT_EQ(wfx.nSamplesPerSec, 22050u);

    // A file named by the first 255 characters is another file: it is not the one opened.
    const std::string longName = (folder / std::string(60, 'x')).string();
    const std::string cut = longName.substr(0, 255);
    ASSERT_LT(cut.size(), longName.size());
    std::filesystem::copy_file(testsupport::fixture("speech-wmav1-64k.wma"), cut);
    EXPECT_NE(WMAReaderOpen(longName.c_str()), 0);
    EXPECT_NE(WMAReaderGetWfx(&wfx), 0);
}

TEST_F(ReaderTest, OpenAndCloseKeepTheCallersMessagesMoving)
{
    static std::atomic<int> rounds{0};
    rounds = 0;
    int data = 7;
    WMAReaderSetMessagePump(
        [](void* d) {
            EXPECT_EQ(*static_cast<int*>(d), 7);
            ++rounds;
        },
        &data);
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech.ogg").c_str()), 0);
    EXPECT_GE(rounds, 1);
    const int afterOpen = rounds;
    ASSERT_EQ(WMAReaderClose(), 0);
    EXPECT_GT(rounds, afterOpen);
}

TEST_F(ReaderTest, AMessageThatDeletesTheReaderDuringOpenEndsTheOpen)
{
    WMAReaderSetMessagePump([](void*) { WMAReaderDelete(); }, nullptr);
    EXPECT_NE(WMAReaderOpen(testsupport::fixture("speech.ogg").c_str()), 0);
    WAVEFORMATEX wfx{};
    EXPECT_NE(WMAReaderGetWfx(&wfx), 0);
    EXPECT_NE(WMAReaderClose(), 0);
}

TEST_F(ReaderTest, ReopeningClosesThePreviousFileFirst)
{
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-wmav2-128k-stereo.wma").c_str()), 0);
    startAndWaitForLead(0);
    uint64_t clock = 1000 * kSecond;
    WMAReaderGetSampleProc(&clock, 0);
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-wmav2-32k-mono.wma").c_str()), 0);
    const size_t calls = Delivery::instance().calls();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Delivery::instance().calls(), calls) << "the first file still delivers";
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAReaderGetWfx(&wfx), 0);
    EXPECT_EQ(wfx.nChannels, 1);
    EXPECT_NEAR(double(WMAReaderm_cnsFileDuration()), 5.851 * kSecond, kSecond / 100);
    EXPECT_EQ(WMAReaderGetBitrate(), 32000u);
}

TEST_F(ReaderTest, TheAudioOutputIsChosenAmongOthers)
{
    testsupport::TempDir dir;
    const auto path = dir / "av.mkv";
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 -f lavfi -i "
        "sine=frequency=440:sample_rate=11025:duration=2 -c:v mpeg4 -c:a pcm_s16le '" +
        path.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "ffmpeg is not available";
    ASSERT_EQ(WMAReaderOpen(path.c_str()), 0);
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAReaderGetWfx(&wfx), 0);
    EXPECT_EQ(wfx.nSamplesPerSec, 11025u);
    startAndWaitForLead(0);
    EXPECT_EQ(Delivery::instance().pcm().size(), 11025u * 2);
}

TEST_F(ReaderTest, TheEndOfTheFileIsAnEmptyBufferAtTheEndOfTheLastOne)
{
    struct Call {
        uint32_t bytes;
        uint64_t time;
        uint64_t end;
    };
    static std::mutex mutex;
    static std::vector<Call> calls;
    calls.clear();
    WMAReaderOnSample([](WMASampleInfo* info, uint64_t* duration) -> intptr_t {
        std::lock_guard lock(mutex);
        calls.push_back({info->byteCount, info->sampleTime, info->sampleTime + *duration});
        return 0;
    });
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-wmav2-32k-mono.wma").c_str()), 0);
    ASSERT_EQ(WMAReaderStart(2 * kSecond, 0), 0);
    uint64_t clock = 1000 * kSecond;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        WMAReaderGetSampleProc(&clock, 0);
        std::lock_guard lock(mutex);
        if ((!calls.empty() && calls.back().bytes == 0) || std::chrono::steady_clock::now() > until)
            break;
    }
    std::lock_guard lock(mutex);
    ASSERT_GE(calls.size(), 2u);
    for (size_t i = 0; i + 1 < calls.size(); ++i)
        EXPECT_GT(calls[i].bytes, 0u) << i;
    EXPECT_EQ(calls.back().bytes, 0u);
    EXPECT_EQ(calls.back().time, calls[calls.size() - 2].end);
    EXPECT_NEAR(double(calls.back().time), 5.851 * kSecond, kSecond / 10);
}

TEST_F(ReaderTest, DeletingWhileSamplesFlowIsSafe)
{
    static std::atomic<int> calls{0};
    calls = 0;
    WMAReaderOnSample([](WMASampleInfo*, uint64_t*) -> intptr_t {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++calls;
        return 0;
    });
    ASSERT_EQ(WMAReaderOpen(testsupport::fixture("speech-mpeg1-128k-joint.mp3").c_str()), 0);
    ASSERT_EQ(WMAReaderStart(0, 0), 0);
    uint64_t clock = 1000 * kSecond;
    for (int i = 0; i < 200 && calls < 5; ++i) {
        WMAReaderGetSampleProc(&clock, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(calls, 5);
    WMAReaderDelete();
    const int after = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(calls, after);
}

TEST(ReaderWithoutCreation, EveryExportRefusesToRun)
{
    WMAReaderDelete();
    WAVEFORMATEX wfx{};
    uint64_t clock = kSecond;
    EXPECT_NE(WMAReaderOpen(testsupport::fixture("speech.ogg").c_str()), 0);
    EXPECT_NE(WMAReaderGetWfx(&wfx), 0);
    EXPECT_NE(WMAReaderStart(0, 0), 0);
    EXPECT_NE(WMAReaderPause(), 0);
    EXPECT_NE(WMAReaderResume(), 0);
    EXPECT_NE(WMAReaderStop(), 0);
    EXPECT_NE(WMAReaderClose(), 0);
    EXPECT_NE(WMAReaderGetSampleProc(&clock, 0), 0);
    EXPECT_EQ(WMAReaderGetBitrate(), 0u);
    EXPECT_EQ(WMAReaderm_cnsFileDuration(), 0u);
    EXPECT_EQ(WMAReaderm_qwTime(), 0u);
    EXPECT_EQ(WMAReaderOnSample(&Delivery::callback), &Delivery::callback);
}

} // namespace
