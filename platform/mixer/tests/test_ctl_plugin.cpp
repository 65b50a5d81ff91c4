// A sound card in user space for the mixer tests: an ALSA external control plugin presenting a
// card's capture controls, so that the mixer's ALSA code runs unchanged over snd_mixer. The test's
// ALSA configuration names it:
//   ctl_type.dravik_test { lib "/path/to/libdravik_test_ctl.so" }
//   ctl.default { type dravik_test layout "mux" source "Capture Source" state "name" }
// layout "mux": "Capture" volume (stereo, 0..63) and switch, and an enumeration (named by source,
// "Capture Source" by default) over "Mic", "Line" and "CD".
// layout "switches": "Mic" (mono volume 0..31 and switch), "Line" (stereo volume and switch) and
// "Capture" (stereo volume 0..63 and switch), without an enumeration.
// Every handle opened with the same state name shares the values within the process, and a change
// through one handle is announced to the others as an element event, as a card does.
// broken "true": the card opens but cannot list its controls, as a card whose driver fails.
// dravikTestUnplug(state), looked up by the tests in this library, takes the card away as an
// unplugged USB card goes: its open handles are woken and their event reads fail.
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Element {
    std::string name;
    int type;
    unsigned count;
    long minimum, maximum;
    std::vector<std::string> items;
    std::vector<long> values;
};

struct Instance;

struct CardState {
    bool broken = false;
    bool unplugged = false;
    std::vector<Element> elements;
    std::vector<Instance*> instances;
};

struct Instance {
    snd_ctl_ext_t ext{};
    CardState* card = nullptr;
    int event = -1;
    bool subscribed = false;
    std::deque<unsigned> pending; // offsets of changed elements
};

std::mutex stateMutex;
std::map<std::string, CardState> cards;

std::vector<Element> makeLayout(const std::string& layout, const std::string& source)
{
    const int integer = SND_CTL_ELEM_TYPE_INTEGER, boolean = SND_CTL_ELEM_TYPE_BOOLEAN;
    if (layout == "switches") {
        return {
            {"Mic Capture Volume", integer, 1, 0, 31, {}, {31}},
            {"Mic Capture Switch", boolean, 1, 0, 1, {}, {1}},
            {"Line Capture Volume", integer, 2, 0, 31, {}, {31, 31}},
            {"Line Capture Switch", boolean, 2, 0, 1, {}, {0, 0}},
            {"Capture Volume", integer, 2, 0, 63, {}, {63, 63}},
            {"Capture Switch", boolean, 2, 0, 1, {}, {1, 1}},
        };
    }
    return {
        {"Capture Volume", integer, 2, 0, 63, {}, {63, 63}},
        {"Capture Switch", boolean, 2, 0, 1, {}, {1, 1}},
        {source, SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0, 2, {"Mic", "Line", "CD"}, {0}},
    };
}

Instance* self(snd_ctl_ext_t* ext)
{
    return static_cast<Instance*>(ext->private_data);
}

const Element& element(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key)
{
    return self(ext)->card->elements.at(key);
}

int elemCount(snd_ctl_ext_t* ext)
{
    return int(self(ext)->card->elements.size());
}

int elemList(snd_ctl_ext_t* ext, unsigned offset, snd_ctl_elem_id_t* id)
{
    if (self(ext)->card->broken)
        return -EIO;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, self(ext)->card->elements.at(offset).name.c_str());
    return 0;
}

snd_ctl_ext_key_t findElem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id)
{
    const auto& elements = self(ext)->card->elements;
    const unsigned numid = snd_ctl_elem_id_get_numid(id);
    if (numid > 0 && numid <= elements.size())
        return numid - 1;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].name == snd_ctl_elem_id_get_name(id))
            return i;
    }
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

int getAttribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned* access,
                 unsigned* count)
{
    const Element& e = element(ext, key);
    *type = e.type;
    *access = SND_CTL_EXT_ACCESS_READWRITE;
    *count = e.count;
    return 0;
}

int getIntegerInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* minimum, long* maximum,
                   long* step)
{
    const Element& e = element(ext, key);
    *minimum = e.minimum;
    *maximum = e.maximum;
    *step = 1;
    return 0;
}

int getEnumeratedInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items)
{
    *items = unsigned(element(ext, key).items.size());
    return 0;
}

int getEnumeratedName(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned item, char* name,
                      size_t length)
{
    const Element& e = element(ext, key);
    if (item >= e.items.size())
        return -EINVAL;
    std::snprintf(name, length, "%s", e.items[item].c_str());
    return 0;
}

int readInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* values)
{
    std::lock_guard lock(stateMutex);
    const Element& e = element(ext, key);
    std::copy(e.values.begin(), e.values.end(), values);
    return 0;
}

int readEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items)
{
    std::lock_guard lock(stateMutex);
    const Element& e = element(ext, key);
    for (unsigned i = 0; i < e.count; ++i)
        items[i] = unsigned(e.values[i]);
    return 0;
}

