// The WMA writer's exports: every profile and its input format, the time stamps of the samples,
// and the failures that are reported instead of hidden.
#include <gtest/gtest.h>

#include <thread>

#include "testsupport/testsupport.h"
#include "wma_test_support.h"

using namespace wmatest;

namespace {

struct ProfileFormat {
    int index;
    uint32_t rate;
    uint16_t channels;
};

// The input format of each profile: its rate and channels, 16-bit PCM.
constexpr ProfileFormat kProfiles[] = {
    {0, 44100, 2},  {1, 44100, 2},  {2, 44100, 2},  {3, 44100, 2},  {4, 44100, 2},  {5, 44100, 2},
    {6, 44100, 2},  {7, 44100, 2},  {8, 44100, 2},  {9, 44100, 2},  {10, 44100, 1}, {11, 22050, 2},
    {12, 44100, 1}, {13, 16000, 2}, {14, 22050, 1}, {15, 22050, 1}, {16, 16000, 2}, {17, 16000, 1},
    {18, 16000, 1}, {19, 8000, 2},  {20, 16000, 1}, {21, 16000, 1}, {22, 11025, 1}, {23, 11025, 1},
    {24, 8000, 1},  {25, 8000, 1},  {26, 8000, 1},  {27, 8000, 1},  {28, 8000, 1},
};

void expectPcm(const WAVEFORMATEX& wfx, uint32_t rate, uint16_t channels)
{
    EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wfx.nChannels, channels);
    EXPECT_EQ(wfx.nSamplesPerSec, rate);
    EXPECT_EQ(wfx.wBitsPerSample, 16);
    EXPECT_EQ(wfx.nBlockAlign, channels * 2);
    EXPECT_EQ(wfx.nAvgBytesPerSec, rate * channels * 2);
    EXPECT_EQ(wfx.cbSize, 0);
}

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WMAWriterCreate(), 0); }
    void TearDown() override { WMAWriterDelete(); }

    // Writes count buffers of 4410 bytes of silence, each 250,000 units long.
    void writeBuffers(int count)
    {
        std::vector<uint8_t> silence(4410);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(WMAWriterWriteSample(250'000, silence.data(), 4410), 0);
    }

    testsupport::TempDir dir;
};

TEST_F(WriterTest, EveryProfileConfiguresAndYieldsItsInputFormat)
{
    for (const ProfileFormat& p : kProfiles) {
        SCOPED_TRACE(p.index);
        WAVEFORMATEX wfx{};
        ASSERT_EQ(WMAWriterConfigure(p.index, &wfx), 0);
        expectPcm(wfx, p.rate, p.channels);
    }
}

TEST_F(WriterTest, AnIndexOutsideTheTableChoosesA128)
{
    for (int index : {29, -1, 1000}) {
        WAVEFORMATEX wfx{};
        ASSERT_EQ(WMAWriterConfigure(12, &wfx), 0); // 44100 mono first
        ASSERT_EQ(WMAWriterConfigure(index, &wfx), 0);
        expectPcm(wfx, 44100, 2);
    }
    // The profile chosen is the one written: a128 at its rate and channels.
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAWriterConfigure(19, &wfx), 0);
    ASSERT_EQ(WMAWriterConfigure(-1, &wfx), 0);
    const auto path = dir / "default.wma";
    ASSERT_EQ(WMAWriterStart(path.c_str()), 0);
    writeBuffers(4);
    ASSERT_EQ(WMAWriterStop(), 0);
    if (haveTool("ffprobe")) {
        EXPECT_EQ(probe(path), "wmav2,44100,2");
    }
}

TEST_F(WriterTest, EachBufferIsStampedWithTheTimeAtItsEnd)
{
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAWriterConfigure(5, &wfx), 0);
    ASSERT_EQ(WMAWriterStart((dir / "a.wma").c_str()), 0);
    writeBuffers(2);
    WM_WRITER_STATISTICS stats{};
    ASSERT_EQ(WMAWriterGetStats(&stats), 0);
    EXPECT_EQ(stats.qwSampleCount, 2u);
    // Two samples by a last stamp of 500,000 units (not 250,000): 40 samples per 1000 s x 1000.
    EXPECT_EQ(stats.dwAverageSampleRate, 40000u);
    ASSERT_EQ(WMAWriterStop(), 0);

    // A new start begins the running time again.
    ASSERT_EQ(WMAWriterStart((dir / "b.wma").c_str()), 0);
    writeBuffers(1);
    ASSERT_EQ(WMAWriterGetStats(&stats), 0);
    EXPECT_EQ(stats.qwSampleCount, 1u);
    EXPECT_EQ(stats.dwAverageSampleRate, 40000u);
    ASSERT_EQ(WMAWriterStop(), 0);
}

// Duration of a written file, in 100-ns units, as the reader finds it; 0 when it cannot open it.
uint64_t durationOf(const std::filesystem::path& path)
{
    if (WMAReaderCreate() != 0)
        return 0;
    uint64_t duration = WMAReaderOpen(path.c_str()) == 0 ? WMAReaderm_cnsFileDuration() : 0;
    WMAReaderClose();
    WMAReaderDelete();
    return duration;
}

