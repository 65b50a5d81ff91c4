// A user-space sound card for tests: writes an ALSA configuration whose default control device is
// the test plugin (test_ctl_plugin.cpp) in a given layout, and points ALSA at it while it lives.
// Each card has values of its own, so tests in one process do not see each other's changes.
#pragma once

#include <alsa/asoundlib.h>

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "testsupport/testsupport.h"

namespace mixertest {

class TestCard {
public:
    // layout "mux" (with source naming the enumeration) or "switches"; a broken card opens but its
    // mixer cannot be loaded.
    explicit TestCard(const std::string& layout, const std::string& source = "Capture Source",
                      bool broken = false)
    {
        static int serial = 0;
        const std::string state =
            "card" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        state_ = state;
        path_ = (dir_ / "asound.conf").string();
        std::ofstream(path_) << "ctl_type.dravik_test { lib \"" DRAVIK_TEST_CTL_PLUGIN "\" }\n"
                             << "ctl.default { type dravik_test layout \"" << layout
                             << "\" source \"" << source << "\" state \"" << state << "\" broken \""
                             << (broken ? "true" : "false") << "\" }\n";
        if (const char* old = std::getenv("ALSA_CONFIG_PATH"))
            old_ = old, had_ = true;
        setenv("ALSA_CONFIG_PATH", path_.c_str(), 1);
    }
    ~TestCard()
    {
        if (had_)
            setenv("ALSA_CONFIG_PATH", old_.c_str(), 1);
        else
            unsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
    }
    // Takes the card away, as an unplugged USB card goes.
    void unplug() const
    {
        void* plugin = dlopen(DRAVIK_TEST_CTL_PLUGIN, RTLD_NOW | RTLD_NOLOAD);
        if (!plugin)
            return;
        if (auto* unplugCard =
                reinterpret_cast<void (*)(const char*)>(dlsym(plugin, "dravikTestUnplug")))
            unplugCard(state_.c_str());
        dlclose(plugin);
    }

    TestCard(const TestCard&) = delete;
    TestCard& operator=(const TestCard&) = delete;

    // What another program (amixer, the desktop's sound settings) does: writes an element of the
    // card through a control handle of its own. Values per channel (items for an enumeration).
    static bool set(const std::string& element, std::initializer_list<long> values)
    {
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, "default", 0) < 0)
            return false;
        snd_ctl_elem_info_t* info;
        snd_ctl_elem_value_t* value;
        snd_ctl_elem_info_alloca(&info);
        snd_ctl_elem_value_alloca(&value);
        snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_info_set_name(info, element.c_str());
        bool ok = snd_ctl_elem_info(ctl, info) >= 0;
        if (ok) {
            snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
            snd_ctl_elem_value_set_name(value, element.c_str());
            const auto type = snd_ctl_elem_info_get_type(info);
            unsigned i = 0;
            for (long v : values) {
                if (type == SND_CTL_ELEM_TYPE_ENUMERATED)
                    snd_ctl_elem_value_set_enumerated(value, i++, unsigned(v));
                else if (type == SND_CTL_ELEM_TYPE_BOOLEAN)
                    snd_ctl_elem_value_set_boolean(value, i++, v);
                else
                    snd_ctl_elem_value_set_integer(value, i++, v);
            }
            ok = snd_ctl_elem_write(ctl, value) >= 0;
        }
        snd_ctl_close(ctl);
        return ok;
    }

    // Reads one value of an element (channel or enumeration index).
    static long get(const std::string& element, unsigned index = 0)
    {
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, "default", 0) < 0)
            return -1;
        snd_ctl_elem_info_t* info;
        snd_ctl_elem_value_t* value;
        snd_ctl_elem_info_alloca(&info);
        snd_ctl_elem_value_alloca(&value);
        snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_info_set_name(info, element.c_str());
        long result = -1;
        snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_value_set_name(value, element.c_str());
        if (snd_ctl_elem_info(ctl, info) >= 0 && snd_ctl_elem_read(ctl, value) >= 0) {
            const auto type = snd_ctl_elem_info_get_type(info);
            result = type == SND_CTL_ELEM_TYPE_ENUMERATED
                         ? long(snd_ctl_elem_value_get_enumerated(value, index))
                     : type == SND_CTL_ELEM_TYPE_BOOLEAN
                         ? long(snd_ctl_elem_value_get_boolean(value, index))
                         : snd_ctl_elem_value_get_integer(value, index);
        }
        snd_ctl_close(ctl);
        return result;
    }

private:
    testsupport::TempDir dir_;
    std::string state_;
    std::string path_;
    std::string old_;
    bool had_ = false;
};

} // namespace mixertest