// Stores new values; when they differ, every subscribed handle of the card hears of it.
int store(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, const std::vector<long>& values)
{
    std::lock_guard lock(stateMutex);
    CardState* card = self(ext)->card;
    Element& e = card->elements.at(key);
    for (long v : values) {
        if (v < e.minimum || v > e.maximum)
            return -EINVAL;
    }
    if (e.values == values)
        return 0;
    e.values = values;
    for (Instance* instance : card->instances) {
        if (!instance->subscribed)
            continue;
        instance->pending.push_back(unsigned(key));
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(instance->event, &one, sizeof one);
    }
    return 1;
}

int writeInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* values)
{
    return store(ext, key, std::vector<long>(values, values + element(ext, key).count));
}

int writeEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items)
{
    return store(ext, key, std::vector<long>(items, items + element(ext, key).count));
}

void subscribeEvents(snd_ctl_ext_t* ext, int subscribe)
{
    std::lock_guard lock(stateMutex);
    self(ext)->subscribed = subscribe != 0;
}

int readEvent(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned* mask)
{
    std::lock_guard lock(stateMutex);
    Instance* instance = self(ext);
    // A card that is gone fails its reads, as the kernel's control device does.
    if (instance->card->unplugged)
        return -ENODEV;
    if (instance->pending.empty()) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = read(instance->event, &count, sizeof count);
        return -EAGAIN;
    }
    const unsigned offset = instance->pending.front();
    instance->pending.pop_front();
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_numid(id, offset + 1);
    snd_ctl_elem_id_set_name(id, instance->card->elements.at(offset).name.c_str());
    *mask = SND_CTL_EVENT_MASK_VALUE;
    return 1;
}

void closeInstance(snd_ctl_ext_t* ext)
{
    Instance* instance = self(ext);
    {
        std::lock_guard lock(stateMutex);
        auto& list = instance->card->instances;
        list.erase(std::remove(list.begin(), list.end(), instance), list.end());
    }
    close(instance->event);
    delete instance;
}

const snd_ctl_ext_callback_t callbacks = [] {
    snd_ctl_ext_callback_t c{};
    c.close = closeInstance;
    c.elem_count = elemCount;
    c.elem_list = elemList;
    c.find_elem = findElem;
    c.get_attribute = getAttribute;
    c.get_integer_info = getIntegerInfo;
    c.get_enumerated_info = getEnumeratedInfo;
    c.get_enumerated_name = getEnumeratedName;
    c.read_integer = readInteger;
    c.read_enumerated = readEnumerated;
    c.write_integer = writeInteger;
    c.write_enumerated = writeEnumerated;
    c.subscribe_events = subscribeEvents;
    c.read_event = readEvent;
    return c;
}();

} // namespace

extern "C" {

SND_CTL_PLUGIN_DEFINE_FUNC(dravik_test)
{
    (void)root;
    std::string layout = "mux", source = "Capture Source", stateName = "default", broken;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id = nullptr;
        const char* text = nullptr;
        if (snd_config_get_id(n, &id) < 0 || snd_config_get_string(n, &text) < 0)
            continue;
        if (std::strcmp(id, "layout") == 0)
            layout = text;
        else if (std::strcmp(id, "source") == 0)
            source = text;
        else if (std::strcmp(id, "state") == 0)
            stateName = text;
        else if (std::strcmp(id, "broken") == 0)
            broken = text;
    }

    auto* instance = new Instance;
    instance->event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    {
        std::lock_guard lock(stateMutex);
        CardState& card = cards[stateName];
        if (card.elements.empty())
            card.elements = makeLayout(layout, source);
        card.broken = broken == "true";
        card.instances.push_back(instance);
        instance->card = &card;
    }
    snd_ctl_ext_t& ext = instance->ext;
    ext.version = SND_CTL_EXT_VERSION;
    ext.card_idx = 0;
    std::strcpy(ext.id, "DravikTest");
    std::strcpy(ext.driver, "dravik_test");
    std::strcpy(ext.name, "Dravik Test Card");
    std::strcpy(ext.longname, "Dravik Test Card");
    std::strcpy(ext.mixername, "Dravik Test Mixer");
    ext.poll_fd = instance->event;
    ext.callback = &callbacks;
    ext.private_data = instance;
    const int err = snd_ctl_ext_create(&ext, name, mode);
    if (err < 0) {
        closeInstance(&ext);
        return err;
    }
    *handlep = ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(dravik_test)

__attribute__((visibility("default"))) void dravikTestUnplug(const char* state)
{
    std::lock_guard lock(stateMutex);
    auto it = cards.find(state);
    if (it == cards.end())
        return;
    it->second.unplugged = true;
    for (Instance* instance : it->second.instances) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(instance->event, &one, sizeof one);
    }
}

} // extern "C"
