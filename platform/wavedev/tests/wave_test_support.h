// Helpers shared by the tests of the wave device layer and of the engine: formats, the data chunk
// of a WAV file, and an ALSA configuration whose default PCM works without sound hardware.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/records.h"

namespace wavetest {

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

// Makes ALSA's default PCM a file plugin over the null plugin that captures from in.raw and plays
// into out.raw in dir, through ALSA_CONFIG_PATH (read afresh by ALSA at the next open).
inline void useAlsaFilePlugin(const std::filesystem::path& dir)
{
    std::ofstream config(dir / "asound.conf");
    config << "pcm.!default {\n  type file\n  slave.pcm \"nullpcm\"\n"
           << "  file \"" << (dir / "out.raw").string() << "\"\n"
           << "  infile \"" << (dir / "in.raw").string() << "\"\n"
           << "  format \"raw\"\n}\npcm.nullpcm { type null }\n";
    config.close();
    setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
}

} // namespace wavetest
