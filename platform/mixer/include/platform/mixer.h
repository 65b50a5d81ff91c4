// The mixer devices: their number and product names. A mixer and the wave devices of the same
// card carry the same product name, which is how the recorder finds the card to record from.
// With DRAVIK_AUDIO set to "virtual..." the virtual card's mixer is device 0.
#pragma once

#include <cstdint>

namespace platform {

struct MIXERCAPS {
    char szPname[32];
};

uint32_t mixerGetNumDevs();
// MMSYSERR_NOERROR (0), or MMSYSERR_BADDEVICEID (2) for a number that names no mixer.
uint32_t mixerGetDevCaps(uint32_t mixerId, MIXERCAPS* caps);

} // namespace platform
