// Peak levels of a block of PCM, for the capture and playback meters.
#include "levels.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

namespace brevon::wave {

platform::WAVEFORMATEXTENSIBLE engineFormat(const WAVEFORMATEX* format)
{
    platform::WAVEFORMATEXTENSIBLE copy{};
    const bool extended = format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= 22;
    std::memcpy(&copy, format, extended ? sizeof copy : sizeof(WAVEFORMATEX));
    return copy;
}

namespace {

template <typename Handle, typename Reset, typename Close>
bool resetAndCloseWith(Handle device, Reset reset, Close close)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        reset(device);
        if (close(device) != platform::WAVERR_STILLPLAYING)
            return true;
        std::this_thread::yield();
    }
    return false;
}

} // namespace

uint64_t nowNanos()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

bool resetAndClose(platform::HWAVEIN device)
{
    return resetAndCloseWith(device, platform::waveInReset, platform::waveInClose);
}

bool resetAndClose(platform::HWAVEOUT device)
{
    return resetAndCloseWith(device, platform::waveOutReset, platform::waveOutClose);
}

namespace {

// The magnitude of a little-endian 16-bit sample, 0..32767: -32768 has no 16-bit magnitude and
// counts as 0.
inline int16_t magnitude16(const uint8_t* at)
{
    int16_t sample = 0;
    std::memcpy(&sample, at, 2);
    if constexpr (std::endian::native == std::endian::big)
        sample = int16_t(uint16_t(sample) >> 8 | uint16_t(sample) << 8);
    const auto negated = int16_t(-int32_t(sample)); // -32768 stays -32768
    const int16_t magnitude = sample < 0 ? negated : sample;
    return magnitude < 0 ? int16_t(0) : magnitude;
}

} // namespace

void measureLevels(const uint8_t* data, uint32_t length, const WAVEFORMATEX& format,
                   LevelBlock& levels)
{
    uint32_t peaks[2] = {0, 0};
    if (format.wBitsPerSample == 16) {
        // One branch-free pass over the pairs that the compiler vectorizes: every block of every
        // recording goes through here. Magnitudes stay in int16_t, whose maximum SSE2 has.
        const size_t pairs = length / 4;
        int16_t first = 0, second = 0;
        for (size_t i = 0; i < pairs; ++i) {
            first = std::max(first, magnitude16(data + i * 4));
            second = std::max(second, magnitude16(data + i * 4 + 2));
        }
        if (length % 4 >= 2)
            first = std::max(first, magnitude16(data + pairs * 4));
        peaks[0] = uint32_t(first);
        peaks[1] = uint32_t(second);
    } else if (format.wBitsPerSample == 24) {
        // The top 16 bits of each sample, so that a 24-bit capture meters (and opens the VOX
        // gate) as the same sound in 16 bits does.
        const uint32_t frameBytes = format.nChannels == 1 ? 3u : 6u;
        int16_t first = 0, second = 0;
        for (uint32_t at = 0; at + frameBytes <= length; at += frameBytes) {
            first = std::max(first, magnitude16(data + at + 1));
            if (frameBytes == 6)
                second = std::max(second, magnitude16(data + at + 4));
        }
        peaks[0] = uint32_t(first);
        peaks[1] = uint32_t(second);
    } else if (format.wBitsPerSample == 8) {
        for (uint32_t at = 0; at < length; ++at) {
            const int value = (int(data[at]) - 128) * 255;
            uint32_t& peak = peaks[at & 1];
            if (value > int(peak))
                peak = uint32_t(value);
        }
    }
    levels.left = peaks[0];
    levels.right = format.nChannels == 1 ? peaks[0] : peaks[1];
}

} // namespace brevon::wave
