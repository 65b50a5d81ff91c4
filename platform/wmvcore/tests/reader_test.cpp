// The runtime's reader: opening and refusing files, the clock that gates delivery, positions,
// pause and stop, header attributes, damaged files and release while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "helpers.h"
#include "testsupport/testsupport.h"

using namespace wmvtest;

namespace {

constexpr uint64_t kSecond = 10'000'000;

std::vector<uint8_t> bytesOf(const std::vector<int16_t>& pcm)
{
    const auto* b = reinterpret_cast<const uint8_t*>(pcm.data());
    return {b, b + pcm.size() * 2};
}

// Two seconds of stereo sine stored losslessly.
class LosslessFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pcm = testsupport::sine16(440, 44100, 2, 2.0);
        path = dir / "lossless.wma";
        writeFile(path, 355, 2, 44100, 128016, pcm);
    }
    testsupport::TempDir dir;
    std::filesystem::path path;
    std::vector<int16_t> pcm;
};

TEST_F(LosslessFileTest, NothingIsDeliveredPastTheClock)
{
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    ASSERT_EQ(file.reader->SetUserProvidedClock(true), S_OK);
    ASSERT_EQ(file.reader->Start(0, 0, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    EXPECT_EQ(file.recorder.waitDelivered(0, 1, 200), 0u) << "delivered before any clock";

    ASSERT_EQ(file.reader->DeliverTime(kSecond / 2), S_OK);
    EXPECT_EQ(file.recorder.waitDelivered(0, kSecond / 2), kSecond / 2);
    EXPECT_EQ(file.recorder.waitDelivered(0, kSecond, 200), kSecond / 2);
    EXPECT_EQ(file.recorder.pcm().size(), 44100u * 2);
    // A clock that goes back holds nothing back that was released.
    ASSERT_EQ(file.reader->DeliverTime(kSecond / 4), S_OK);

    ASSERT_EQ(file.reader->DeliverTime(100 * kSecond), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_EOF));
    EXPECT_EQ(file.recorder.pcm(), bytesOf(pcm)) << "lossless files read back bit-exact";
    uint64_t expected = 0;
    for (const auto& s : file.recorder.samples()) {
        EXPECT_EQ(s.time, expected);
        expected = s.time + s.duration;
    }
    EXPECT_EQ(expected, 2 * kSecond);
}

TEST_F(LosslessFileTest, ReleasedSoundComesInPiecesThatEndOnTheClock)
{
    // Not one decoder frame at a time: a fifth of a second at least, or up to the clock, or the
    // last of the file.
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    ASSERT_EQ(file.reader->SetUserProvidedClock(true), S_OK);
    ASSERT_EQ(file.reader->Start(0, 0, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    ASSERT_EQ(file.reader->DeliverTime(kSecond / 2), S_OK);
    EXPECT_EQ(file.recorder.waitDelivered(0, kSecond / 2), kSecond / 2);
    ASSERT_EQ(file.reader->DeliverTime(100 * kSecond), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_EOF));
    EXPECT_EQ(file.recorder.pcm(), bytesOf(pcm));
    const auto samples = file.recorder.samples();
    EXPECT_LE(samples.size(), 12u);
    for (const auto& s : samples) {
        const uint64_t end = s.time + s.duration;
        if (end != kSecond / 2 && end != 2 * kSecond) {
            EXPECT_GE(s.duration, kSecond / 5) << s.time;
        }
    }
}

TEST_F(LosslessFileTest, StartsAtAPositionForADuration)
{
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    file.reader->SetUserProvidedClock(true);
    ASSERT_EQ(file.reader->Start(kSecond, kSecond / 2, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    file.reader->DeliverTime(100 * kSecond);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_EOF));
    auto samples = file.recorder.samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.front().time, kSecond);
    EXPECT_EQ(file.recorder.deliveredEnd(0), kSecond * 3 / 2);
    // The container stamps packets to the millisecond: after a seek the sound is the file's own,
    // bit for bit, from within a millisecond of the position.
    const auto all = bytesOf(pcm);
    const auto got = file.recorder.pcm();
    ASSERT_EQ(got.size(), 44100u * 4 / 2);
    // (The sine repeats every second: search near the position.)
    const auto at = std::search(all.begin() + (44100 - 50) * 4, all.end(), got.begin(), got.end());
    ASSERT_NE(at, all.end());
    EXPECT_NEAR(double(at - all.begin()) / 4, 44100.0, 44.1);
}

TEST_F(LosslessFileTest, PauseHoldsDeliveryAndStopEndsIt)
{
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    file.reader->SetUserProvidedClock(true);
    file.reader->Start(0, 0, 1.0f, nullptr);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    ASSERT_EQ(file.reader->Pause(), S_OK);
    file.reader->DeliverTime(kSecond);
    EXPECT_EQ(file.recorder.waitDelivered(0, 1, 200), 0u);
    ASSERT_EQ(file.reader->Resume(), S_OK);
    EXPECT_EQ(file.recorder.waitDelivered(0, kSecond), kSecond);

    ASSERT_EQ(file.reader->Stop(), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STOPPED));
    file.reader->DeliverTime(10 * kSecond);
    EXPECT_EQ(file.recorder.waitDelivered(0, 2 * kSecond, 200), kSecond);

    // Started again it plays from the new position.
    file.recorder.clear();
    file.reader->Start(kSecond / 2, 0, 1.0f, nullptr);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    file.reader->DeliverTime(kSecond);
    EXPECT_EQ(file.recorder.waitDelivered(0, kSecond), kSecond);
    EXPECT_EQ(file.recorder.samples().front().time, kSecond / 2);

    ASSERT_EQ(file.reader->Close(), S_OK);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_CLOSED));
    EXPECT_EQ(file.reader->Close(), NS_E_INVALID_REQUEST);
    EXPECT_EQ(file.reader->Start(0, 0, 1.0f, nullptr), NS_E_INVALID_REQUEST);
    EXPECT_EQ(file.reader->DeliverTime(kSecond), NS_E_INVALID_REQUEST);
}

