// The mixer API: the Windows audio mixer's devices, lines, controls and control details, with its
// records, values and result codes, over two backends: each ALSA card's capture controls (and the
// default device's, where ALSA's default goes through a sound server), and the virtual card's
// mixer. A mixer device carries the product name of the wave devices of its card, which is how the
// recorder finds the card to record from. With DRAVIK_AUDIO set to "virtual..." the virtual card's
// mixer is device 0.
//
// Change notification: a handle opened with CALLBACK_FUNCTION calls its function with
// MM_MIXM_CONTROL_CHANGE (param1: the control id) from mixerHandleEvents, which its owner calls
// when one of the handle's poll descriptors becomes readable (on the owner's thread; nothing runs
// behind its back). mixerOpen takes CALLBACK_NULL or CALLBACK_FUNCTION; the program builds the
// notification of a window on these.
#pragma once

#include <poll.h>

#include <cstdint>

#include "platform/wavedev.h"

namespace platform {

constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
constexpr MMRESULT MIXERR_INVALVALUE = 1026;

constexpr uint32_t MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr uint32_t MM_MIXM_CONTROL_CHANGE = 0x3D1;

constexpr uint32_t MIXER_SHORT_NAME_CHARS = 16;
constexpr uint32_t MIXER_LONG_NAME_CHARS = 64;

// mixerGetLineInfo flags.
constexpr uint32_t MIXER_GETLINEINFOF_DESTINATION = 0x0;
constexpr uint32_t MIXER_GETLINEINFOF_SOURCE = 0x1;
constexpr uint32_t MIXER_GETLINEINFOF_LINEID = 0x2;
constexpr uint32_t MIXER_GETLINEINFOF_COMPONENTTYPE = 0x3;
constexpr uint32_t MIXER_GETLINEINFOF_QUERYMASK = 0xF;
// mixerGetLineControls flags.
constexpr uint32_t MIXER_GETLINECONTROLSF_ALL = 0x0;
constexpr uint32_t MIXER_GETLINECONTROLSF_ONEBYID = 0x1;
constexpr uint32_t MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x2;
constexpr uint32_t MIXER_GETLINECONTROLSF_QUERYMASK = 0xF;
// mixerGetControlDetails / mixerSetControlDetails flags.
constexpr uint32_t MIXER_GETCONTROLDETAILSF_VALUE = 0x0;
constexpr uint32_t MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x1;
constexpr uint32_t MIXER_GETCONTROLDETAILSF_QUERYMASK = 0xF;
constexpr uint32_t MIXER_SETCONTROLDETAILSF_VALUE = 0x0;
constexpr uint32_t MIXER_SETCONTROLDETAILSF_QUERYMASK = 0xF;
// The handle kind; handles are the only objects this layer takes, so it is accepted and ignored.
constexpr uint32_t MIXER_OBJECTF_HMIXER = 0x80000000;

// Line flags and component types.
constexpr uint32_t MIXERLINE_LINEF_ACTIVE = 0x1;
constexpr uint32_t MIXERLINE_LINEF_SOURCE = 0x80000000;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// Control flags.
constexpr uint32_t MIXERCONTROL_CONTROLF_UNIFORM = 0x1;
constexpr uint32_t MIXERCONTROL_CONTROLF_MULTIPLE = 0x2;
constexpr uint32_t MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

// Control classes and types.
constexpr uint32_t MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_CUSTOM = 0x00000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_METER = 0x10000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_NUMBER = 0x30000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_SLIDER = 0x40000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_FADER = 0x50000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_TIME = 0x60000000;
constexpr uint32_t MIXERCONTROL_CT_CLASS_LIST = 0x70000000;

constexpr uint32_t MIXERCONTROL_CONTROLTYPE_CUSTOM = 0x00000000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BOOLEANMETER = 0x10010000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_SIGNEDMETER = 0x10020000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER = 0x10030000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BOOLEAN = 0x20010000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MONO = 0x20010003;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_LOUDNESS = 0x20010004;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_STEREOENH = 0x20010005;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BUTTON = 0x21010000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_DECIBELS = 0x30040000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_SIGNED = 0x30020000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_UNSIGNED = 0x30030000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PERCENT = 0x30050000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_SLIDER = 0x40020000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PAN = 0x40020001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_QSOUNDPAN = 0x40020002;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_FADER = 0x50030000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_EQUALIZER = 0x50030004;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_SINGLESELECT = 0x70010000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT = 0x71010000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MICROTIME = 0x60030000;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MILLITIME = 0x61030000;

struct MIXERCAPS {
    char szPname[32];
    uint32_t fdwSupport;
    uint32_t cDestinations;
};

struct MIXERLINE {
    uint32_t cbStruct;
    uint32_t dwDestination;
    uint32_t dwSource;
    uint32_t dwLineID;
    uint32_t fdwLine;
    uintptr_t dwUser;
    uint32_t dwComponentType;
    uint32_t cChannels;
    uint32_t cConnections;
    uint32_t cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
};

struct MIXERCONTROL {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t dwControlType;
    uint32_t fdwControl;
    uint32_t cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        uint32_t dwMinimum;
        uint32_t dwMaximum;
    } Bounds;
    struct {
        uint32_t cSteps;
    } Metrics;
};

struct MIXERLINECONTROLS {
    uint32_t cbStruct;
    uint32_t dwLineID;
    union {
        uint32_t dwControlID;
        uint32_t dwControlType;
    };
    uint32_t cControls;
    uint32_t cbmxctrl;
    MIXERCONTROL* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t cChannels;
    uint32_t cMultipleItems;
    uint32_t cbDetails;
    void* paDetails;
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    uint32_t dwValue;
};
struct MIXERCONTROLDETAILS_BOOLEAN {
    int32_t fValue;
};
struct MIXERCONTROLDETAILS_LISTTEXT {
    uint32_t dwParam1; // the line id of the source the item stands for
    uint32_t dwParam2; // its component type
    char szName[MIXER_LONG_NAME_CHARS];
};

struct MixerHandle;
using HMIXER = MixerHandle*;
using HMIXEROBJ = MixerHandle*;
// The notification function: (handle, message, instance, param1, param2).
using MixerCallback = void (*)(HMIXER, uint32_t, uintptr_t, uintptr_t, uintptr_t);

uint32_t mixerGetNumDevs();
// MMSYSERR_NOERROR (0), or MMSYSERR_BADDEVICEID (2) for a number that names no mixer.
MMRESULT mixerGetDevCaps(uint32_t mixerId, MIXERCAPS* caps);
// dwCallback is a MixerCallback with CALLBACK_FUNCTION, ignored with CALLBACK_NULL.
MMRESULT mixerOpen(HMIXER* mixer, uint32_t mixerId, uintptr_t dwCallback, uintptr_t dwInstance,
                   uint32_t fdwOpen);
MMRESULT mixerClose(HMIXER mixer);
MMRESULT mixerGetLineInfo(HMIXEROBJ mixer, MIXERLINE* line, uint32_t fdwInfo);
MMRESULT mixerGetLineControls(HMIXEROBJ mixer, MIXERLINECONTROLS* controls, uint32_t fdwControls);
MMRESULT mixerGetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, uint32_t fdwDetails);
MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, uint32_t fdwDetails);

// The descriptors to watch for reading (at most space of them are written); their number.
int mixerGetPollDescriptors(HMIXER mixer, pollfd* fds, int space);
// Takes in the changes that arrived and calls the handle's function for each changed control.
// MMSYSERR_NODRIVER when the device is gone: its descriptors then need no more watching.
MMRESULT mixerHandleEvents(HMIXER mixer);

} // namespace platform
