// The virtual card's mixer state: which of its four sources feeds the capture, and each source's
// volume and mute. The mixer API changes it and the card's capture follows it. The program and the
// wave engine library each carry their own copy of this code, so the state lives in one shared
// memory object per process that every copy finds by its name.
#pragma once

#include <atomic>
#include <cstdint>

#include "../src/backend.h"

namespace platform::wavedev {

inline constexpr int kVirtualSources = 4;
inline constexpr const char* kVirtualSourceNames[kVirtualSources] = {"Microphone", "Line In",
                                                                     "CD Audio", "Stereo Mix"};
inline constexpr uint32_t kVirtualVolumeMax = 65535;

// Written by the mixer on the window thread, read by the capture on the device thread; every field
// is a word of its own, and a block uses whatever values it finds.
struct VirtualMixerState {
    uint32_t magic;
    std::atomic<uint32_t> selected;                   // bit n: source n feeds the capture
    std::atomic<uint32_t> volume[kVirtualSources][2]; // left, right: 0..kVirtualVolumeMax
    std::atomic<uint32_t> muted[kVirtualSources];
};

// The process's state, created (Microphone selected, every volume full, nothing muted) on first
// use; null only when the system refuses shared memory, and the capture then runs at full level.
VirtualMixerState* virtualMixerState();

// Scales captured frames by the selected source's volume; silence when it is muted or no source
// is selected. Leaves the frames as they are at full volume.
void applyVirtualMixer(uint8_t* data, uint32_t frames, const SampleLayout& layout);

} // namespace platform::wavedev
