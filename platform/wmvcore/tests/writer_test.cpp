// The runtime's writer: its states, its input format, and files that survive failures.
#include <gtest/gtest.h>

#include "helpers.h"
#include "testsupport/testsupport.h"

using namespace wmvtest;

namespace {

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK); }
    void TearDown() override
    {
        if (writer)
            writer->Release();
    }
    void setProfile(int tag, int channels, int rate, int bitrate)
    {
        IWMProfile* profile = loadProfile(tag, channels, rate, bitrate);
        ASSERT_EQ(writer->SetProfile(profile), S_OK);
        profile->Release();
    }

    IWMWriter* writer = nullptr;
    testsupport::TempDir dir;
};

TEST_F(WriterTest, RefusesEveryStepOutOfOrder)
{
    uint32_t inputs = 0;
    EXPECT_EQ(writer->GetInputCount(&inputs), NS_E_INVALID_REQUEST);
    EXPECT_EQ(writer->BeginWriting(), NS_E_INVALID_REQUEST); // no profile
    EXPECT_EQ(writer->EndWriting(), NS_E_INVALID_REQUEST);
    INSSBuffer* sample = nullptr;
    ASSERT_EQ(writer->AllocateSample(4, &sample), S_OK);
    EXPECT_EQ(writer->WriteSample(0, 1, 0, sample), NS_E_INVALID_REQUEST);
    setProfile(353, 2, 44100, 128016);
    EXPECT_EQ(writer->BeginWriting(), NS_E_INVALID_REQUEST); // no file name
    ASSERT_EQ(writer->SetOutputFilename((dir / "a.wma").c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    EXPECT_EQ(writer->BeginWriting(), NS_E_INVALID_REQUEST);
    EXPECT_EQ(writer->WriteSample(1, 1, 0, sample), E_INVALIDARG); // only input 0 exists
    EXPECT_EQ(writer->SetOutputFilename((dir / "b.wma").c_str()), NS_E_INVALID_REQUEST);
    IWMProfile* other = loadProfile(353, 1, 22050, 32000);
    EXPECT_EQ(writer->SetProfile(other), NS_E_INVALID_REQUEST);
    other->Release();
    sample->Release();
    EXPECT_EQ(writer->EndWriting(), S_OK);
    EXPECT_EQ(writer->EndWriting(), NS_E_INVALID_REQUEST);
}

TEST_F(WriterTest, RefusesProfilesItCannotEncode)
{
    EXPECT_EQ(writer->SetProfile(nullptr), E_INVALIDARG);
    for (auto [tag, channels, rate] :
         {std::tuple{1, 2, 44100}, std::tuple{353, 6, 44100}, std::tuple{353, 2, 96000}}) {
        IWMProfile* profile = loadProfile(tag, channels, rate, 64000);
        EXPECT_EQ(writer->SetProfile(profile), NS_E_INVALID_DATA) << tag << " " << rate;
        profile->Release();
    }
}

TEST_F(WriterTest, InputIsSixteenBitPcmAtTheProfilesRateAndChannels)
{
    setProfile(10, 1, 8000, 4000); // a voice profile
    uint32_t inputs = 0;
    ASSERT_EQ(writer->GetInputCount(&inputs), S_OK);
    ASSERT_EQ(inputs, 1u);
    IWMMediaProps* props = nullptr;
    ASSERT_EQ(writer->GetInputProps(0, &props), S_OK);
    uint32_t size = 0;
    ASSERT_EQ(props->GetMediaType(nullptr, &size), S_OK);
    std::vector<uint64_t> storage(size / 8 + 1);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
    uint32_t small = size - 1;
    EXPECT_EQ(props->GetMediaType(type, &small), E_INVALIDARG);
    ASSERT_EQ(props->GetMediaType(type, &size), S_OK);
    props->Release();
    EXPECT_TRUE(type->majortype == WMMEDIATYPE_Audio);
    EXPECT_TRUE(type->formattype == WMFORMAT_WaveFormatEx);
    ASSERT_EQ(type->cbFormat, sizeof(WAVEFORMATEX));
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, type->pbFormat, sizeof wfx);
    EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wfx.nChannels, 1);
    EXPECT_EQ(wfx.nSamplesPerSec, 8000u);
    EXPECT_EQ(wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(wfx.nBlockAlign, 2);
    EXPECT_EQ(wfx.wBitsPerSample, 16);
    EXPECT_EQ(writer->GetInputProps(1, &props), E_INVALIDARG);
}

TEST_F(WriterTest, UnwritablePathFailsAndLeavesTheWriterReady)
{
    setProfile(353, 2, 44100, 128016);
    const auto missing = dir / "no-such-folder" / "x.wma";
    ASSERT_EQ(writer->SetOutputFilename(missing.c_str()), S_OK);
    EXPECT_EQ(writer->BeginWriting(), NS_E_FILE_OPEN_FAILED);
    EXPECT_FALSE(std::filesystem::exists(missing));
    ASSERT_EQ(writer->SetOutputFilename((dir / "ok.wma").c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    EXPECT_EQ(writeSamples(writer, testsupport::sine16(440, 44100, 2, 0.5), 7056), S_OK);
    EXPECT_EQ(writer->EndWriting(), S_OK);
    EXPECT_GT(std::filesystem::file_size(dir / "ok.wma"), 1000u);
}

TEST_F(WriterTest, StatisticsCountSamplesAndBytesOfStreamOne)
{
    setProfile(10, 1, 16000, 16000);
    WM_WRITER_STATISTICS stats{};
    EXPECT_EQ(writer->GetStatistics(1, nullptr), E_POINTER);
    EXPECT_EQ(writer->GetStatistics(2, &stats), E_INVALIDARG);
    ASSERT_EQ(writer->SetOutputFilename((dir / "s.wma").c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(writeSamples(writer, testsupport::sine16(440, 16000, 1, 2.0), 1280), S_OK);
    ASSERT_EQ(writer->GetStatistics(1, &stats), S_OK);
    EXPECT_EQ(stats.qwSampleCount, 50u);
    EXPECT_GT(stats.qwByteCount, 0u);
    // Voice profiles are encoded at the encoder's lowest rate.
    EXPECT_EQ(stats.dwExpectedBitrate, 24000u);
    EXPECT_EQ(writer->EndWriting(), S_OK);
}

TEST_F(WriterTest, ReleasingWhileWritingFinishesTheFile)
{
    setProfile(355, 2, 44100, 128016);
    const auto path = dir / "left-open.wma";
    ASSERT_EQ(writer->SetOutputFilename(path.c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(writeSamples(writer, testsupport::sine16(440, 44100, 2, 1.0), 7056), S_OK);
    writer->Release();
    writer = nullptr;
    // The trailer is written: the header knows the duration.
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    EXPECT_NEAR(double(file.qword("Duration")), 1e7, 1e5);
}

} // namespace
