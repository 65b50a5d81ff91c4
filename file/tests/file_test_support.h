// Helpers shared by the file library's tests: little-endian fields, blocks handed over as the
// recorder hands them, RIFF files put together by hand, and a lowered file size limit.
#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BrevonFile.h"
#include "testsupport/testsupport.h"

namespace filetest {

inline uint32_t u32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

inline uint16_t u16(const std::vector<uint8_t>& b, size_t at)
{
    uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

inline bool writeBlock(const void* bytes, uint32_t count)
{
    WAVEHDR header{};
    header.lpData = static_cast<char*>(const_cast<void*>(bytes));
    header.dwBufferLength = count;
    header.dwBytesRecorded = count;
    return WriteWaveDataCallBackProc(&header);
}

inline WAVEFORMATEX pcmFormat(uint16_t channels, uint32_t rate, uint16_t bits)
{
    const auto align = static_cast<uint16_t>(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

inline void putChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& data,
                     uint32_t sizeField)
{
    out.insert(out.end(), id, id + 4);
    for (int b = 0; b < 4; ++b)
        out.push_back(static_cast<uint8_t>(sizeField >> (8 * b)));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1)
        out.push_back(0);
}

inline std::vector<uint8_t> formatBytes(const WAVEFORMATEX& f)
{
    std::vector<uint8_t> bytes(16);
    std::memcpy(bytes.data(), &f, 16);
    return bytes;
}

// RIFF WAVE made of the given chunks, its RIFF size from their length.
inline std::vector<uint8_t> riffWave(const std::vector<uint8_t>& chunks)
{
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    body.insert(body.end(), chunks.begin(), chunks.end());
    std::vector<uint8_t> file;
    putChunk(file, "RIFF", body, static_cast<uint32_t>(body.size()));
    return file;
}

} // namespace filetest
