// Mixer devices: the virtual card's, then one per ALSA card, named by the card's name.
#include "platform/mixer.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/wavedev.h"

namespace platform {

namespace {

constexpr uint32_t kNoError = 0;
constexpr uint32_t kBadDeviceId = 2;

bool virtualCardOn()
{
    const char* audio = std::getenv("DRAVIK_AUDIO");
    return audio && std::strncmp(audio, "virtual", 7) == 0;
}

std::vector<std::string> mixerNames()
{
    std::vector<std::string> names;
    if (virtualCardOn())
        names.emplace_back(kVirtualCardName);
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char* name = nullptr;
        if (snd_card_get_name(card, &name) == 0 && name) {
            names.emplace_back(name);
            free(name);
        }
    }
    return names;
}

} // namespace

uint32_t mixerGetNumDevs()
{
    return static_cast<uint32_t>(mixerNames().size());
}

uint32_t mixerGetDevCaps(uint32_t mixerId, MIXERCAPS* caps)
{
    auto names = mixerNames();
    if (!caps || mixerId >= names.size())
        return kBadDeviceId;
    std::memset(caps, 0, sizeof *caps);
    std::strncpy(caps->szPname, names[mixerId].c_str(), sizeof caps->szPname - 1);
    return kNoError;
}

} // namespace platform
