// Writes a FLAC file through libFLAC's stream encoder at compression level 5, with the capture
// format's rate, bits (16 or 24) and channels. Each encoded frame goes into the file as soon as
// the encoder gives it, so a process killed while recording leaves every whole frame behind;
// the header's length and MD5 are completed at the close (a reader meeting a header that was
// never completed plays the frames anyway).
#pragma once

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <vector>

#include "file_writer.h"
#include "platform/mmio.h"
#include "platform/records.h"

namespace file {

class FlacWriter : public FileWriter {
public:
    FlacWriter() = default;
    ~FlacWriter() override { close(); }
    FlacWriter(const FlacWriter&) = delete;
    FlacWriter& operator=(const FlacWriter&) = delete;

    // False when the format is not 16- or 24-bit mono or stereo PCM (no file is made then), the
    // encoder refuses it or the file cannot be created.
    bool open(const char* path, const WAVEFORMATEX& format);
    // One block of interleaved little-endian samples; false when the encoder or the file fails.
    bool write(const void* bytes, uint32_t count);
    bool close();
    bool isOpen() const override { return file_ != nullptr; }

    bool writeBlock(const void* bytes, uint32_t count) override { return write(bytes, count); }
    bool finish() override { return close(); }

private:
    struct Callbacks;
    void release();

    FLAC__StreamEncoder* encoder_ = nullptr;
    FLAC__StreamMetadata* tags_ = nullptr;
    platform::HMMIO file_ = nullptr;
    uint16_t channels_ = 0;
    uint16_t bytesPerSample_ = 0;
    // The block's samples widened to 32 bits: room for a second of sound, made at the open.
    std::vector<int32_t> samples_;
};

} // namespace file
