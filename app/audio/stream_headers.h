// What the first bytes of a FLAC or an Ogg file say about it, for the format caption and
// `dravik-cli info`: the player decodes these files to 16-bit PCM, which hides a FLAC file's own
// sample size, and an .ogg file may hold Opus or another codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace headers {

struct FlacStreamInfo {
    uint32_t sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    // 0 when the header was never completed (a take cut off while recording).
    uint64_t totalSamples = 0;
};

// From the start of a file: "fLaC" and its STREAMINFO block; empty when the bytes are not that.
std::optional<FlacStreamInfo> flacStreamInfo(const uint8_t* bytes, size_t size);
std::optional<FlacStreamInfo> readFlacStreamInfo(const std::string& path);
// Whether the bytes begin an Ogg stream whose first packet is an Opus header.
bool isOggOpus(const uint8_t* bytes, size_t size);
bool fileIsOggOpus(const std::string& path);

} // namespace headers
