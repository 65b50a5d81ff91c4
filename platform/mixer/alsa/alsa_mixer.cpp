// The ALSA backend: a card's capture side is the recording destination. With a capture-source
// enumeration ("Input Source" or "Capture Source") that enumeration is the destination's mux and
// its items are the sources (ALSA's simple mixer presents "Capture Source" as one exclusive
// capture switch per item, which the mux then drives); otherwise the elements with a capture
// switch are the sources and their switches together form a multiple-select control. A source's
// volume is its own capture volume or the card's "Capture" volume; its mute is the inverse of its
// capture switch (or of "Capture"'s). Changes made by any program arrive as element events through
// the mixer's poll descriptors.
#include <alsa/asoundlib.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "../src/backend.h"

namespace platform::mixerdev {

namespace {

constexpr uint32_t kVolumeMax = 65535;
constexpr const char* kDefaultName = "Default sound device";

// A capture volume element's raw range and the mixer's 0..kVolumeMax scale over it, both ways.
struct VolumeScale {
    long low = 0, high = 0;

    explicit VolumeScale(snd_mixer_elem_t* element)
    {
        snd_mixer_selem_get_capture_volume_range(element, &low, &high);
    }
    uint32_t level(long raw) const
    {
        return high > low ? uint32_t(std::lround(double(raw - low) * kVolumeMax /
                                                 double(high - low)))
                          : 0;
    }
    long raw(uint32_t level) const
    {
        return low + std::lround(double(level) * double(high - low) / kVolumeMax);
    }
};

uint32_t componentTypeOf(const std::string& name)
{
    auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
    if (has("Mic"))
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (has("Line"))
        return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    if (has("CD"))
        return MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    if (has("Mix"))
        return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
    if (has("Aux"))
        return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
    if (has("S/PDIF") || has("IEC958") || has("Digital"))
        return MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
    return MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
}

class AlsaMixer : public OpenMixer {
public:
    ~AlsaMixer() override
    {
        if (mixer_)
            snd_mixer_close(mixer_);
    }

    MMRESULT open(const std::string& ctlName)
    {
        if (snd_mixer_open(&mixer_, 0) < 0)
            return MMSYSERR_NOMEM;
        ctlName_ = ctlName;
        if (snd_mixer_attach(mixer_, ctlName.c_str()) < 0 ||
            snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 || snd_mixer_load(mixer_) < 0)
            return MMSYSERR_NODRIVER;
        build();
        return MMSYSERR_NOERROR;
    }

    MMRESULT read(const Control& control, uint32_t channels, std::vector<uint32_t>& values) override
    {
        const Binding& binding = bindings_.at(control.id);
        // A control that went away takes its memory with it: the card is treated as gone.
        if (!removed_.empty())
            return MMSYSERR_NODRIVER;
        switch (binding.kind) {
        case Kind::Volume: {
            const VolumeScale scale(binding.element);
            for (uint32_t channel = 0; channel < channels; ++channel) {
                long raw = scale.low;
                if (snd_mixer_selem_get_capture_volume(binding.element, channelOf(binding, channel),
                                                       &raw) < 0)
                    return MMSYSERR_ERROR;
                values.push_back(scale.level(raw));
            }
            return MMSYSERR_NOERROR;
        }
        case Kind::Mute:
            values.push_back(switchOn(binding.element) ? 0 : 1);
            return MMSYSERR_NOERROR;
        case Kind::ExclusiveMux: {
            // The enumeration itself: the other items' switches in the simple mixer follow it
            // only once its change event has been taken in.
            snd_ctl_elem_value_t* value;
            snd_ctl_elem_value_alloca(&value);
            if (!captureSource_ || snd_hctl_elem_read(captureSource_, value) < 0)
                return MMSYSERR_ERROR;
            const unsigned item = snd_ctl_elem_value_get_enumerated(value, 0);
            for (unsigned at : exclusiveItems_)
                values.push_back(at == item ? 1 : 0);
            return MMSYSERR_NOERROR;
        }
        case Kind::Mux: {
            unsigned item = 0;
            if (snd_mixer_selem_get_enum_item(binding.element, SND_MIXER_SCHN_FRONT_LEFT, &item) <
                0)
                return MMSYSERR_ERROR;
            for (uint32_t i = 0; i < control.items; ++i)
                values.push_back(i == item ? 1 : 0);
            return MMSYSERR_NOERROR;
        }
        case Kind::Switches:
            for (snd_mixer_elem_t* element : switches_)
                values.push_back(switchOn(element) ? 1 : 0);
            return MMSYSERR_NOERROR;
        }
        return MMSYSERR_ERROR;
    }

