// Test helpers for the engine: callbacks that count and record what the engine hands over, the
// virtual card switch, formats and the number of threads in the process.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BrevonWave.h"

namespace enginetest {

inline WAVEFORMATEX pcm(uint32_t rate, uint16_t channels, uint16_t bits)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = uint16_t(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

inline size_t threadCount()
{
    size_t n = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Waits until condition holds, at most timeoutMs.
template <typename Condition> bool waitUntil(Condition condition, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The bytes of a WAV file's data chunk, found by walking the chunks.
inline std::vector<uint8_t> dataChunk(const std::vector<uint8_t>& file)
{
    for (size_t at = 12; at + 8 <= file.size();) {
        uint32_t size = 0;
        std::memcpy(&size, file.data() + at + 4, 4);
        if (std::memcmp(file.data() + at, "data", 4) == 0)
            return {file.begin() + long(at + 8),
                    file.begin() + long(std::min(file.size(), at + 8 + size))};
        at += 8 + size + (size & 1);
    }
    return {};
}

inline void setAudio(const std::string& value)
{
    setenv("DRAVIK_AUDIO", value.c_str(), 1);
}

} // namespace enginetest
