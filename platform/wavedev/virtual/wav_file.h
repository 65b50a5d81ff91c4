// The virtual card's own WAV handling: capturing a PCM WAV file in a loop, read as it plays and
// converted to the capture layout, and writing what is played into a WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "../src/backend.h"

namespace platform::wavedev {

double decodeSample(const uint8_t* at, uint32_t bytesPerSample);
void encodeSample(double value, uint8_t* at, uint32_t bytesPerSample);

// A PCM WAV file captured in a loop, read from the disk as it plays so that memory stays the same
// whatever the file's length, and converted to the capture layout on the way: another rate by
// linear interpolation, mono duplicated or stereo averaged, another sample size.
class WavFileLoop {
public:
    WavFileLoop() = default;
    ~WavFileLoop();
    WavFileLoop(const WavFileLoop&) = delete;
    WavFileLoop& operator=(const WavFileLoop&) = delete;

    // Reads the file's format and finds its data; false with the reason when it is no PCM WAV
    // file or holds no sound.
    bool open(const std::string& path, const SampleLayout& target, std::string& error);
    // Fills frames frames of the capture layout, going on where the last call ended and starting
    // over at the end of the sound. A read that fails gives silence for what it could not read.
    void read(uint8_t* out, size_t frames);

private:
    bool sameLayout() const;
    // Makes source frames [frame, frame + 1] available in window_.
    const uint8_t* sourceFrame(uint64_t frame);
    void readSource(uint8_t* into, uint64_t frame, size_t frames);
    double sampleAt(uint64_t frame, uint32_t channel);

    int fd_ = -1;
    SampleLayout from_;
    SampleLayout to_;
    int64_t dataOffset_ = 0;
    uint64_t sourceFrames_ = 0;
    uint64_t loopFrames_ = 0; // frames of the capture layout in one pass of the sound
    uint64_t at_ = 0;         // the next of those frames
    // Source frames read from the disk ahead of the position, a window at a time.
    std::vector<uint8_t> window_;
    uint64_t windowStart_ = 0;
    size_t windowFrames_ = 0;
};

// Writes a WAV file: the header at creation, the data as it comes, the sizes at the end.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    bool create(const std::string& path, const WAVEFORMATEXTENSIBLE& format);
    bool write(const uint8_t* data, size_t bytes);
    void finish();

private:
    std::FILE* file_ = nullptr;
    long dataSizeAt_ = 0;
    uint64_t dataBytes_ = 0;
};

} // namespace platform::wavedev