    MMRESULT write(const Control& control, uint32_t channels,
                   const std::vector<uint32_t>& values) override
    {
        const Binding& binding = bindings_.at(control.id);
        // A control that went away takes its memory with it: the card is treated as gone.
        if (!removed_.empty())
            return MMSYSERR_NODRIVER;
        switch (binding.kind) {
        case Kind::Volume: {
            const VolumeScale scale(binding.element);
            int result = 0;
            if (channels == 1) {
                result =
                    snd_mixer_selem_set_capture_volume_all(binding.element, scale.raw(values[0]));
            } else {
                for (uint32_t channel = 0; channel < channels && result >= 0; ++channel)
                    result = snd_mixer_selem_set_capture_volume(
                        binding.element, channelOf(binding, channel), scale.raw(values[channel]));
            }
            return result < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
        }
        case Kind::Mute:
            return snd_mixer_selem_set_capture_switch_all(binding.element, values[0] ? 0 : 1) < 0
                       ? MMSYSERR_ERROR
                       : MMSYSERR_NOERROR;
        case Kind::ExclusiveMux:
        case Kind::Mux: {
            int item = -1;
            for (uint32_t i = 0; i < control.items; ++i) {
                if (values[i]) {
                    if (item >= 0)
                        return MIXERR_INVALVALUE; // a mux feeds one source
                    item = int(i);
                }
            }
            if (item < 0)
                return MIXERR_INVALVALUE;
            if (binding.kind == Kind::ExclusiveMux) {
                // Switching one item of the group on switches the others off.
                snd_mixer_elem_t* chosen = switches_[size_t(item)];
                return snd_mixer_selem_set_capture_switch_all(chosen, 1) < 0 ? MMSYSERR_ERROR
                                                                             : MMSYSERR_NOERROR;
            }
            // Every channel of the enumeration takes the item; a mono one has only the first.
            if (snd_mixer_selem_set_enum_item(binding.element, SND_MIXER_SCHN_FRONT_LEFT,
                                              unsigned(item)) < 0)
                return MMSYSERR_ERROR;
            snd_mixer_selem_set_enum_item(binding.element, SND_MIXER_SCHN_FRONT_RIGHT,
                                          unsigned(item));
            return MMSYSERR_NOERROR;
        }
        case Kind::Switches:
            for (size_t i = 0; i < switches_.size(); ++i) {
                snd_mixer_elem_t* element = switches_[i];
                if (switchOn(element) == (values[i] != 0))
                    continue;
                if (snd_mixer_selem_set_capture_switch_all(element, values[i] ? 1 : 0) < 0)
                    return MMSYSERR_ERROR;
            }
            return MMSYSERR_NOERROR;
        }
        return MMSYSERR_ERROR;
    }

    int pollDescriptors(pollfd* fds, int space) override
    {
        const int n = snd_mixer_poll_descriptors(mixer_, fds, unsigned(space));
        return n < 0 ? 0 : n;
    }

    bool takeChanges(std::vector<uint32_t>& controlIds) override
    {
        // Only what has arrived is read, so the window's thread never waits here.
        pollfd fds[16];
        const int n = pollDescriptors(fds, 16);
        unsigned short revents = 0;
        bool working = true;
        if (n > 0 && poll(fds, nfds_t(n), 0) > 0 &&
            snd_mixer_poll_descriptors_revents(mixer_, fds, unsigned(n), &revents) >= 0 &&
            (revents & (POLLIN | POLLERR | POLLHUP)))
            working = snd_mixer_handle_events(mixer_) >= 0 && !(revents & (POLLERR | POLLHUP));
        controlIds.insert(controlIds.end(), changed_.begin(), changed_.end());
        changed_.clear();
        return working;
    }

private:
    enum class Kind { Volume, Mute, Mux, ExclusiveMux, Switches };
    struct Binding {
        Kind kind;
        snd_mixer_elem_t* element;
        bool mono;
    };

    static snd_mixer_selem_channel_id_t channelOf(const Binding& binding, uint32_t channel)
    {
        return binding.mono || channel == 0 ? SND_MIXER_SCHN_FRONT_LEFT
                                            : SND_MIXER_SCHN_FRONT_RIGHT;
    }

    static bool switchOn(snd_mixer_elem_t* element)
    {
        int left = 0, right = 0;
        snd_mixer_selem_get_capture_switch(element, SND_MIXER_SCHN_FRONT_LEFT, &left);
        if (!snd_mixer_selem_is_capture_mono(element))
            snd_mixer_selem_get_capture_switch(element, SND_MIXER_SCHN_FRONT_RIGHT, &right);
        return left || right;
    }

    snd_mixer_elem_t* find(const std::string& name) const
    {
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e)) {
            if (snd_mixer_selem_get_index(e) == 0 && name == snd_mixer_selem_get_name(e))
                return e;
        }
        return nullptr;
    }

