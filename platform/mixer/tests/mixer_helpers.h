// Test helpers over the mixer API: lines, controls by type, and control values read and written
// as plain vectors; a handle's notifications collected.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/mixer.h"

namespace mixertest {

using namespace platform;

inline MIXERLINE destination(HMIXER mixer)
{
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    EXPECT_EQ(mixerGetLineInfo(mixer, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    return line;
}

inline MIXERLINE source(HMIXER mixer, uint32_t index)
{
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    line.dwSource = index;
    EXPECT_EQ(mixerGetLineInfo(mixer, &line, MIXER_GETLINEINFOF_SOURCE), MMSYSERR_NOERROR);
    return line;
}

inline std::vector<std::string> sourceNames(HMIXER mixer)
{
    std::vector<std::string> names;
    const MIXERLINE dest = destination(mixer);
    for (uint32_t i = 0; i < dest.cConnections; ++i)
        names.push_back(source(mixer, i).szName);
    return names;
}

// The line's control of the type; dwControlID 0 when it has none.
inline MIXERCONTROL control(HMIXER mixer, uint32_t lineId, uint32_t type)
{
    MIXERCONTROL found{};
    MIXERLINECONTROLS controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = lineId;
    controls.dwControlType = type;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof found;
    controls.pamxctrl = &found;
    if (mixerGetLineControls(mixer, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) != 0)
        found.dwControlID = 0;
    return found;
}

inline uint32_t channelsOf(const MIXERCONTROL& c)
{
    return (c.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : 2;
}

inline uint32_t itemsOf(const MIXERCONTROL& c)
{
    return (c.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? c.cMultipleItems : 0;
}

inline std::vector<uint32_t> values(HMIXER mixer, const MIXERCONTROL& c)
{
    const uint32_t items = itemsOf(c);
    std::vector<uint32_t> out(items ? items : channelsOf(c));
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = c.dwControlID;
    details.cChannels = channelsOf(c);
    details.cMultipleItems = items;
    details.cbDetails = sizeof(uint32_t);
    details.paDetails = out.data();
    EXPECT_EQ(mixerGetControlDetails(mixer, &details, MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    return out;
}

inline MMRESULT setValues(HMIXER mixer, const MIXERCONTROL& c, std::vector<uint32_t> in)
{
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = c.dwControlID;
    details.cChannels = itemsOf(c) ? 1 : uint32_t(in.size());
    details.cMultipleItems = itemsOf(c);
    details.cbDetails = sizeof(uint32_t);
    details.paDetails = in.data();
    return mixerSetControlDetails(mixer, &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

inline std::vector<std::string> listTexts(HMIXER mixer, const MIXERCONTROL& c)
{
    std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(c.cMultipleItems);
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = c.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = c.cMultipleItems;
    details.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXT);
    details.paDetails = texts.data();
    EXPECT_EQ(mixerGetControlDetails(mixer, &details, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_NOERROR);
    std::vector<std::string> names;
    for (auto& t : texts)
        names.push_back(t.szName);
    return names;
}

// Collects the control ids a handle announces.
struct Notifications {
    std::vector<uint32_t> ids;
    static void callback(HMIXER, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t)
    {
        if (message == MM_MIXM_CONTROL_CHANGE)
            reinterpret_cast<Notifications*>(instance)->ids.push_back(uint32_t(p1));
    }
    HMIXER open(uint32_t id)
    {
        HMIXER mixer = nullptr;
        EXPECT_EQ(mixerOpen(&mixer, id, reinterpret_cast<uintptr_t>(&callback),
                            reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        return mixer;
    }
    // Whether the handle's descriptors are readable within timeoutMs; then takes the events in.
    bool wait(HMIXER mixer, int timeoutMs = 2000)
    {
        pollfd fds[8];
        const int n = mixerGetPollDescriptors(mixer, fds, 8);
        if (n <= 0 || poll(fds, nfds_t(n), timeoutMs) <= 0)
            return false;
        mixerHandleEvents(mixer);
        return true;
    }
    bool has(uint32_t id) const
    {
        for (uint32_t i : ids)
            if (i == id)
                return true;
        return false;
    }
};

} // namespace mixertest
