// A small RIFF reader and writer of the virtual card's own: the platform layer does not depend on
// the program's file library.
#include "wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace platform::wavedev {

namespace {

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

double fullScale(uint32_t bytesPerSample)
{
    return std::ldexp(1.0, int(bytesPerSample * 8 - 1));
}

} // namespace

double decodeSample(const uint8_t* at, uint32_t bytesPerSample)
{
    switch (bytesPerSample) {
    case 1:
        return (int(at[0]) - 128) / 128.0;
    case 2:
        return int16_t(le16(at)) / 32768.0;
    case 3: {
        int32_t v = int32_t(uint32_t(at[0]) << 8 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 24);
        return (v >> 8) / 8388608.0;
    }
    case 4:
        return int32_t(le32(at)) / 2147483648.0;
    }
    return 0.0;
}

void encodeSample(double value, uint8_t* at, uint32_t bytesPerSample)
{
    const double scale = fullScale(bytesPerSample);
    const double v = std::clamp(std::round(value * scale), -scale, scale - 1);
    if (bytesPerSample == 1) {
        at[0] = uint8_t(int(v) + 128);
        return;
    }
    const auto bits = uint32_t(int32_t(int64_t(v)));
    for (uint32_t i = 0; i < bytesPerSample; ++i)
        at[i] = uint8_t(bits >> (8 * i));
}

std::optional<PcmData> readWavFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    // One read of the whole file: inputs may be long recordings.
    in.seekg(0, std::ios::end);
    const auto length = in.tellg();
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> file(length > 0 ? size_t(length) : 0);
    if (!in.read(reinterpret_cast<char*>(file.data()), std::streamsize(file.size()))) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a RIFF WAVE file";
        return std::nullopt;
    }
    std::optional<WAVEFORMATEXTENSIBLE> format;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const uint8_t* chunk = file.data() + at;
        const size_t size = le32(chunk + 4);
        const size_t available = std::min(size, file.size() - at - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
            WAVEFORMATEXTENSIBLE f{};
            std::memcpy(&f, chunk + 8, std::min(available, sizeof f));
            if (available < 18)
                f.Format.cbSize = 0;
            const char* reason = "";
            if (checkWaveFormat(&f.Format, &reason) != MMSYSERR_NOERROR) {
                error = path + ": " + reason;
                return std::nullopt;
            }
            format = f;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format) {
                error = path + " has no format chunk before its data";
                return std::nullopt;
            }
            PcmData pcm{layoutOf(*format), {}};
            const size_t frames = available / pcm.layout.frameBytes();
            // The file's own buffer becomes the sound's, without a second copy.
            file.erase(file.begin(), file.begin() + long(at + 8));
            file.resize(frames * pcm.layout.frameBytes());
            pcm.bytes = std::move(file);
            return pcm;
        }
        at += 8 + size + (size & 1);
    }
    error = path + " has no data chunk";
    return std::nullopt;
}

std::vector<uint8_t> convertPcm(PcmData&& source, const SampleLayout& target)
{
    const SampleLayout& from = source.layout;
    if (from.rate == target.rate && from.channels == target.channels &&
        from.bytesPerSample == target.bytesPerSample)
        return std::move(source.bytes);
    return convertPcm(static_cast<const PcmData&>(source), target);
}

std::vector<uint8_t> convertPcm(const PcmData& source, const SampleLayout& target)
{
    const SampleLayout& from = source.layout;
    const size_t inFrames = source.bytes.size() / from.frameBytes();
    if (from.rate == target.rate && from.channels == target.channels &&
        from.bytesPerSample == target.bytesPerSample)
        return source.bytes;
    auto sampleAt = [&](size_t frame, uint32_t channel) {
        const uint8_t* p = source.bytes.data() + frame * from.frameBytes();
        if (from.channels == target.channels)
            return decodeSample(p + channel * from.bytesPerSample, from.bytesPerSample);
        if (from.channels == 1)
            return decodeSample(p, from.bytesPerSample);
        return (decodeSample(p, from.bytesPerSample) +
                decodeSample(p + from.bytesPerSample, from.bytesPerSample)) /
               2;
    };
    const size_t outFrames = inFrames * target.rate / from.rate;
    std::vector<uint8_t> out(outFrames * target.frameBytes());
    const double step = double(from.rate) / target.rate;
    for (size_t i = 0; i < outFrames; ++i) {
        const double position = i * step;
        const auto frame = size_t(position);
        const double fraction = position - frame;
        const size_t next = std::min(frame + 1, inFrames - 1);
        for (uint32_t c = 0; c < target.channels; ++c) {
            double v = sampleAt(frame, c);
            if (fraction > 0)
                v += (sampleAt(next, c) - v) * fraction;
            encodeSample(v, out.data() + i * target.frameBytes() + c * target.bytesPerSample,
                         target.bytesPerSample);
        }
    }
    return out;
}

WavWriter::~WavWriter()
{
    finish();
}

bool WavWriter::create(const std::string& path, const WAVEFORMATEXTENSIBLE& format)
{
    finish();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        return false;
    const bool extensible = format.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE;
    const uint32_t formatBytes = extensible ? 40 : 16;
    std::vector<uint8_t> header(12 + 8 + formatBytes + 8);
    std::memcpy(header.data(), "RIFF", 4);
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    put32(header.data() + 16, formatBytes);
    std::memcpy(header.data() + 20, &format, formatBytes);
    std::memcpy(header.data() + 20 + formatBytes, "data", 4);
    dataSizeAt_ = long(header.size() - 4);
    dataBytes_ = 0;
    return std::fwrite(header.data(), 1, header.size(), file_) == header.size();
}

bool WavWriter::write(const uint8_t* data, size_t bytes)
{
    if (!file_)
        return false;
    dataBytes_ += bytes;
    return std::fwrite(data, 1, bytes, file_) == bytes;
}

void WavWriter::finish()
{
    if (!file_)
        return;
    // Sizes are 32-bit in RIFF; a longer take keeps its data and saturates the sizes.
    const auto data = uint32_t(std::min<uint64_t>(dataBytes_, 0xFFFFFFF0u));
    if (data & 1)
        std::fputc(0, file_);
    uint8_t size[4];
    put32(size, data);
    std::fseek(file_, dataSizeAt_, SEEK_SET);
    std::fwrite(size, 1, 4, file_);
    put32(size, uint32_t(dataSizeAt_ + 4 - 8 + data + (data & 1)));
    std::fseek(file_, 4, SEEK_SET);
    std::fwrite(size, 1, 4, file_);
    std::fclose(file_);
    file_ = nullptr;
}

} // namespace platform::wavedev
