// How the ALSA backend sets up a PCM: the sample format, and how much sound the card holds and in
// what steps it hands it over.
#pragma once

#include <alsa/asoundlib.h>

namespace platform::wavedev {

// Capture keeps half a second in the card, so that a slow consumer does not lose sound at once,
// and moves it in periods of about 20 ms, so that each 40-ms block is handed on as soon as it is
// whole. Playback keeps 100 ms, so that pause and stop are heard promptly. Negative: ALSA's error.
int setPcmParams(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned channels, unsigned rate,
                 bool capture);

} // namespace platform::wavedev
