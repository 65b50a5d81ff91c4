// What a backend of the wave device layer provides: a list of devices and, for an open device,
// a stream that moves frames in blocking steps. The front end (device.cpp) owns buffers, queues,
// flags and callbacks; a backend only moves sound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wavedev.h"

namespace platform::wavedev {

enum class Direction { Capture, Playback };

// The result of one transfer step.
struct Transfer {
    uint32_t frames = 0; // frames moved
    bool gap = false;    // sound was lost before this step (overrun / underrun recovered)
    bool failed = false; // the device is gone; nothing more will move
    MMRESULT error = MMSYSERR_NOERROR;
};

// An open stream. All calls come from the one device thread of its handle.
class PcmStream {
public:
    virtual ~PcmStream() = default;
    // Frames moved per step; the front end never asks for more at once.
    virtual uint32_t chunkFrames() const = 0;
    // Blocking capture of up to frames frames into data (at the pace of the device).
    virtual Transfer read(uint8_t* data, uint32_t frames) = 0;
    // Blocking playback of frames frames from data.
    virtual Transfer write(const uint8_t* data, uint32_t frames) = 0;
    // Capture begins or playback resumes after a pause: the pace counts from now.
    virtual void resume() {}
    // Capture stops or playback pauses.
    virtual void pause() {}
    // Discards sound buffered in the device (a reset).
    virtual void drop() {}
    // Plays out what is buffered (a close after playing).
    virtual void drain() {}
    // Frames written but not yet heard.
    virtual uint64_t delayFrames() { return 0; }
    // Whether the device thread should run at the highest priority (a stream at the pace of the
    // sound); a stream that runs as fast as it can would take the machine's cores at that priority.
    virtual bool timeCritical() const { return true; }
};

// One device as the API lists it.
struct DeviceEntry {
    std::string productName;
    // Opens a stream in the given (already checked) format; nullptr with the error set.
    virtual std::unique_ptr<PcmStream> open(Direction direction, const WAVEFORMATEXTENSIBLE& format,
                                            MMRESULT& error) const = 0;
    virtual ~DeviceEntry() = default;
};

using DeviceList = std::vector<std::shared_ptr<const DeviceEntry>>;

// The backends' device lists for one direction. The mapper entry is the device that
// WAVE_MAPPER names.
DeviceList alsaDevices(Direction direction);
std::shared_ptr<const DeviceEntry> alsaMapper();
// The name of what ALSA's default control device is when it is not a card (a sound server, or a
// plugin of the user's configuration); empty when it is a card or does not open.
std::string alsaDefaultServer();
// Empty when DRAVIK_AUDIO does not switch the virtual card on.
std::shared_ptr<const DeviceEntry> virtualCard();

// A device's close was left behind, still running: what it may hold is not given back at the end.
void noteAbandonedClose();

// Sample layout of a checked format.
struct SampleLayout {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bytesPerSample = 0;
    uint32_t frameBytes() const { return channels * bytesPerSample; }
};
SampleLayout layoutOf(const WAVEFORMATEXTENSIBLE& format);

} // namespace platform::wavedev
