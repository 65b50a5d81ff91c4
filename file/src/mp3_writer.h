// Writes an MP3 file through the system's LAME library, loaded by name when a file opens and
// freed when it closes: constant bit rate, each captured block one encode call, flushed at the
// close. The file is the encoder's output alone (no tag, no VBR header). The encoded frames are
// gathered and written every half second of sound, so a process killed while recording leaves a
// file that plays to within about half a second of its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_writer.h"
#include "platform/library.h"
#include "platform/mmio.h"
#include "platform/records.h"

struct lame_global_struct;

namespace file {

// What reaches the encoder for a capture format and bit rate.
struct EncoderSettings {
    int sampleRate = 0;
    int channels = 0;
    int mode = 0; // 3 mono, 0 stereo
    int kbps = 0;
    int quality = 0;
    bool crc = false;
    bool privateBit = false;
    bool copyright = false;
    bool original = false;
    bool vbrHeader = false;
    bool variableRate = false;
};

EncoderSettings encoderSettings(const WAVEFORMATEX& format, int kbps);

class Mp3Writer : public FileWriter {
public:
    static constexpr const char* kEncoderLibrary = "libmp3lame.so.0";

    Mp3Writer();
    ~Mp3Writer() override;
    Mp3Writer(const Mp3Writer&) = delete;
    Mp3Writer& operator=(const Mp3Writer&) = delete;

    // False when the encoder library is missing, the format is not 16-bit mono or stereo PCM,
    // the encoder refuses its settings, or the file cannot be created (then no file is left).
    bool open(const char* path, const WAVEFORMATEX& format, int kbps,
              const std::string& library = kEncoderLibrary);
    // Encodes one block of interleaved 16-bit samples; the MP3 bytes this call writes into the
    // file (the frames gathered since the last write, once they hold half a second) are added to
    // `mp3Bytes`. False when the encoder or the file write fails.
    bool write(const void* bytes, uint32_t count, uint64_t& mp3Bytes);
    bool close(uint64_t& mp3Bytes);
    bool isOpen() const override { return file_ != nullptr; }

    bool writeBlock(const void* bytes, uint32_t count) override;
    bool finish() override;

private:
    struct Lame;
    bool writeOut(uint64_t& mp3Bytes);
    void release();

    platform::Library library_;
    Lame* lame_;
    lame_global_struct* encoder_ = nullptr;
    platform::HMMIO file_ = nullptr;
    int channels_ = 0;
    // Encoded frames not yet in the file: output_[0, pending_), as the encode calls gave them
    // (pieces_), so that after a failed write the whole pieces that still fit can be written.
    std::vector<uint8_t> output_;
    size_t pending_ = 0;
    std::vector<uint32_t> pieces_;
    uint64_t pendingFrames_ = 0; // sound frames encoded since the last write
    uint64_t flushFrames_ = 0;   // half a second of them
};

} // namespace file
