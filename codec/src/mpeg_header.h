// The first MPEG audio frame of a file: the sync search and the header fields the set-up uses.
#pragma once

#include <cstdint>
#include <optional>

namespace codec {

// Offset of the first byte pair 0xFF, 0xE0-or-more at or after `start`, or -1.
int64_t findFrameSync(int file, int64_t start);
// Length of an ID3v2 tag at the start of the file (0 when there is none).
int64_t id3v2TagLength(int file);

struct MpegHeader {
    int version = 0; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int kbps = 0;
    int sampleRate = 0;
    int channels = 0;
};

// The fields of a Layer III header; nothing for a reserved version, another layer, a free-format
// or bad bit rate, or a reserved sampling frequency.
std::optional<MpegHeader> parseHeader(const uint8_t bytes[4]);

} // namespace codec
