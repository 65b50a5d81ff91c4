// Reads an MP3 file for playback through the codec library: one compressed chunk per fill,
// converted to PCM; PCM that does not fit the engine's buffer waits for the next fill.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/records.h"
#include "read_file.h"

namespace file {

class Mp3Reader {
public:
    // Chunks per second asked of the codec.
    static constexpr uint32_t kChunksPerSecond = 11;

    bool open(const char* path, uint32_t* decompressedSize, WAVEFORMATEX* format);
    bool close();
    bool isOpen() const { return file_.isOpen(); }
    // Starts the decoder afresh and positions the file at a byte of the compressed file.
    bool playStart(uint64_t offset);
    void fill(FillRequest& request);
    uint64_t position() const { return file_.position(); }
    uint64_t dataSize() const { return file_.length(); }

private:
    bool setUp(WAVEFORMATEX* format, uint32_t* decompressedSize);

    ReadFile file_;
    uint64_t firstFrame_ = 0;
    std::vector<uint8_t> compressed_;
    std::vector<uint8_t> pcm_;
    uint32_t pcmStart_ = 0;
    uint32_t pcmLength_ = 0;
};

} // namespace file
