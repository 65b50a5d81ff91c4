// Writes an Ogg Opus file through libopusenc at a bit rate, resampling from the capture rate
// itself. Ogg pages go into the file at least every half second of sound (the encoder looks at
// most 0.2 s ahead), so a process killed while recording leaves a file that plays to within
// about a second of its end.
#pragma once

#include <cstdint>

#include "file_writer.h"
#include "platform/mmio.h"
#include "platform/records.h"

struct OggOpusEnc;

namespace file {

class OpusWriter : public FileWriter {
public:
    OpusWriter() = default;
    ~OpusWriter() override { close(); }
    OpusWriter(const OpusWriter&) = delete;
    OpusWriter& operator=(const OpusWriter&) = delete;

    // False when the format is not 16-bit mono or stereo PCM or the bit rate is not 1..512 (no
    // file is made then), the encoder refuses them, or the file cannot be created.
    bool open(const char* path, const WAVEFORMATEX& format, int kbps);
    bool write(const void* bytes, uint32_t count);
    bool close();
    bool isOpen() const override { return file_ != nullptr; }

    bool writeBlock(const void* bytes, uint32_t count) override { return write(bytes, count); }
    bool finish() override { return close(); }

private:
    static int writePage(void* data, const unsigned char* bytes, int32_t length);
    static int closeStream(void* data);
    void release();

    OggOpusEnc* encoder_ = nullptr;
    platform::HMMIO file_ = nullptr;
    int channels_ = 0;
    // A page the file could not take: the encoder is not told (it would stop), the write fails.
    bool pageLost_ = false;
    bool soundWritten_ = false;
};

} // namespace file
