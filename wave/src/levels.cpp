// Peak levels of a block of PCM, for the capture and playback meters.
#include "levels.h"

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

void measureLevels(const uint8_t* data, uint32_t length, const WAVEFORMATEX& format,
                   LevelBlock& levels)
{
    uint32_t peaks[2] = {0, 0};
    if (format.wBitsPerSample == 16) {
        for (uint32_t at = 0; at + 2 <= length; at += 2) {
            const auto sample = int16_t(uint16_t(data[at] | data[at + 1] << 8));
            if (sample == -32768)
                continue; // has no 16-bit magnitude
            const auto magnitude = uint32_t(sample < 0 ? -sample : sample);
            uint32_t& peak = peaks[(at / 2) & 1];
            if (magnitude > peak)
                peak = magnitude;
        }
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
