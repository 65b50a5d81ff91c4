// The virtual card's mixer state in a memfd that every copy of this code in the process finds
// through /proc/self/fd by the object's name, and the gain step of the card's capture.
#include "virtual_mixer.h"

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "wav_file.h"

namespace platform::wavedev {

namespace {

constexpr char kObjectName[] = "dravik-virtual-mixer";
constexpr uint32_t kMagic = 0x44564d31; // "DVM1"

static_assert(std::atomic<uint32_t>::is_always_lock_free, "shared words must be lock-free");

// The lowest descriptor of this process that holds the named memfd, or -1.
int findObject()
{
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    const std::string wanted = std::string("/memfd:") + kObjectName + " (deleted)";
    int found = -1;
    while (dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 0 && std::strcmp(entry->d_name, "0") != 0)
            continue;
        char target[PATH_MAX];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = 0;
        if (wanted == target && (found < 0 || fd < found))
            found = fd;
    }
    closedir(dir);
    return found;
}

VirtualMixerState* mapObject(int fd)
{
    void* at = mmap(nullptr, sizeof(VirtualMixerState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return at == MAP_FAILED ? nullptr : static_cast<VirtualMixerState*>(at);
}

// Creates the object with its starting state written before any other copy can see it whole: a
// copy that finds it before the magic word is set waits for it.
int createObject()
{
    const int fd = memfd_create(kObjectName, MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    if (ftruncate(fd, sizeof(VirtualMixerState)) != 0) {
        close(fd);
        return -1;
    }
    VirtualMixerState* state = mapObject(fd);
    if (!state) {
        close(fd);
        return -1;
    }
    state->selected = 1u; // Microphone
    for (int source = 0; source < kVirtualSources; ++source) {
        state->volume[source][0] = kVirtualVolumeMax;
        state->volume[source][1] = kVirtualVolumeMax;
        state->muted[source] = 0;
    }
    std::atomic_ref<uint32_t>(state->magic).store(kMagic, std::memory_order_release);
    munmap(state, sizeof(VirtualMixerState));
    return fd;
}

VirtualMixerState* attach()
{
    int fd = findObject();
    if (fd < 0) {
        // The descriptor stays open for the life of the process: it is how other copies find it.
        if (createObject() < 0)
            return nullptr;
        // Two copies creating at once both settle on the lowest descriptor.
        fd = findObject();
        if (fd < 0)
            return nullptr;
    }
    VirtualMixerState* state = mapObject(fd);
    if (!state)
        return nullptr;
    for (int wait = 0; wait < 1000; ++wait) {
        if (std::atomic_ref<uint32_t>(state->magic).load(std::memory_order_acquire) == kMagic)
            return state;
        usleep(1000);
    }
    return nullptr;
}

} // namespace

VirtualMixerState* virtualMixerState()
{
    static std::once_flag once;
    static VirtualMixerState* state = nullptr;
    std::call_once(once, [] { state = attach(); });
    return state;
}

void applyVirtualMixer(uint8_t* data, uint32_t frames, const SampleLayout& layout)
{
    VirtualMixerState* state = virtualMixerState();
    if (!state)
        return;
    const uint32_t selected = state->selected.load(std::memory_order_relaxed);
    double gain[2] = {0.0, 0.0};
    for (int source = 0; source < kVirtualSources; ++source) {
        if (!(selected & (1u << source)) || state->muted[source].load(std::memory_order_relaxed))
            continue;
        // The sources are mixed: with several selected their levels add up.
        for (int side = 0; side < 2; ++side)
            gain[side] += double(state->volume[source][side].load(std::memory_order_relaxed)) /
                          kVirtualVolumeMax;
    }
    if (layout.channels == 1)
        gain[0] = gain[1] = (gain[0] + gain[1]) / 2;
    if (gain[0] == 1.0 && gain[1] == 1.0)
        return;
    const uint32_t bytes = layout.bytesPerSample;
    if (bytes == 2) {
        // The usual capture layout, scaled in fixed point.
        const int32_t scale[2] = {int32_t(gain[0] * 65536.0), int32_t(gain[1] * 65536.0)};
        auto* samples = reinterpret_cast<int16_t*>(data);
        for (uint32_t frame = 0; frame < frames; ++frame) {
            for (uint32_t channel = 0; channel < layout.channels; ++channel, ++samples) {
                const int64_t v = (int64_t(*samples) * scale[channel < 2 ? channel : 1]) >> 16;
                *samples = int16_t(std::clamp<int64_t>(v, -32768, 32767));
            }
        }
        return;
    }
    for (uint32_t frame = 0; frame < frames; ++frame) {
        uint8_t* at = data + size_t(frame) * layout.frameBytes();
        for (uint32_t channel = 0; channel < layout.channels; ++channel, at += bytes)
            encodeSample(decodeSample(at, bytes) * gain[channel < 2 ? channel : 1], at, bytes);
    }
}

} // namespace platform::wavedev
