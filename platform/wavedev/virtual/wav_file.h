// The virtual card's own WAV handling: reading a PCM WAV file into memory, converting PCM between
// layouts, and writing what is played into a WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "../src/backend.h"

namespace platform::wavedev {

// Interleaved PCM in a layout (8-bit unsigned, 16/24/32-bit signed little-endian).
struct PcmData {
    SampleLayout layout;
    std::vector<uint8_t> bytes;
};

double decodeSample(const uint8_t* at, uint32_t bytesPerSample);
void encodeSample(double value, uint8_t* at, uint32_t bytesPerSample);

// Reads the format and data chunks of a PCM WAV file; empty with the reason on failure.
std::optional<PcmData> readWavFile(const std::string& path, std::string& error);

// Converts to another rate (linear interpolation), channel count (mono is duplicated; stereo is
// averaged) and sample size. Same layout in and out gives the same bytes.
std::vector<uint8_t> convertPcm(const PcmData& source, const SampleLayout& target);
// The same, taking over the source's bytes when nothing needs converting.
std::vector<uint8_t> convertPcm(PcmData&& source, const SampleLayout& target);

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
