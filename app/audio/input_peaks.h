// Peaks and full-scale samples of a captured block, measured from its samples on the capture
// thread: what the clip lamps and a take's summary are made of. A full-scale sample is one the
// input could not go past (16-bit: 32767 or -32768; 8-bit: 255 or 0), so a block that holds one
// has probably clipped.
#pragma once

#include <cstdint>

#include "platform/records.h"

struct BlockPeaks {
    // Per channel, left then right (right repeats left for mono): the largest magnitude on a
    // 0..32768 scale, and the samples at full scale.
    uint32_t peak[2] = {0, 0};
    uint32_t fullScale[2] = {0, 0};
};

// Other sample sizes give nothing.
BlockPeaks measureBlockPeaks(const uint8_t* data, uint32_t length, const WAVEFORMATEX& format);

// A peak on the 0..32768 scale in dB below full scale; -inf for 0.
double peakDbfs(uint32_t peak);