    uint32_t bind(Kind kind, snd_mixer_elem_t* element, bool mono)
    {
        const uint32_t id = nextId_++;
        bindings_[id] = {kind, element, mono};
        if (watched_.insert(element).second) {
            snd_mixer_elem_set_callback_private(element, this);
            snd_mixer_elem_set_callback(element, &AlsaMixer::onElementEvent);
        }
        controlsOf_.insert({element, id});
        return id;
    }

    static int onElementEvent(snd_mixer_elem_t* element, unsigned int mask)
    {
        auto* self = static_cast<AlsaMixer*>(snd_mixer_elem_get_callback_private(element));
        if (mask == SND_CTL_EVENT_MASK_REMOVE)
            self->removed_.insert(element);
        else if (!(mask & SND_CTL_EVENT_MASK_VALUE))
            return 0;
        auto [from, to] = self->controlsOf_.equal_range(element);
        for (auto it = from; it != to; ++it)
            self->changed_.insert(it->second);
        return 0;
    }

    // A source line with the volume and mute the card offers it.
    void addSource(const std::string& name, snd_mixer_elem_t* volume, snd_mixer_elem_t* mute)
    {
        Line line;
        line.id = sourceLineId(uint32_t(sources_.size()));
        line.componentType = componentTypeOf(name);
        line.name = name;
        snd_mixer_elem_t* shape = volume ? volume : mute;
        const bool mono = shape && snd_mixer_selem_is_capture_mono(shape);
        line.channels = mono ? 1 : 2;
        if (volume) {
            Control control;
            control.type = MIXERCONTROL_CONTROLTYPE_VOLUME;
            control.flags = mono || snd_mixer_selem_has_capture_volume_joined(volume)
                                ? MIXERCONTROL_CONTROLF_UNIFORM
                                : 0;
            control.maximum = kVolumeMax;
            control.steps = kVolumeMax + 1;
            control.name = std::string(snd_mixer_selem_get_name(volume)) + " Volume";
            control.id = bind(Kind::Volume, volume, mono);
            line.controls.push_back(control);
        }
        if (mute) {
            Control control;
            control.type = MIXERCONTROL_CONTROLTYPE_MUTE;
            control.flags = MIXERCONTROL_CONTROLF_UNIFORM;
            control.maximum = 1;
            control.steps = 2;
            control.name = std::string(snd_mixer_selem_get_name(mute)) + " Mute";
            control.id = bind(Kind::Mute, mute, true);
            line.controls.push_back(control);
        }
        sources_.push_back(line);
    }

