// The mixer API's ALSA backend over a card in user space (the test control plugin, reached as
// ALSA's default control device): a card with a capture-source enumeration, one named "Input
// Source", and one with capture switches; mono and stereo volumes; changes made by another
// program arriving as notifications.
#include <gtest/gtest.h>

#include "mixer_helpers.h"
#include "test_card.h"

using namespace platform;
using namespace mixertest;

namespace {

// The test card is the first mixer device when the virtual card is off.
HMIXER openCard(Notifications& notifications)
{
    unsetenv("DRAVIK_AUDIO");
    EXPECT_GE(mixerGetNumDevs(), 1u);
    MIXERCAPS caps{};
    EXPECT_EQ(mixerGetDevCaps(0, &caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Default sound device");
    return notifications.open(0);
}

} // namespace

TEST(AlsaMixer, CaptureSourceEnumerationBecomesAMuxWhoseItemsAreTheSources)
{
    for (const char* enumeration : {"Capture Source", "Input Source"}) {
        SCOPED_TRACE(enumeration);
        TestCard card("mux", enumeration);
        Notifications notifications;
        HMIXER mixer = openCard(notifications);
        ASSERT_NE(mixer, nullptr);
        const MIXERLINE dest = destination(mixer);
        EXPECT_EQ(sourceNames(mixer), (std::vector<std::string>{"Mic", "Line", "CD"}));
        const MIXERCONTROL mux = control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX);
        ASSERT_NE(mux.dwControlID, 0u);
        EXPECT_EQ(listTexts(mixer, mux), sourceNames(mixer));
        EXPECT_EQ(values(mixer, mux), (std::vector<uint32_t>{1, 0, 0}));

        ASSERT_EQ(setValues(mixer, mux, {0, 0, 1}), MMSYSERR_NOERROR);
        EXPECT_EQ(TestCard::get(enumeration), 2);
        EXPECT_EQ(values(mixer, mux), (std::vector<uint32_t>{0, 0, 1}));

        // Each source has the card's stereo "Capture" volume and its switch as mute.
        const MIXERLINE line = source(mixer, 1);
        EXPECT_EQ(line.cControls, 2u);
        const MIXERCONTROL volume = control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
        const MIXERCONTROL mute = control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
        EXPECT_FALSE(volume.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM);
        EXPECT_EQ(volume.Bounds.dwMaximum, 65535u);
        EXPECT_EQ(values(mixer, volume), (std::vector<uint32_t>{65535, 65535}));
        ASSERT_EQ(setValues(mixer, volume, {65535 / 3, 0}), MMSYSERR_NOERROR);
        EXPECT_EQ(TestCard::get("Capture Volume", 0), 21);
        EXPECT_EQ(TestCard::get("Capture Volume", 1), 0);
        EXPECT_EQ(values(mixer, volume)[0], 21u * 65535 / 63);

        EXPECT_EQ(values(mixer, mute), (std::vector<uint32_t>{0}));
        ASSERT_EQ(setValues(mixer, mute, {1}), MMSYSERR_NOERROR);
        EXPECT_EQ(TestCard::get("Capture Switch", 0), 0);
        EXPECT_EQ(TestCard::get("Capture Switch", 1), 0);
        mixerClose(mixer);
    }
}

TEST(AlsaMixer, CaptureSwitchesFormAMultipleSelectAndAMonoVolumeIsUniform)
{
    TestCard card("switches");
    Notifications notifications;
    HMIXER mixer = openCard(notifications);
    ASSERT_NE(mixer, nullptr);
    const MIXERLINE dest = destination(mixer);
    // "Capture" is the card's master, not a source; the sources come in the mixer's order.
    const std::vector<std::string> names = sourceNames(mixer);
    ASSERT_EQ(names.size(), 2u);
    const uint32_t micAt = names[0] == "Mic" ? 0 : 1, lineAt = 1 - micAt;
    EXPECT_EQ(names[lineAt], "Line");
    EXPECT_EQ(control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX).dwControlID, 0u);
    const MIXERCONTROL select =
        control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT);
    ASSERT_NE(select.dwControlID, 0u);
    EXPECT_EQ(values(mixer, select)[micAt], 1u);
    EXPECT_EQ(values(mixer, select)[lineAt], 0u);
    ASSERT_EQ(setValues(mixer, select, {1, 1}), MMSYSERR_NOERROR);
    EXPECT_EQ(TestCard::get("Mic Capture Switch"), 1);
    EXPECT_EQ(TestCard::get("Line Capture Switch", 1), 1);

    const MIXERLINE mic = source(mixer, micAt);
    EXPECT_EQ(mic.cChannels, 1u);
    const MIXERCONTROL micVolume = control(mixer, mic.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_TRUE(micVolume.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM);
    ASSERT_EQ(setValues(mixer, micVolume, {0}), MMSYSERR_NOERROR);
    EXPECT_EQ(TestCard::get("Mic Capture Volume"), 0);
    EXPECT_EQ(TestCard::get("Capture Volume"), 63); // the master is left alone
    const MIXERCONTROL lineVolume =
        control(mixer, source(mixer, lineAt).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_FALSE(lineVolume.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM);

    // The source's mute is the inverse of its own capture switch, which is also its selection.
    const MIXERCONTROL lineMute =
        control(mixer, source(mixer, lineAt).dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_EQ(setValues(mixer, lineMute, {1}), MMSYSERR_NOERROR);
    EXPECT_EQ(TestCard::get("Line Capture Switch", 0), 0);
    EXPECT_EQ(values(mixer, select)[lineAt], 0u);
    mixerClose(mixer);
}

TEST(AlsaMixer, ChangesMadeByAnotherProgramArriveThroughThePollDescriptors)
{
    TestCard card("mux");
    Notifications notifications;
    HMIXER mixer = openCard(notifications);
    ASSERT_NE(mixer, nullptr);
    const MIXERLINE dest = destination(mixer);
    const MIXERCONTROL mux = control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX);
    const MIXERLINE line = source(mixer, 0);
    const MIXERCONTROL mute = control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
    const MIXERCONTROL volume = control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);

    // Nothing is pending at first, and taking events in then does not wait.
    EXPECT_FALSE(notifications.wait(mixer, 50));
    EXPECT_EQ(mixerHandleEvents(mixer), MMSYSERR_NOERROR);

    ASSERT_TRUE(TestCard::set("Capture Switch", {0, 0}));
    ASSERT_TRUE(notifications.wait(mixer));
    EXPECT_TRUE(notifications.has(mute.dwControlID));
    EXPECT_EQ(values(mixer, mute), (std::vector<uint32_t>{1}));

    notifications.ids.clear();
    ASSERT_TRUE(TestCard::set("Capture Source", {1}));
    ASSERT_TRUE(notifications.wait(mixer));
    EXPECT_TRUE(notifications.has(mux.dwControlID));
    EXPECT_EQ(values(mixer, mux), (std::vector<uint32_t>{0, 1, 0}));

    notifications.ids.clear();
    ASSERT_TRUE(TestCard::set("Capture Volume", {10, 20}));
    ASSERT_TRUE(notifications.wait(mixer));
    EXPECT_TRUE(notifications.has(volume.dwControlID));
    mixerClose(mixer);
}
