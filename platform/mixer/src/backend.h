// What a mixer backend provides: its devices and, for an open device, the lines and controls it
// presents and the reading and writing of control values. The front end (mixer.cpp) checks the
// callers' records and fills them; a backend only describes and moves values.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mixer.h"

namespace platform::mixerdev {

struct Control {
    uint32_t id = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    uint32_t items = 0; // list controls: one item per source line, in the source lines' order
    uint32_t maximum = 0;
    uint32_t steps = 0;
    std::string name;
};

struct Line {
    uint32_t id = 0;
    uint32_t componentType = 0;
    uint32_t channels = 0;
    std::string name;
    std::vector<Control> controls;
};

// Line ids: the destination's and each source's (source n of destination 0).
constexpr uint32_t kDestinationLineId = 0xFFFF0000;
constexpr uint32_t sourceLineId(uint32_t source)
{
    return source << 16;
}

// An open mixer device with one destination, the recording destination.
class OpenMixer {
public:
    virtual ~OpenMixer() = default;

    const Line& destination() const { return destination_; }
    const std::vector<Line>& sources() const { return sources_; }

    // Values of a control: for a list control one per item (channels is 1); otherwise one per
    // channel, where one channel stands for all of them (a read gives the first, a write sets
    // every channel). Switches and list items are 0 or 1.
    virtual MMRESULT read(const Control& control, uint32_t channels,
                          std::vector<uint32_t>& values) = 0;
    virtual MMRESULT write(const Control& control, uint32_t channels,
                           const std::vector<uint32_t>& values) = 0;

    virtual int pollDescriptors(pollfd* fds, int space) = 0;
    // Adds the ids of the controls that changed since the last call; false when the device is
    // gone and its descriptors will report nothing more.
    virtual bool takeChanges(std::vector<uint32_t>& controlIds) = 0;

protected:
    Line destination_;
    std::vector<Line> sources_;
};

struct Device {
    std::string productName;
    std::function<std::unique_ptr<OpenMixer>(MMRESULT& error)> open;
};

// The virtual card's mixer, when DRAVIK_AUDIO switches the card on.
std::vector<Device> virtualDevices();
// The default device's mixer when ALSA's default is not one of the cards, then one per card.
std::vector<Device> alsaDevices();

// Copies a name into a fixed field, cut to fit with its terminating zero.
template <size_t N> void copyName(char (&field)[N], const std::string& name)
{
    const size_t n = name.size() < N - 1 ? name.size() : N - 1;
    name.copy(field, n);
    field[n] = 0;
}

} // namespace platform::mixerdev