TEST_F(LosslessFileTest, ReleaseWhileDeliveringIsSafe)
{
    struct Slow : Recorder {
        HRESULT OnSample(uint32_t o, uint64_t t, uint64_t d, uint32_t f, INSSBuffer* s,
                         void* c) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++calls;
            return Recorder::OnSample(o, t, d, f, s, c);
        }
        std::atomic<int> calls{0};
    } slow;
    IWMReader* reader = nullptr;
    ASSERT_EQ(WMCreateReader(nullptr, WMT_RIGHT_PLAYBACK, &reader), S_OK);
    ASSERT_EQ(reader->Open(path.c_str(), &slow, nullptr), S_OK);
    ASSERT_TRUE(slow.waitStatus(WMT_OPENED));
    reader->SetUserProvidedClock(true);
    reader->Start(0, 0, 1.0f, nullptr);
    ASSERT_TRUE(slow.waitStatus(WMT_STARTED));
    reader->DeliverTime(100 * kSecond);
    slow.waitDelivered(0, kSecond / 10);
    reader->Release();
    const int after = slow.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(slow.calls, after) << "a callback after the last release";
}

TEST(ReaderTest, BuffersThatSplitSamplesAreStoredWhole)
{
    // Odd lengths cut samples and frames in two between calls.
    testsupport::TempDir dir;
    const auto pcm = testsupport::sine16(1000, 22050, 1, 1.0);
    writeFile(dir / "odd.wma", 355, 1, 22050, 0, pcm, 1001);
    OpenReader file(dir / "odd.wma");
    ASSERT_TRUE(file.opened());
    file.reader->SetUserProvidedClock(true);
    file.reader->Start(0, 0, 1.0f, nullptr);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    file.reader->DeliverTime(10 * kSecond);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_EOF));
    EXPECT_EQ(file.recorder.pcm(), bytesOf(pcm));
}

TEST(ReaderTest, RefusesWhatItCannotOpen)
{
    testsupport::TempDir dir;
    IWMReader* reader = nullptr;
    ASSERT_EQ(WMCreateReader(nullptr, WMT_RIGHT_PLAYBACK, &reader), S_OK);
    Recorder recorder;
    EXPECT_EQ(reader->Open(nullptr, &recorder, nullptr), E_INVALIDARG);
    EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST) << "nothing open";
    uint32_t outputs = 0;
    EXPECT_EQ(reader->GetOutputCount(&outputs), NS_E_INVALID_REQUEST);
    reader->Release();

    testsupport::writeFile(dir / "empty.wma", {});
    // A WAV file claiming 2,000,000,000 samples a second, whose PCM byte rate would not fit
    // the format's 32 bits.
    const char header[] = "RIFF\x64\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x00\x94\x35\x77"
                          "\x00\x50\xD6\xDC\x04\0\x10\0data\x40\0\0\0";
    std::vector<uint8_t> absurd(header, header + sizeof header - 1);
    absurd.resize(absurd.size() + 64);
    testsupport::writeFile(dir / "absurd-rate.wav", absurd);
    for (const auto& path :
         {dir / "missing.wma", dir.path(), dir / "empty.wma", dir / "absurd-rate.wav",
          testsupport::fixture("damaged-random.wma"), testsupport::fixture("damaged-random.mp3")}) {
        OpenReader file(path);
        EXPECT_FALSE(file.opened()) << path;
        EXPECT_EQ(file.reader->GetOutputCount(&outputs), NS_E_INVALID_REQUEST);
        EXPECT_EQ(file.reader->Start(0, 0, 1.0f, nullptr), NS_E_INVALID_REQUEST);
        ASSERT_EQ(file.reader->Close(), S_OK);
        EXPECT_TRUE(file.recorder.waitStatus(WMT_CLOSED));
    }
}

