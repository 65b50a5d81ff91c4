// FLAC and Ogg headers.
#include "stream_headers.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace headers {

namespace {

// The first bytes of a file (as many as there are, up to `count`).
std::vector<uint8_t> readStart(const std::string& path, size_t count)
{
    std::vector<uint8_t> bytes(count);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return {};
    bytes.resize(std::fread(bytes.data(), 1, count, file));
    std::fclose(file);
    return bytes;
}

} // namespace

std::optional<FlacStreamInfo> flacStreamInfo(const uint8_t* bytes, size_t size)
{
    // "fLaC", then a block header whose type (low 7 bits of its first byte) is 0 and whose
    // length is 34, then STREAMINFO: block sizes (4 bytes), frame sizes (6), and at byte 18
    // the rate (20 bits), channels - 1 (3), bits - 1 (5) and the sample count (36).
    if (!bytes || size < 42 || std::memcmp(bytes, "fLaC", 4) != 0 || (bytes[4] & 0x7F) != 0 ||
        bytes[5] != 0 || bytes[6] != 0 || bytes[7] != 34)
        return std::nullopt;
    const uint8_t* s = bytes + 8;
    FlacStreamInfo info;
    info.sampleRate = uint32_t(s[10]) << 12 | uint32_t(s[11]) << 4 | uint32_t(s[12]) >> 4;
    info.channels = ((s[12] >> 1) & 7) + 1;
    info.bitsPerSample = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
    info.totalSamples = uint64_t(s[13] & 0x0F) << 32 | uint64_t(s[14]) << 24 |
                        uint64_t(s[15]) << 16 | uint64_t(s[16]) << 8 | uint64_t(s[17]);
    if (info.sampleRate == 0)
        return std::nullopt;
    return info;
}

std::optional<FlacStreamInfo> readFlacStreamInfo(const std::string& path)
{
    const std::vector<uint8_t> start = readStart(path, 42);
    return flacStreamInfo(start.data(), start.size());
}

bool isOggOpus(const uint8_t* bytes, size_t size)
{
    // A first page: "OggS", its segment count at byte 26, the segment table, then the packet.
    if (!bytes || size < 27 || std::memcmp(bytes, "OggS", 4) != 0)
        return false;
    const size_t packet = 27 + size_t(bytes[26]);
    return size >= packet + 8 && std::memcmp(bytes + packet, "OpusHead", 8) == 0;
}

bool fileIsOggOpus(const std::string& path)
{
    const std::vector<uint8_t> start = readStart(path, 27 + 255 + 8);
    return isOggOpus(start.data(), start.size());
}

} // namespace headers