TEST_F(WriterTest, ASwitchGoesOnInTheFileStartedAheadAndTheFinishedOneIsCompletedElsewhere)
{
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAWriterConfigure(5, &wfx), 0);
    EXPECT_NE(WMAWriterSwitchToNext(), 0); // nothing started ahead
    ASSERT_EQ(WMAWriterStart((dir / "a.wma").c_str()), 0);
    writeBuffers(20);
    int32_t started = -1;
    std::thread([&] { started = WMAWriterStartNext((dir / "b.wma").c_str()); }).join();
    ASSERT_EQ(started, 0);
    EXPECT_NE(WMAWriterStartNext((dir / "c.wma").c_str()), 0); // one at a time
    writeBuffers(20);
    ASSERT_EQ(WMAWriterSwitchToNext(), 0);

    int32_t completed = -1;
    std::thread closer([&] { completed = WMAWriterStopFinished(); });
    writeBuffers(80);
    closer.join();
    ASSERT_EQ(completed, 0);
    // The next file's running time started at 0: 80 buffers of 25 ms.
    WM_WRITER_STATISTICS stats{};
    ASSERT_EQ(WMAWriterGetStats(&stats), 0);
    EXPECT_EQ(stats.qwSampleCount, 80u);
    ASSERT_EQ(WMAWriterStartNext((dir / "d.wma").c_str()), 0);
    ASSERT_EQ(WMAWriterStopNext(), 0); // unused: completed whole, the caller deletes it
    EXPECT_EQ(WMAWriterStopNext(), 0);
    EXPECT_EQ(WMAWriterStopFinished(), 0);
    ASSERT_EQ(WMAWriterStop(), 0);

    EXPECT_NEAR(static_cast<double>(durationOf(dir / "a.wma")) / 1e7, 1.0, 0.1);
    EXPECT_NEAR(static_cast<double>(durationOf(dir / "b.wma")) / 1e7, 2.0, 0.1);
}

TEST_F(WriterTest, ANextFileStartedAfterANewProfileIsWrittenInThatProfile)
{
    WAVEFORMATEX wfx{};
    ASSERT_EQ(WMAWriterConfigure(5, &wfx), 0); // 44100 Hz stereo
    ASSERT_EQ(WMAWriterStart((dir / "a.wma").c_str()), 0);
    ASSERT_EQ(WMAWriterStartNext((dir / "b.wma").c_str()), 0); // a second writer, in a128
    ASSERT_EQ(WMAWriterStopNext(), 0);
    ASSERT_EQ(WMAWriterStop(), 0);

    ASSERT_EQ(WMAWriterConfigure(25, &wfx), 0); // 8000 Hz mono: 16,000 bytes a second
    ASSERT_EQ(WMAWriterStart((dir / "c.wma").c_str()), 0);
    ASSERT_EQ(WMAWriterStartNext((dir / "d.wma").c_str()), 0);
    ASSERT_EQ(WMAWriterSwitchToNext(), 0);
    ASSERT_EQ(WMAWriterStopFinished(), 0);
    std::vector<uint8_t> silence(640); // 40 ms
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(WMAWriterWriteSample(400'000, silence.data(), 640), 0);
    ASSERT_EQ(WMAWriterStop(), 0);

    ASSERT_EQ(WMAReaderCreate(), 0);
    ASSERT_EQ(WMAReaderOpen((dir / "d.wma").c_str()), 0);
    WAVEFORMATEX read{};
    ASSERT_EQ(WMAReaderGetWfx(&read), 0);
    EXPECT_EQ(read.nSamplesPerSec, 8000u);
    EXPECT_EQ(read.nChannels, 1);
    EXPECT_NEAR(static_cast<double>(WMAReaderm_cnsFileDuration()) / 1e7, 2.0, 0.1);
    WMAReaderClose();
    WMAReaderDelete();
}

TEST_F(WriterTest, FailuresAreReportedAndHarmNothing)
{
    EXPECT_NE(WMAWriterGetStats(nullptr), 0);
    WAVEFORMATEX wfx{};
    wfx.nSamplesPerSec = 12345;
    EXPECT_NE(WMAWriterConfigure(5, nullptr), 0);
    ASSERT_EQ(WMAWriterConfigure(5, &wfx), 0);
    uint8_t block[4410] = {};
    EXPECT_NE(WMAWriterWriteSample(250'000, block, sizeof block), 0) << "not writing";
    EXPECT_NE(WMAWriterStop(), 0) << "not writing";
    EXPECT_NE(WMAWriterStart(nullptr), 0);
    const auto unwritable = dir / "missing-folder" / "x.wma";
    EXPECT_NE(WMAWriterStart(unwritable.c_str()), 0);
    EXPECT_NE(WMAWriterWriteSample(250'000, block, sizeof block), 0);
    EXPECT_NE(WMAWriterStop(), 0);

    const auto path = dir / "ok.wma";
    ASSERT_EQ(WMAWriterStart(path.c_str()), 0);
    EXPECT_NE(WMAWriterStart((dir / "other.wma").c_str()), 0) << "already writing";
    EXPECT_NE(WMAWriterWriteSample(250'000, nullptr, 10), 0);
    ASSERT_EQ(WMAWriterWriteSample(250'000, block, sizeof block), 0);
    EXPECT_EQ(WMAWriterStop(), 0);
    EXPECT_NE(WMAWriterStop(), 0) << "a second stop does nothing";
    EXPECT_FALSE(std::filesystem::exists(dir / "other.wma"));
}

TEST(WriterWithoutCreation, EveryExportRefusesToRun)
{
    WMAWriterDelete();
    WAVEFORMATEX wfx{};
    uint8_t block[4] = {};
    WM_WRITER_STATISTICS stats{};
    EXPECT_NE(WMAWriterConfigure(5, &wfx), 0);
    EXPECT_NE(WMAWriterStart("/tmp/never.wma"), 0);
    EXPECT_NE(WMAWriterWriteSample(1, block, 4), 0);
    EXPECT_NE(WMAWriterStop(), 0);
    EXPECT_NE(WMAWriterGetStats(&stats), 0);
    EXPECT_FALSE(std::filesystem::exists("/tmp/never.wma"));
}

} // namespace