    // The items of the card's "Capture Source" enumeration in their order, when the simple mixer
    // turned it into exclusive capture switches.
    std::vector<std::string> exclusiveSourceNames()
    {
        std::vector<std::string> names;
        bool exclusive = false;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e))
            exclusive = exclusive || snd_mixer_selem_has_capture_switch_exclusive(e);
        snd_hctl_t* hctl = nullptr;
        if (!exclusive || snd_mixer_get_hctl(mixer_, ctlName_.c_str(), &hctl) < 0)
            return names;
        snd_ctl_elem_id_t* id;
        snd_ctl_elem_info_t* info;
        snd_ctl_elem_id_alloca(&id);
        snd_ctl_elem_info_alloca(&info);
        snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_id_set_name(id, "Capture Source");
        snd_hctl_elem_t* helem = snd_hctl_find_elem(hctl, id);
        if (!helem || snd_hctl_elem_info(helem, info) < 0 ||
            snd_ctl_elem_info_get_type(info) != SND_CTL_ELEM_TYPE_ENUMERATED)
            return names;
        captureSource_ = helem;
        const unsigned items = snd_ctl_elem_info_get_items(info);
        for (unsigned i = 0; i < items; ++i) {
            snd_ctl_elem_info_set_item(info, i);
            if (snd_hctl_elem_info(helem, info) >= 0)
                names.emplace_back(snd_ctl_elem_info_get_item_name(info));
        }
        return names;
    }

    void build()
    {
        destination_.id = kDestinationLineId;
        destination_.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        destination_.channels = 2;
        destination_.name = "Capture";

        snd_mixer_elem_t* master = find("Capture");
        snd_mixer_elem_t* masterVolume =
            master && snd_mixer_selem_has_capture_volume(master) ? master : nullptr;
        snd_mixer_elem_t* masterSwitch =
            master && snd_mixer_selem_has_capture_switch(master) ? master : nullptr;
        auto ownVolume = [&](snd_mixer_elem_t* e) {
            return e && snd_mixer_selem_has_capture_volume(e) ? e : masterVolume;
        };

        snd_mixer_elem_t* enumeration = nullptr;
        for (const char* name : {"Input Source", "Capture Source"}) {
            snd_mixer_elem_t* e = find(name);
            if (!enumeration && e && snd_mixer_selem_is_enumerated(e))
                enumeration = e;
        }

        Control selection;
        selection.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
        const std::vector<std::string> exclusive = exclusiveSourceNames();
        if (!enumeration && !exclusive.empty()) {
            for (size_t item = 0; item < exclusive.size(); ++item) {
                const std::string& name = exclusive[item];
                snd_mixer_elem_t* own = find(name);
                if (!own)
                    continue;
                switches_.push_back(own);
                exclusiveItems_.push_back(unsigned(item));
                addSource(name, ownVolume(own), masterSwitch);
            }
            if (!switches_.empty()) {
                selection.type = MIXERCONTROL_CONTROLTYPE_MUX;
                selection.name = "Capture Source";
                selection.id = bind(Kind::ExclusiveMux, switches_.front(), true);
                for (snd_mixer_elem_t* e : switches_)
                    controlsOf_.insert({e, selection.id});
            }
        } else if (enumeration) {
            const int items = snd_mixer_selem_get_enum_items(enumeration);
            for (int i = 0; i < items; ++i) {
                char text[MIXER_LONG_NAME_CHARS] = {};
                snd_mixer_selem_get_enum_item_name(enumeration, unsigned(i), sizeof text - 1, text);
                snd_mixer_elem_t* own = find(text);
                snd_mixer_elem_t* mute =
                    own && snd_mixer_selem_has_capture_switch(own) ? own : masterSwitch;
                addSource(text, ownVolume(own), mute);
            }
            selection.type = MIXERCONTROL_CONTROLTYPE_MUX;
            selection.name = snd_mixer_selem_get_name(enumeration);
            selection.id = bind(Kind::Mux, enumeration, true);
        } else {
            for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e;
                 e = snd_mixer_elem_next(e)) {
                if (e != master && snd_mixer_selem_has_capture_switch(e))
                    switches_.push_back(e);
            }
            // "Capture" is the card's master switch; it is a source only on a card without others.
            if (switches_.empty() && masterSwitch)
                switches_.push_back(masterSwitch);
            for (snd_mixer_elem_t* e : switches_)
                addSource(snd_mixer_selem_get_name(e), ownVolume(e), e);
            if (switches_.empty()) {
                // A card whose capture has volumes but no switches: its volumes are the sources.
                for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e;
                     e = snd_mixer_elem_next(e)) {
                    if (snd_mixer_selem_has_capture_volume(e))
                        addSource(snd_mixer_selem_get_name(e), e, nullptr);
                }
            } else {
                selection.type = MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT;
                selection.name = "Capture Switches";
                selection.id = bind(Kind::Switches, switches_.front(), true);
                for (snd_mixer_elem_t* e : switches_)
                    controlsOf_.insert({e, selection.id});
            }
        }
        if (selection.id != 0) {
            selection.items = uint32_t(sources_.size());
            selection.maximum = selection.items ? selection.items - 1 : 0;
            selection.steps = selection.items;
            destination_.controls.push_back(selection);
        }
    }

    snd_mixer_t* mixer_ = nullptr;
    std::string ctlName_;
    uint32_t nextId_ = 1;
    std::map<uint32_t, Binding> bindings_;
    std::multimap<snd_mixer_elem_t*, uint32_t> controlsOf_;
    std::set<snd_mixer_elem_t*> watched_;
    // The "Capture Source" enumeration behind the exclusive switches, and each source's item.
    snd_hctl_elem_t* captureSource_ = nullptr;
    std::vector<unsigned> exclusiveItems_;
    // The sources' switches: the multiple-select's items, or the exclusive mux's.
    std::vector<snd_mixer_elem_t*> switches_;
    // Filled by the element callbacks inside snd_mixer_handle_events.
    std::set<uint32_t> changed_;
    std::set<snd_mixer_elem_t*> removed_;
};

Device deviceFor(std::string productName, std::string ctlName)
{
    Device device;
    device.productName = std::move(productName);
    device.open = [ctlName](MMRESULT& error) -> std::unique_ptr<OpenMixer> {
        auto mixer = std::make_unique<AlsaMixer>();
        error = mixer->open(ctlName);
        return error == MMSYSERR_NOERROR ? std::move(mixer) : nullptr;
    };
    return device;
}

} // namespace

std::vector<Device> alsaDevices()
{
    std::vector<Device> devices;
    // ALSA's default control device when it is not one of the cards: a sound server such as
    // PulseAudio or PipeWire, or a plugin of the user's configuration.
    char server[MIXER_LONG_NAME_CHARS];
    if (waveGetDefaultServer(server, sizeof server))
        devices.push_back(deviceFor(kDefaultName, "default"));
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char* name = nullptr;
        std::string productName = "Card " + std::to_string(card);
        if (snd_card_get_name(card, &name) == 0 && name) {
            productName = name;
            free(name);
        }
        devices.push_back(deviceFor(productName, "hw:" + std::to_string(card)));
    }
    return devices;
}

} // namespace platform::mixerdev
