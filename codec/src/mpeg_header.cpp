// Frame search and header fields of MPEG audio Layer III.
#include "mpeg_header.h"

#include <unistd.h>

#include "platform/file_io.h"

namespace codec {

namespace {

// Layer III bit rates in kbit/s by index: MPEG-1, and MPEG-2 / 2.5 (the lower sampling rates).
constexpr int kMpeg1Rates[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kMpeg2Rates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

ssize_t readAt(int file, uint8_t* buffer, size_t count, int64_t offset)
{
    platform::IoResult result = platform::readAllAt(file, buffer, count, offset);
    return result.ok() ? static_cast<ssize_t>(result.bytes) : -1;
}

} // namespace

int64_t findFrameSync(int file, int64_t start)
{
    // Reads a block at a time; a 0xFF at the end of one block is matched against the first byte
    // of the next, so the result is that of a byte-by-byte search.
    uint8_t block[4096];
    bool previousWasFF = false;
    int64_t offset = start;
    for (;;) {
        ssize_t n = readAt(file, block, sizeof block, offset);
        if (n <= 0)
            return -1;
        for (ssize_t i = 0; i < n; ++i) {
            if (previousWasFF && block[i] >= 0xE0)
                return offset + i - 1;
            previousWasFF = block[i] == 0xFF;
        }
        offset += n;
    }
}

int64_t id3v2TagLength(int file)
{
    uint8_t header[10];
    if (readAt(file, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
        return 0;
    if (header[0] != 'I' || header[1] != 'D' || header[2] != '3' || header[3] == 0xFF ||
        header[4] == 0xFF)
        return 0;
    int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (header[i] & 0x80)
            return 0; // not a sync-safe size: not a tag
        size = size << 7 | header[i];
    }
    const bool footer = header[5] & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

std::optional<MpegHeader> parseHeader(const uint8_t bytes[4])
{
    const int version = (bytes[1] >> 3) & 3;
    const int layer = (bytes[1] >> 1) & 3;
    const int bitRateIndex = bytes[2] >> 4;
    const int sampling = (bytes[2] >> 2) & 3;
    const int channelMode = bytes[3] >> 6;
    if (version == 1 || layer != 1 || sampling == 3)
        return std::nullopt;
    MpegHeader header;
    header.version = version;
    header.kbps = version == 3 ? kMpeg1Rates[bitRateIndex] : kMpeg2Rates[bitRateIndex];
    if (header.kbps == 0)
        return std::nullopt; // free format or a bad index: no byte rate to read by
    static constexpr int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    header.sampleRate = kRates[version][sampling];
    header.channels = channelMode == 3 ? 1 : 2;
    return header;
}

} // namespace codec
