// The ALSA backend without sound hardware: a test configuration makes ALSA's default PCM a file
// plugin over the null plugin, which captures from a raw file and plays into another.
#include <gtest/gtest.h>

#include <fstream>

#include "../alsa/alsa_params.h"
#include "device_helpers.h"
#include "platform/alsa_errors.h"
#include "testsupport/testsupport.h"

using namespace platform;
using namespace wavedevtest;

namespace {

class AlsaFilePlugin : public ::testing::Test {
protected:
    void SetUp() override
    {
        input.resize(3 * 7056);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = uint8_t(i * 13 + i / 509);
        testsupport::writeFile(dir / "in.raw", input);
        wavetest::useAlsaFilePlugin(dir.path());
    }
    void TearDown() override { unsetenv("ALSA_CONFIG_PATH"); }

    testsupport::TempDir dir;
    AudioSetting realDevices{""};
    std::vector<uint8_t> input;
    const WAVEFORMATEX format = pcm(44100, 2, 16);
};

} // namespace

TEST_F(AlsaFilePlugin, TheMapperCapturesTheFilesBytes)
{
    MessageLog log;
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, MessageLog::inProc, log.instance(),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<TestBuffer>> buffers;
    for (int i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<TestBuffer>(7056));
        waveInPrepareHeader(device, &buffers.back()->header);
        waveInAddBuffer(device, &buffers.back()->header);
    }
    waveInStart(device);
    ASSERT_TRUE(log.waitFor(MM_WIM_DATA, 3));
    waveInReset(device);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    std::vector<uint8_t> got;
    for (auto& b : buffers) {
        EXPECT_EQ(b->header.dwBytesRecorded, 7056u);
        got.insert(got.end(), b->data.begin(), b->data.end());
    }
    EXPECT_EQ(got, input);
}

TEST_F(AlsaFilePlugin, CaptureHoldsHalfASecondAndHandsItOnInStepsShorterThanABlock)
{
    for (bool capture : {true, false}) {
        SCOPED_TRACE(capture);
        snd_pcm_t* stream = nullptr;
        ASSERT_EQ(snd_pcm_open(&stream, "default",
                               capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0),
                  0);
        ASSERT_GE(wavedev::setPcmParams(stream, SND_PCM_FORMAT_S16_LE, 2, 44100, capture), 0);
        snd_pcm_uframes_t buffer = 0, period = 0;
        ASSERT_EQ(snd_pcm_get_params(stream, &buffer, &period), 0);
        snd_pcm_close(stream);
        // Each 40-ms block (1764 frames) is whole after at most one period.
        EXPECT_GT(period, 0u);
        EXPECT_LE(period, 1764u);
        if (capture)
            EXPECT_GE(buffer, 44100u * 4 / 10);
        else
            EXPECT_LE(buffer, 44100u * 15 / 100);
    }
}

TEST_F(AlsaFilePlugin, TheMapperPlaysIntoTheFile)
{
    MessageLog log;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, MessageLog::outProc, log.instance(),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    TestBuffer a(7056), b(7056);
    std::copy(input.begin(), input.begin() + 7056, a.data.begin());
    std::copy(input.begin() + 7056, input.begin() + 2 * 7056, b.data.begin());
    waveOutPrepareHeader(device, &a.header);
    waveOutPrepareHeader(device, &b.header);
    waveOutWrite(device, &a.header);
    waveOutWrite(device, &b.header);
    ASSERT_TRUE(log.waitFor(MM_WOM_DONE, 2));
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(log.count(MM_WOM_CLOSE), 1u);
    EXPECT_EQ(testsupport::readFile(dir / "out.raw"),
              std::vector<uint8_t>(input.begin(), input.begin() + 2 * 7056));
}

TEST_F(AlsaFilePlugin, AnOpenThatAlsaRefusesIsReportedAndOpensNothing)
{
    std::ofstream config(dir / "asound.conf");
    config << "pcm.!default { type file slave.pcm \"nosuchpcm\" file \"/nonexistent/x\" }\n";
    config.close();
    routeAlsaErrors();
    clearAlsaError();
    MessageLog log;
    HWAVEOUT device = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_NE(waveOutOpen(&device, WAVE_MAPPER, &format, MessageLog::outProc, log.instance(),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    // ALSA's lines stay off the terminal; the first is the reason the program's message gives.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(log.count(MM_WOM_OPEN), 0u);
    EXPECT_EQ(alsaError(), "Unknown PCM nosuchpcm");
    EXPECT_EQ(withAlsaReason("cannot open the output device"),
              "cannot open the output device (ALSA: Unknown PCM nosuchpcm)");
    EXPECT_EQ(alsaError(), "");
}

TEST(AlsaDevices, CardsAreListedByNameWithoutTheVirtualCard)
{
    AudioSetting realDevices("");
    // This machine may have no sound card at all; whatever is listed carries a name.
    for (uint32_t i = 0; i < waveOutGetNumDevs(); ++i) {
        WAVEOUTCAPS caps{};
        ASSERT_EQ(waveOutGetDevCaps(i, &caps), MMSYSERR_NOERROR);
        EXPECT_STRNE(caps.szPname, "");
        EXPECT_STRNE(caps.szPname, kVirtualCardName);
    }
}
