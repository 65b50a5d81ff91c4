#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/mixer.h"
#include "platform/wavedev.h"

using namespace platform;

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

TEST(Mixer, NumbersBeyondTheLastMixerAreRefused)
{
    unsetenv("DRAVIK_AUDIO");
    MIXERCAPS caps{};
    EXPECT_NE(mixerGetDevCaps(mixerGetNumDevs(), &caps), 0u);
    EXPECT_NE(mixerGetDevCaps(0, nullptr), 0u);
}
