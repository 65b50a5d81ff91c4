// The virtual card's mixer: a recording destination with a mux over the sources "Microphone"
// (mono), "Line In", "CD Audio" and "Stereo Mix", each with a volume and a mute. The values live in
// the card's shared mixer state, which its capture follows; a change made through one open handle
// is announced to every open handle through an eventfd of its own.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "../src/backend.h"
#include "virtual_mixer.h"

namespace platform::mixerdev {

namespace {

using wavedev::kVirtualSources;
using wavedev::kVirtualVolumeMax;
using wavedev::VirtualMixerState;

constexpr uint32_t kMuxId = 1;
constexpr uint32_t volumeId(uint32_t source)
{
    return 2 + 2 * source;
}
constexpr uint32_t muteId(uint32_t source)
{
    return 3 + 2 * source;
}

constexpr uint32_t kComponentTypes[kVirtualSources] = {
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERLINE_COMPONENTTYPE_SRC_LINE,
    MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERLINE_COMPONENTTYPE_SRC_ANALOG};

bool virtualCardOn()
{
    const char* audio = std::getenv("DRAVIK_AUDIO");
    return audio && std::strncmp(audio, "virtual", 7) == 0 && (audio[7] == 0 || audio[7] == ':');
}

class VirtualMixer;

// The open handles, so that a change reaches them all. Window thread in practice; the lock keeps
// handles opened on other threads (tests) safe.
std::mutex registryMutex;
std::set<VirtualMixer*> registry;

class VirtualMixer : public OpenMixer {
public:
    explicit VirtualMixer(VirtualMixerState* state) : state_(state)
    {
        destination_.id = kDestinationLineId;
        destination_.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        destination_.channels = 2;
        destination_.name = "Recording Control";
        Control mux;
        mux.id = kMuxId;
        mux.type = MIXERCONTROL_CONTROLTYPE_MUX;
        mux.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
        mux.items = kVirtualSources;
        mux.maximum = kVirtualSources - 1;
        mux.steps = kVirtualSources;
        mux.name = "Recording Source";
        destination_.controls.push_back(mux);
        for (uint32_t source = 0; source < kVirtualSources; ++source) {
            Line line;
            line.id = sourceLineId(source);
            line.componentType = kComponentTypes[source];
            line.channels = source == 0 ? 1 : 2;
            line.name = wavedev::kVirtualSourceNames[source];
            Control volume;
            volume.id = volumeId(source);
            volume.type = MIXERCONTROL_CONTROLTYPE_VOLUME;
            volume.flags = line.channels == 1 ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
            volume.maximum = kVirtualVolumeMax;
            volume.steps = kVirtualVolumeMax + 1;
            volume.name = line.name + " Volume";
            Control mute;
            mute.id = muteId(source);
            mute.type = MIXERCONTROL_CONTROLTYPE_MUTE;
            mute.flags = MIXERCONTROL_CONTROLF_UNIFORM;
            mute.maximum = 1;
            mute.steps = 2;
            mute.name = line.name + " Mute";
            line.controls = {volume, mute};
            sources_.push_back(line);
        }
        std::lock_guard lock(registryMutex);
        registry.insert(this);
    }

    ~VirtualMixer() override
    {
        {
            std::lock_guard lock(registryMutex);
            registry.erase(this);
        }
        close(event_);
    }

    bool ready() const { return event_ >= 0; }

    MMRESULT read(const Control& control, uint32_t channels, std::vector<uint32_t>& values) override
    {
        if (control.id == kMuxId) {
            const uint32_t selected = state_->selected.load();
            for (uint32_t source = 0; source < kVirtualSources; ++source)
                values.push_back((selected >> source) & 1u);
            return MMSYSERR_NOERROR;
        }
        const uint32_t source = (control.id - 2) / 2;
        if (control.id == muteId(source)) {
            values.push_back(state_->muted[source].load() ? 1 : 0);
            return MMSYSERR_NOERROR;
        }
        for (uint32_t channel = 0; channel < channels; ++channel)
            values.push_back(state_->volume[source][channel].load());
        return MMSYSERR_NOERROR;
    }

    MMRESULT write(const Control& control, uint32_t channels,
                   const std::vector<uint32_t>& values) override
    {
        if (control.id == kMuxId) {
            uint32_t selected = 0;
            for (uint32_t source = 0; source < kVirtualSources; ++source)
                selected |= values[source] << source;
            // A mux feeds exactly one source.
            if (selected == 0 || (selected & (selected - 1)) != 0)
                return MIXERR_INVALVALUE;
            state_->selected = selected;
        } else {
            const uint32_t source = (control.id - 2) / 2;
            if (control.id == muteId(source)) {
                state_->muted[source] = values[0];
            } else {
                // A mono source keeps both words alike, so the capture hears it on both sides.
                state_->volume[source][0] = values[0];
                state_->volume[source][1] =
                    channels == 2 && sources_[source].channels == 2 ? values[1] : values[0];
            }
        }
        announce(control.id);
        return MMSYSERR_NOERROR;
    }

    int pollDescriptors(pollfd* fds, int) override
    {
        fds[0] = {event_, POLLIN, 0};
        return 1;
    }

    bool takeChanges(std::vector<uint32_t>& controlIds) override
    {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(event_, &count, sizeof count);
        std::lock_guard lock(registryMutex);
        controlIds.insert(controlIds.end(), changed_.begin(), changed_.end());
        changed_.clear();
        return true;
    }

private:
    static void announce(uint32_t controlId)
    {
        std::lock_guard lock(registryMutex);
        for (VirtualMixer* mixer : registry) {
            mixer->changed_.insert(controlId);
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(mixer->event_, &one, sizeof one);
        }
    }

    VirtualMixerState* const state_;
    const int event_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Guarded by registryMutex.
    std::set<uint32_t> changed_;
};

} // namespace

std::vector<Device> virtualDevices()
{
    if (!virtualCardOn())
        return {};
    Device device;
    device.productName = kVirtualCardName;
    device.open = [](MMRESULT& error) -> std::unique_ptr<OpenMixer> {
        VirtualMixerState* state = wavedev::virtualMixerState();
        if (!state) {
            error = MMSYSERR_NOMEM;
            return nullptr;
        }
        auto mixer = std::make_unique<VirtualMixer>(state);
        if (!mixer->ready()) {
            error = MMSYSERR_NOMEM;
            return nullptr;
        }
        return mixer;
    };
    return {device};
}

} // namespace platform::mixerdev
