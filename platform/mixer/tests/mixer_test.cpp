// The mixer API over the virtual card: the device list, its recording destination and sources,
// the records' checks, notification across handles, and the capture following the mixer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "mixer_helpers.h"
#include "platform/wavedev.h"

using namespace platform;
using namespace mixertest;

namespace {

// The virtual card switched on for one test, its mixer put back to its start afterwards.
class VirtualMixerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("DRAVIK_AUDIO", "virtual:pace=fast", 1);
        ASSERT_EQ(mixerOpen(&mixer, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    }
    void TearDown() override
    {
        const MIXERLINE dest = destination(mixer);
        setValues(mixer, control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX), {1, 0, 0, 0});
        for (uint32_t i = 0; i < dest.cConnections; ++i) {
            const MIXERLINE line = source(mixer, i);
            const MIXERCONTROL volume =
                control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
            setValues(mixer, volume, std::vector<uint32_t>(channelsOf(volume), 65535));
            setValues(mixer, control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE), {0});
        }
        mixerClose(mixer);
        unsetenv("DRAVIK_AUDIO");
    }

    // The peak of 16-bit stereo captured from the virtual card's tone, per channel.
    static std::pair<int, int> capturedPeaks()
    {
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = 8000;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 4;
        format.nAvgBytesPerSec = 32000;
        HWAVEIN device = nullptr;
        EXPECT_EQ(waveInOpen(&device, 0, &format, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        std::vector<int16_t> samples(8000 * 2);
        WAVEHDR header{};
        header.lpData = reinterpret_cast<char*>(samples.data());
        header.dwBufferLength = uint32_t(samples.size() * 2);
        waveInPrepareHeader(device, &header);
        waveInAddBuffer(device, &header);
        waveInStart(device);
        for (int i = 0; i < 500 && !(header.dwFlags & WHDR_DONE); ++i)
            usleep(10000);
        EXPECT_TRUE(header.dwFlags & WHDR_DONE);
        waveInReset(device);
        waveInUnprepareHeader(device, &header);
        waveInClose(device);
        int left = 0, right = 0;
        for (size_t i = 0; i + 1 < samples.size(); i += 2) {
            left = std::max(left, std::abs(int(samples[i])));
            right = std::max(right, std::abs(int(samples[i + 1])));
        }
        return {left, right};
    }

    HMIXER mixer = nullptr;
};

} // namespace

TEST(Mixer, TheVirtualCardsMixerComesFirstAndCarriesItsWaveDeviceName)
{
    setenv("DRAVIK_AUDIO", "virtual:pace=fast", 1);
    ASSERT_GE(mixerGetNumDevs(), 1u);
    MIXERCAPS mixer{};
    ASSERT_EQ(mixerGetDevCaps(0, &mixer), 0u);
    WAVEINCAPS wave{};
    ASSERT_EQ(waveInGetDevCaps(0, &wave), MMSYSERR_NOERROR);
    EXPECT_STREQ(mixer.szPname, wave.szPname);
    EXPECT_STREQ(mixer.szPname, kVirtualCardName);
    unsetenv("DRAVIK_AUDIO");
}

