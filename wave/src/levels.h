// The level meter and block size shared by capture and playback.
#pragma once

#include <cstdint>

#include "platform/records.h"
#include "platform/wavedev.h"

namespace brevon::wave {

// One block: nBlockAlign x (rate / 25) bytes, 40 ms when the rate is a multiple of 25.
inline uint32_t blockBytes(const WAVEFORMATEX& format)
{
    return uint32_t(format.nBlockAlign) * (format.nSamplesPerSec / 25);
}

// The engine's own copy of a caller's format: the 18 bytes, and for an extensible format its
// extension too, which the device needs to know the sub-format.
platform::WAVEFORMATEXTENSIBLE engineFormat(const WAVEFORMATEX* format);

// Steady-clock time in nanoseconds, for the benchmark's figures.
uint64_t nowNanos();

// Resets and closes a device, resetting again while a buffer queued by a late handler keeps the
// close from succeeding. False when the device would not close.
bool resetAndClose(platform::HWAVEIN device);
bool resetAndClose(platform::HWAVEOUT device);

// Peaks of a block. Samples are taken in pairs, the first to left and the second to right (for
// mono right = left, so only every other sample counts). 16-bit: magnitudes, where -32768 never
// counts; 8-bit: (b - 128) x 255, so only the positive half-wave counts; other sizes: 0.
void measureLevels(const uint8_t* data, uint32_t length, const WAVEFORMATEX& format,
                   LevelBlock& levels);

} // namespace brevon::wave