TEST(ReaderTest, ReadsTheHeaderAttributesOfAWmaFile)
{
    OpenReader file(testsupport::fixture("speech-wmav2-128k-stereo.wma"));
    ASSERT_TRUE(file.opened());
    auto text = [&](const char* name) {
        WMT_ATTR_DATATYPE type{};
        uint16_t length = 0;
        if (file.reader->GetAttributeByName(0, name, &type, nullptr, &length) != S_OK)
            return std::string("<none>");
        EXPECT_EQ(type, WMT_TYPE_STRING);
        std::string value(length, '\0');
        EXPECT_EQ(file.reader->GetAttributeByName(
                      0, name, &type, reinterpret_cast<uint8_t*>(value.data()), &length),
                  S_OK);
        return std::string(value.c_str());
    };
    EXPECT_EQ(text("Title"), "Fixture title");
    EXPECT_EQ(text("Author"), "Nobody");
    EXPECT_EQ(text("Copyright"), "<none>");
    EXPECT_NEAR(double(file.qword("Duration")), 23.266 * kSecond, kSecond / 100);
    EXPECT_EQ(file.qword("FileSize"), 403900u);
    WMT_ATTR_DATATYPE type{};
    uint16_t length = 0;
    EXPECT_EQ(file.reader->GetAttributeByName(0, "Nonsense", &type, nullptr, &length),
              ASF_E_NOTFOUND);
    EXPECT_EQ(file.reader->GetAttributeByName(1, "Title", &type, nullptr, &length), ASF_E_NOTFOUND);
    IWMProfile* profile = nullptr;
    ASSERT_EQ(file.reader->GetProfile(&profile), S_OK);
    uint32_t bitrate = 0;
    EXPECT_EQ(profile->GetStreamBitrate(0, &bitrate), S_OK);
    EXPECT_EQ(bitrate, 128000u);
    profile->Release();
}

TEST(ReaderTest, ATruncatedFileIsReadAsFarAsItGoes)
{
    OpenReader file(testsupport::fixture("damaged-truncated.wma"));
    ASSERT_TRUE(file.opened());
    file.reader->SetUserProvidedClock(true);
    file.reader->Start(0, 0, 1.0f, nullptr);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    file.reader->DeliverTime(1000 * kSecond);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_EOF));
    const uint64_t end = file.recorder.deliveredEnd(0);
    EXPECT_GT(end, kSecond);
    EXPECT_LT(end, 2 * kSecond);
}

TEST(ReaderTest, ListsVideoOutputsButDeliversAudioOnly)
{
    testsupport::TempDir dir;
    const auto path = dir / "av.mkv";
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i "
        "sine=frequency=440:sample_rate=8000:duration=1 -c:v mpeg4 -c:a pcm_s16le '" +
        path.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "ffmpeg is not available";
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    uint32_t outputs = 0;
    ASSERT_EQ(file.reader->GetOutputCount(&outputs), S_OK);
    ASSERT_EQ(outputs, 2u);
    IWMMediaProps* props = nullptr;
    ASSERT_EQ(file.reader->GetOutputProps(0, &props), S_OK);
    std::vector<uint64_t> storage(32);
    uint32_t size = 256;
    ASSERT_EQ(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(storage.data()), &size), S_OK);
    EXPECT_TRUE(reinterpret_cast<WM_MEDIA_TYPE*>(storage.data())->majortype == WMMEDIATYPE_Video);
    props->Release();
    file.reader->SetUserProvidedClock(true);
    file.reader->Start(0, 0, 1.0f, nullptr);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_STARTED));
    file.reader->DeliverTime(10 * kSecond);
    ASSERT_TRUE(file.recorder.waitStatus(WMT_EOF));
    for (const auto& s : file.recorder.samples())
        EXPECT_EQ(s.output, 1u);
    EXPECT_EQ(file.recorder.deliveredEnd(1), kSecond);
}

TEST(ReaderTest, WithoutTheUserClockDeliveryFollowsRealTime)
{
    testsupport::TempDir dir;
    const auto path = dir / "voice.wma";
    writeFile(path, 355, 1, 8000, 0, testsupport::sine16(440, 8000, 1, 2.0));
    OpenReader file(path);
    ASSERT_TRUE(file.opened());
    const auto begun = std::chrono::steady_clock::now();
    file.reader->Start(0, 0, 1.0f, nullptr);
    file.recorder.waitDelivered(0, kSecond / 5);
    const auto elapsed = std::chrono::steady_clock::now() - begun;
    EXPECT_GE(elapsed, std::chrono::milliseconds(190));
    EXPECT_EQ(file.reader->DeliverTime(kSecond), NS_E_INVALID_REQUEST);
}

} // namespace
