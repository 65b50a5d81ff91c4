// The mixer API's front end: the device list of both backends, the handles, and the checking and
// filling of the Windows records over a backend's lines and controls.
#include "platform/mixer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "backend.h"

namespace platform {

struct MixerHandle {
    std::unique_ptr<mixerdev::OpenMixer> mixer;
    MixerCallback callback = nullptr;
    uintptr_t instance = 0;
};

namespace {

using mixerdev::Control;
using mixerdev::Line;

// The handles this process holds, so that a stale or foreign handle is refused.
std::set<HMIXER>& openHandles()
{
    static std::set<HMIXER> handles;
    return handles;
}

std::vector<mixerdev::Device> allDevices()
{
    auto devices = mixerdev::virtualDevices();
    auto alsa = mixerdev::alsaDevices();
    devices.insert(devices.end(), std::make_move_iterator(alsa.begin()),
                   std::make_move_iterator(alsa.end()));
    return devices;
}

mixerdev::OpenMixer* backendOf(HMIXEROBJ mixer)
{
    return mixer && openHandles().count(mixer) ? mixer->mixer.get() : nullptr;
}

void fillLine(const mixerdev::OpenMixer& mixer, const Line& line, MIXERLINE* out)
{
    const bool destination = line.id == mixerdev::kDestinationLineId;
    out->dwDestination = 0;
    out->dwSource = destination ? 0 : line.id >> 16;
    out->dwLineID = line.id;
    out->fdwLine = MIXERLINE_LINEF_ACTIVE | (destination ? 0 : MIXERLINE_LINEF_SOURCE);
    out->dwUser = 0;
    out->dwComponentType = line.componentType;
    out->cChannels = line.channels;
    out->cConnections = destination ? uint32_t(mixer.sources().size()) : 0;
    out->cControls = uint32_t(line.controls.size());
    mixerdev::copyName(out->szShortName, line.name);
    mixerdev::copyName(out->szName, line.name);
}

const Line* lineById(const mixerdev::OpenMixer& mixer, uint32_t id)
{
    if (id == mixerdev::kDestinationLineId)
        return &mixer.destination();
    const uint32_t source = id >> 16;
    if ((id & 0xFFFF) != 0 || source >= mixer.sources().size())
        return nullptr;
    return &mixer.sources()[source];
}

// The control with the id and the line that holds it.
const Control* controlById(const mixerdev::OpenMixer& mixer, uint32_t id, const Line** owner)
{
    auto search = [&](const Line& line) -> const Control* {
        for (const Control& control : line.controls) {
            if (control.id == id) {
                if (owner)
                    *owner = &line;
                return &control;
            }
        }
        return nullptr;
    };
    if (const Control* found = search(mixer.destination()))
        return found;
    for (const Line& line : mixer.sources()) {
        if (const Control* found = search(line))
            return found;
    }
    return nullptr;
}

void fillControl(const Control& control, MIXERCONTROL* out)
{
    out->cbStruct = sizeof(MIXERCONTROL);
    out->dwControlID = control.id;
    out->dwControlType = control.type;
    out->fdwControl = control.flags;
    out->cMultipleItems = control.items;
    mixerdev::copyName(out->szShortName, control.name);
    mixerdev::copyName(out->szName, control.name);
    out->Bounds.dwMinimum = 0;
    out->Bounds.dwMaximum = control.maximum;
    out->Metrics.cSteps = control.steps;
}

bool isList(const Control& control)
{
    return (control.type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST;
}

// Checks a details record against its control: the channel count (1, or the line's count for a
// control that is not uniform) and, for a list, the item count. The number of values it covers.
MMRESULT checkDetails(const mixerdev::OpenMixer& mixer, const MIXERCONTROLDETAILS* details,
                      size_t valueSize, const Control** control, size_t* count)
{
    if (!details || !details->paDetails || details->cbDetails < valueSize)
        return MMSYSERR_INVALPARAM;
    const Line* line = nullptr;
    *control = controlById(mixer, details->dwControlID, &line);
    if (!*control)
        return MIXERR_INVALCONTROL;
    const uint32_t channels = details->cChannels;
    const bool uniform = (*control)->flags & MIXERCONTROL_CONTROLF_UNIFORM;
    if (channels == 0 || (channels != 1 && (uniform || channels != line->channels)))
        return MMSYSERR_INVALPARAM;
    if (isList(**control)) {
        if (details->cMultipleItems != (*control)->items || channels != 1)
            return MMSYSERR_INVALPARAM;
        *count = (*control)->items;
    } else {
        if (details->cMultipleItems != 0)
            return MMSYSERR_INVALPARAM;
        *count = channels;
    }
    return MMSYSERR_NOERROR;
}

} // namespace

uint32_t mixerGetNumDevs()
{
    return static_cast<uint32_t>(allDevices().size());
}

MMRESULT mixerGetDevCaps(uint32_t mixerId, MIXERCAPS* caps)
{
    auto devices = allDevices();
    if (!caps || mixerId >= devices.size())
        return caps ? MMSYSERR_BADDEVICEID : MMSYSERR_INVALPARAM;
    std::memset(caps, 0, sizeof *caps);
    mixerdev::copyName(caps->szPname, devices[mixerId].productName);
    caps->cDestinations = 1;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(HMIXER* mixer, uint32_t mixerId, uintptr_t dwCallback, uintptr_t dwInstance,
                   uint32_t fdwOpen)
{
    if (!mixer)
        return MMSYSERR_INVALPARAM;
    *mixer = nullptr;
    if (fdwOpen != CALLBACK_NULL && fdwOpen != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (fdwOpen == CALLBACK_FUNCTION && dwCallback == 0)
        return MMSYSERR_INVALPARAM;
    auto devices = allDevices();
    if (mixerId >= devices.size())
        return MMSYSERR_BADDEVICEID;
    MMRESULT error = MMSYSERR_NOERROR;
    auto open = devices[mixerId].open(error);
    if (!open)
        return error != MMSYSERR_NOERROR ? error : MMSYSERR_NODRIVER;
    auto handle = new MixerHandle;
    handle->mixer = std::move(open);
    if (fdwOpen == CALLBACK_FUNCTION) {
        handle->callback = reinterpret_cast<MixerCallback>(dwCallback);
        handle->instance = dwInstance;
    }
    openHandles().insert(handle);
    *mixer = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER mixer)
{
    if (!backendOf(mixer))
        return MMSYSERR_INVALHANDLE;
    openHandles().erase(mixer);
    delete mixer;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfo(HMIXEROBJ mixer, MIXERLINE* line, uint32_t fdwInfo)
{
    mixerdev::OpenMixer* open = backendOf(mixer);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if (!line || line->cbStruct < sizeof(MIXERLINE))
        return MMSYSERR_INVALPARAM;
    const Line* found = nullptr;
    switch (fdwInfo & MIXER_GETLINEINFOF_QUERYMASK) {
    case MIXER_GETLINEINFOF_DESTINATION:
        if (line->dwDestination != 0)
            return MMSYSERR_INVALPARAM;
        found = &open->destination();
        break;
    case MIXER_GETLINEINFOF_SOURCE:
        if (line->dwDestination != 0 || line->dwSource >= open->sources().size())
            return MIXERR_INVALLINE;
        found = &open->sources()[line->dwSource];
        break;
    case MIXER_GETLINEINFOF_LINEID:
        found = lineById(*open, line->dwLineID);
        if (!found)
            return MIXERR_INVALLINE;
        break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
        if (open->destination().componentType == line->dwComponentType) {
            found = &open->destination();
        } else {
            for (const Line& source : open->sources()) {
                if (source.componentType == line->dwComponentType) {
                    found = &source;
                    break;
                }
            }
        }
        if (!found)
            return MIXERR_INVALLINE;
        break;
    default:
        return MMSYSERR_INVALFLAG;
    }
    fillLine(*open, *found, line);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControls(HMIXEROBJ mixer, MIXERLINECONTROLS* controls, uint32_t fdwControls)
{
    mixerdev::OpenMixer* open = backendOf(mixer);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if (!controls || controls->cbStruct < sizeof(MIXERLINECONTROLS) || !controls->pamxctrl ||
        controls->cbmxctrl < sizeof(MIXERCONTROL))
        return MMSYSERR_INVALPARAM;
    switch (fdwControls & MIXER_GETLINECONTROLSF_QUERYMASK) {
    case MIXER_GETLINECONTROLSF_ALL: {
        const Line* line = lineById(*open, controls->dwLineID);
        if (!line)
            return MIXERR_INVALLINE;
        if (controls->cControls != line->controls.size() || line->controls.empty())
            return MMSYSERR_INVALPARAM;
        for (size_t i = 0; i < line->controls.size(); ++i)
            fillControl(line->controls[i], controls->pamxctrl + i);
        return MMSYSERR_NOERROR;
    }
    case MIXER_GETLINECONTROLSF_ONEBYID: {
        const Line* owner = nullptr;
        const Control* control = controlById(*open, controls->dwControlID, &owner);
        if (!control)
            return MIXERR_INVALCONTROL;
        controls->dwLineID = owner->id;
        fillControl(*control, controls->pamxctrl);
        return MMSYSERR_NOERROR;
    }
    case MIXER_GETLINECONTROLSF_ONEBYTYPE: {
        const Line* line = lineById(*open, controls->dwLineID);
        if (!line)
            return MIXERR_INVALLINE;
        for (const Control& control : line->controls) {
            if (control.type == controls->dwControlType) {
                fillControl(control, controls->pamxctrl);
                return MMSYSERR_NOERROR;
            }
        }
        return MIXERR_INVALCONTROL;
    }
    default:
        return MMSYSERR_INVALFLAG;
    }
}

MMRESULT mixerGetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, uint32_t fdwDetails)
{
    mixerdev::OpenMixer* open = backendOf(mixer);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    const uint32_t query = fdwDetails & MIXER_GETCONTROLDETAILSF_QUERYMASK;
    if (query != MIXER_GETCONTROLDETAILSF_VALUE && query != MIXER_GETCONTROLDETAILSF_LISTTEXT)
        return MMSYSERR_INVALFLAG;
    const bool texts = query == MIXER_GETCONTROLDETAILSF_LISTTEXT;
    const Control* control = nullptr;
    size_t count = 0;
    MMRESULT result = checkDetails(*open, details,
                                   texts ? sizeof(MIXERCONTROLDETAILS_LISTTEXT)
                                         : sizeof(MIXERCONTROLDETAILS_UNSIGNED),
                                   &control, &count);
    if (result != MMSYSERR_NOERROR)
        return result;
    if (texts) {
        if (!isList(*control))
            return MMSYSERR_INVALPARAM;
        auto* out = static_cast<uint8_t*>(details->paDetails);
        for (size_t i = 0; i < count; ++i) {
            auto* text =
                reinterpret_cast<MIXERCONTROLDETAILS_LISTTEXT*>(out + i * details->cbDetails);
            const Line& source = open->sources()[i];
            text->dwParam1 = source.id;
            text->dwParam2 = source.componentType;
            mixerdev::copyName(text->szName, source.name);
        }
        return MMSYSERR_NOERROR;
    }
    std::vector<uint32_t> values;
    result = open->read(*control, details->cChannels, values);
    if (result != MMSYSERR_NOERROR)
        return result;
    auto* out = static_cast<uint8_t*>(details->paDetails);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t value = i < values.size() ? values[i] : 0;
        std::memcpy(out + i * details->cbDetails, &value, sizeof value);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, uint32_t fdwDetails)
{
    mixerdev::OpenMixer* open = backendOf(mixer);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    if ((fdwDetails & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMSYSERR_INVALFLAG;
    const Control* control = nullptr;
    size_t count = 0;
    MMRESULT result =
        checkDetails(*open, details, sizeof(MIXERCONTROLDETAILS_UNSIGNED), &control, &count);
    if (result != MMSYSERR_NOERROR)
        return result;
    std::vector<uint32_t> values(count);
    const auto* in = static_cast<const uint8_t*>(details->paDetails);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&values[i], in + i * details->cbDetails, sizeof(uint32_t));
        const bool boolean = isList(*control) || (control->type & MIXERCONTROL_CT_CLASS_MASK) ==
                                                     MIXERCONTROL_CT_CLASS_SWITCH;
        if (boolean)
            values[i] = values[i] != 0;
        else if (values[i] > control->maximum)
            return MIXERR_INVALVALUE;
    }
    return open->write(*control, details->cChannels, values);
}

int mixerGetPollDescriptors(HMIXER mixer, pollfd* fds, int space)
{
    mixerdev::OpenMixer* open = backendOf(mixer);
    return open && fds && space > 0 ? open->pollDescriptors(fds, space) : 0;
}

MMRESULT mixerHandleEvents(HMIXER mixer)
{
    mixerdev::OpenMixer* open = backendOf(mixer);
    if (!open)
        return MMSYSERR_INVALHANDLE;
    std::vector<uint32_t> changed;
    const bool working = open->takeChanges(changed);
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    // The callback may close the handle: stop at once when it does.
    for (uint32_t id : changed) {
        if (!backendOf(mixer) || !mixer->callback)
            break;
        mixer->callback(mixer, MM_MIXM_CONTROL_CHANGE, mixer->instance, id, 0);
    }
    return working ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

} // namespace platform
