// Reads a WAV file for playback: the format from its format chunk, the sound from its data
// chunk only (or to the end of a file cut short).
#pragma once

#include <cstdint>

#include "platform/records.h"
#include "read_file.h"

namespace file {

class WavReader {
public:
    // False for a file that cannot be opened, is not RIFF WAVE, has no usable format chunk
    // (0 channels, block alignment or byte rate; cut off) or no data chunk.
    bool open(const char* path, WAVEFORMATEX* format);
    bool close() { return file_.close(); }
    bool isOpen() const { return file_.isOpen(); }
    // Positions the file `offset` bytes into the sound, rounded down to a sample frame.
    bool playStart(uint64_t offset);
    void fill(FillRequest& request);
    uint64_t position() const { return file_.position(); }
    uint64_t dataSize() const { return dataEnd_ - dataOffset_; }
    uint32_t avgBytesPerSec() const { return format_.nAvgBytesPerSec; }

private:
    ReadFile file_;
    WAVEFORMATEX format_{};
    uint64_t dataOffset_ = 0;
    uint64_t dataEnd_ = 0;
};

} // namespace file
