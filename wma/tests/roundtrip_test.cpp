// Recordings written through the writer read back through the reader with their format, length
// and bit rate, and open in other tools as the profile's codec.
#include <gtest/gtest.h>

#include <cstring>

#include "testsupport/testsupport.h"
#include "wma_test_support.h"

using namespace wmatest;

namespace {

struct Case {
    int index;
    const char* name;
    uint32_t rate;
    uint16_t channels;
    uint32_t bitrate; // as the file reports it
    const char* codec;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

// A standard profile, the lossless one, a voice profile and a standard one under the encoder's
// lowest bit rate.
constexpr Case kCases[] = {
    {5, "a128", 44100, 2, 128016, "wmav2"},
    {0, "lossless", 44100, 2, 44100 * 32, "pcm_s16le"},
    {25, "a8voice", 8000, 1, 24000, "wmav2"},
    {13, "a20", 16000, 2, 24000, "wmav2"},
};

class RoundTripTest : public ReaderFixture, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        ReaderFixture::SetUp();
        ASSERT_EQ(WMAWriterCreate(), 0);
    }
    void TearDown() override
    {
        WMAWriterDelete();
        ReaderFixture::TearDown();
    }
    testsupport::TempDir dir;
};

TEST_P(RoundTripTest, ReadsBackWithItsFormatDurationAndBitRate)
{
    const Case& c = GetParam();
    WAVEFORMATEX in{};
    ASSERT_EQ(WMAWriterConfigure(c.index, &in), 0);
    const auto pcm =
        testsupport::sine16(440, static_cast<int>(in.nSamplesPerSec), in.nChannels, 3.0);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    const size_t block = in.nBlockAlign * (in.nSamplesPerSec / 25); // 40 ms, as the recorder writes
    const auto path = dir / (std::string(c.name) + ".wma");
    ASSERT_EQ(WMAWriterStart(path.c_str()), 0);
    for (size_t at = 0; at < total; at += block) {
        const auto length = static_cast<uint32_t>(std::min(block, total - at));
        const uint64_t duration = uint64_t(length) * 10'000'000 / in.nAvgBytesPerSec;
        ASSERT_EQ(WMAWriterWriteSample(duration, bytes + at, length), 0);
    }
    ASSERT_EQ(WMAWriterStop(), 0);

    ASSERT_EQ(WMAReaderOpen(path.c_str()), 0);
    WAVEFORMATEX out{};
    ASSERT_EQ(WMAReaderGetWfx(&out), 0);
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0) << "the format read is the format written";
    EXPECT_EQ(WMAReaderGetBitrate(), c.bitrate);
    EXPECT_NEAR(double(WMAReaderm_cnsFileDuration()), 3.0 * kSecond, 0.15 * kSecond);

    startAndWaitForLead(0);
    uint64_t far = 1000 * kSecond;
    ASSERT_EQ(WMAReaderGetSampleProc(&far, 0), 0);
    // Lossless ends exactly at 3 s; the encoders pad their last frame.
    const uint64_t end =
        Delivery::instance().waitEnd(c.index == 0 ? 3 * kSecond : 285 * kSecond / 100);
    EXPECT_NEAR(double(end), 3.0 * kSecond, 0.15 * kSecond);
    if (c.index == 0) {
        EXPECT_EQ(Delivery::instance().pcm(), std::vector<uint8_t>(bytes, bytes + total))
            << "lossless reads back bit-exact";
    }
    EXPECT_EQ(WMAReaderClose(), 0);

    if (!haveTool("ffprobe"))
        GTEST_SKIP() << "ffprobe is not available";
    EXPECT_EQ(probe(path), std::string(c.codec) + "," + std::to_string(c.rate) + "," +
                               std::to_string(c.channels));
}

INSTANTIATE_TEST_SUITE_P(Profiles, RoundTripTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