TEST(Mixer, NumbersBeyondTheLastMixerAndForeignHandlesAreRefused)
{
    unsetenv("DRAVIK_AUDIO");
    MIXERCAPS caps{};
    EXPECT_EQ(mixerGetDevCaps(mixerGetNumDevs(), &caps), MMSYSERR_BADDEVICEID);
    EXPECT_NE(mixerGetDevCaps(0, nullptr), 0u);
    HMIXER mixer = nullptr;
    EXPECT_EQ(mixerOpen(&mixer, mixerGetNumDevs(), 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(mixer, nullptr);
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    int notAHandle = 0;
    EXPECT_EQ(mixerGetLineInfo(reinterpret_cast<HMIXER>(&notAHandle), &line, 0),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerClose(nullptr), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualMixerTest, RecordingDestinationHasFourSourcesEachWithVolumeAndMuteAndAMux)
{
    const MIXERLINE dest = destination(mixer);
    EXPECT_EQ(dest.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(sourceNames(mixer),
              (std::vector<std::string>{"Microphone", "Line In", "CD Audio", "Stereo Mix"}));
    const MIXERCONTROL mux = control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_NE(mux.dwControlID, 0u);
    EXPECT_EQ(mux.cMultipleItems, 4u);
    EXPECT_EQ(listTexts(mixer, mux), sourceNames(mixer));
    EXPECT_EQ(values(mixer, mux), (std::vector<uint32_t>{1, 0, 0, 0}));
    for (uint32_t i = 0; i < dest.cConnections; ++i) {
        const MIXERLINE line = source(mixer, i);
        EXPECT_EQ(line.cControls, 2u);
        const MIXERCONTROL volume = control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
        EXPECT_EQ(volume.Bounds.dwMaximum, 65535u);
        EXPECT_NE(control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE).dwControlID, 0u);
        EXPECT_EQ(control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_BASS).dwControlID, 0u);
        // The microphone is mono: its fader is uniform.
        EXPECT_EQ(bool(volume.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM), i == 0);
    }
}

TEST_F(VirtualMixerTest, DetailsWithWrongChannelsItemsOrValuesAreRefusedAndChangeNothing)
{
    const MIXERLINE dest = destination(mixer);
    const MIXERCONTROL mux = control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX);
    // A mux feeds exactly one source.
    EXPECT_EQ(setValues(mixer, mux, {0, 0, 0, 0}), MIXERR_INVALVALUE);
    EXPECT_EQ(setValues(mixer, mux, {0, 1, 1, 0}), MIXERR_INVALVALUE);
    EXPECT_EQ(values(mixer, mux), (std::vector<uint32_t>{1, 0, 0, 0}));
    const MIXERCONTROL micVolume =
        control(mixer, source(mixer, 0).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(setValues(mixer, micVolume, {1, 2}), MMSYSERR_INVALPARAM); // uniform: one channel
    EXPECT_EQ(setValues(mixer, micVolume, {70000}), MIXERR_INVALVALUE);
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = 999;
    uint32_t value = 0;
    details.cChannels = 1;
    details.cbDetails = sizeof value;
    details.paDetails = &value;
    EXPECT_EQ(mixerGetControlDetails(mixer, &details, 0), MIXERR_INVALCONTROL);
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    line.dwSource = 4;
    EXPECT_EQ(mixerGetLineInfo(mixer, &line, MIXER_GETLINEINFOF_SOURCE), MIXERR_INVALLINE);
}

TEST_F(VirtualMixerTest, AChangeThroughOneHandleReachesEveryOpenHandle)
{
    Notifications first, second;
    HMIXER a = first.open(0);
    HMIXER b = second.open(0);
    const MIXERLINE line = source(a, 1);
    const MIXERCONTROL volume = control(a, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_EQ(setValues(a, volume, {1000, 2000}), MMSYSERR_NOERROR);
    ASSERT_TRUE(second.wait(b));
    EXPECT_TRUE(second.has(volume.dwControlID));
    EXPECT_EQ(values(b, volume), (std::vector<uint32_t>{1000, 2000}));
    ASSERT_TRUE(first.wait(a));
    EXPECT_TRUE(first.has(volume.dwControlID));
    // Nothing more is pending once the change was taken in.
    second.ids.clear();
    EXPECT_FALSE(second.wait(b, 50));
    // A closed handle hears nothing and is refused.
    mixerClose(a);
    EXPECT_EQ(mixerHandleEvents(a), MMSYSERR_INVALHANDLE);
    mixerClose(b);
}

TEST_F(VirtualMixerTest, CaptureFollowsTheSelectedSourcesVolumeAndMute)
{
    const auto [fullLeft, fullRight] = capturedPeaks();
    EXPECT_GT(fullLeft, 15000); // the tone is at half scale
    EXPECT_NEAR(fullRight, fullLeft, 2);

    const MIXERLINE dest = destination(mixer);
    const MIXERCONTROL mux = control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX);
    const MIXERLINE lineIn = source(mixer, 1);
    const MIXERCONTROL volume = control(mixer, lineIn.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    const MIXERCONTROL mute = control(mixer, lineIn.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_EQ(setValues(mixer, volume, {65535 / 2, 65535 / 4}), MMSYSERR_NOERROR);
    // Not selected yet: the microphone, still at full volume, is what is heard.
    EXPECT_NEAR(capturedPeaks().first, fullLeft, 2);

    ASSERT_EQ(setValues(mixer, mux, {0, 1, 0, 0}), MMSYSERR_NOERROR);
    const auto [halfLeft, quarterRight] = capturedPeaks();
    EXPECT_NEAR(halfLeft, fullLeft / 2, 3);
    EXPECT_NEAR(quarterRight, fullRight / 4, 3);

    ASSERT_EQ(setValues(mixer, mute, {1}), MMSYSERR_NOERROR);
    EXPECT_EQ(capturedPeaks(), std::make_pair(0, 0));
}
