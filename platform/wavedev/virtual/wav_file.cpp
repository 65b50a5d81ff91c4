// A small RIFF reader and writer of the virtual card's own: the platform layer does not depend on
// the program's file library.
#include "wav_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/file_io.h"

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

// Source frames read from the disk at a time when converting.
constexpr uint64_t kWindowFrames = 16384;

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

WavFileLoop::~WavFileLoop()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool WavFileLoop::open(const std::string& path, const SampleLayout& target, std::string& error)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    const auto length = static_cast<uint64_t>(info.st_size);
    uint8_t riff[12];
    if (readAllAt(fd_, riff, sizeof riff, 0).bytes != sizeof riff ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        error = path + " is not a RIFF WAVE file";
        return false;
    }
    // Only the chunk headers and the format are read here; the sound is read as it plays.
    std::optional<WAVEFORMATEXTENSIBLE> format;
    uint64_t at = 12;
    while (at + 8 <= length) {
        uint8_t chunk[8];
        if (readAllAt(fd_, chunk, sizeof chunk, int64_t(at)).bytes != sizeof chunk)
            break;
        const uint64_t size = le32(chunk + 4);
        const uint64_t available = std::min(size, length - at - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
            WAVEFORMATEXTENSIBLE f{};
            const size_t wanted = size_t(std::min<uint64_t>(available, sizeof f));
            if (readAllAt(fd_, &f, wanted, int64_t(at + 8)).bytes != wanted) {
                error = "cannot read " + path;
                return false;
            }
            if (available < 18)
                f.Format.cbSize = 0;
            const char* reason = "";
            if (checkWaveFormat(&f.Format, &reason) != MMSYSERR_NOERROR) {
                error = path + ": " + reason;
                return false;
            }
            format = f;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format) {
                error = path + " has no format chunk before its data";
                return false;
            }
            from_ = layoutOf(*format);
            to_ = target;
            dataOffset_ = int64_t(at + 8);
            sourceFrames_ = available / from_.frameBytes();
            loopFrames_ = sameLayout() ? sourceFrames_ : sourceFrames_ * to_.rate / from_.rate;
            if (loopFrames_ == 0) {
                error = path + " holds no sound";
                return false;
            }
            window_.resize(size_t(kWindowFrames) * from_.frameBytes());
            return true;
        }
        at += 8 + size + (size & 1);
    }
    error = path + " has no data chunk";
    return false;
}

bool WavFileLoop::sameLayout() const
{
    return from_.rate == to_.rate && from_.channels == to_.channels &&
           from_.bytesPerSample == to_.bytesPerSample;
}

void WavFileLoop::readSource(uint8_t* into, uint64_t frame, size_t frames)
{
    const size_t bytes = frames * from_.frameBytes();
    const size_t got =
        readAllAt(fd_, into, bytes, dataOffset_ + int64_t(frame * from_.frameBytes())).bytes;
    for (size_t i = got - got % from_.bytesPerSample; i < bytes; i += from_.bytesPerSample)
        encodeSample(0.0, into + i, from_.bytesPerSample);
}

const uint8_t* WavFileLoop::sourceFrame(uint64_t frame)
{
    if (frame < windowStart_ || frame >= windowStart_ + windowFrames_) {
        // One frame back, so that a frame and the next one are in the window together.
        windowStart_ = frame > 0 ? frame - 1 : 0;
        windowFrames_ = size_t(std::min<uint64_t>(kWindowFrames, sourceFrames_ - windowStart_));
        readSource(window_.data(), windowStart_, windowFrames_);
    }
    return window_.data() + (frame - windowStart_) * from_.frameBytes();
}

double WavFileLoop::sampleAt(uint64_t frame, uint32_t channel)
{
    const uint8_t* p = sourceFrame(frame);
    const uint32_t size = from_.bytesPerSample;
    if (from_.channels == to_.channels)
        return decodeSample(p + channel * size, size);
    if (from_.channels == 1)
        return decodeSample(p, size);
    return (decodeSample(p, size) + decodeSample(p + size, size)) / 2;
}

void WavFileLoop::read(uint8_t* out, size_t frames)
{
    if (sameLayout()) {
        // Copied from the window, which is read a window at a time: one disk read serves many
        // blocks.
        const size_t frameBytes = to_.frameBytes();
        while (frames > 0) {
            if (at_ < windowStart_ || at_ >= windowStart_ + windowFrames_) {
                windowStart_ = at_;
                windowFrames_ = size_t(std::min<uint64_t>(kWindowFrames, loopFrames_ - at_));
                readSource(window_.data(), windowStart_, windowFrames_);
            }
            const size_t run =
                size_t(std::min<uint64_t>(frames, windowStart_ + windowFrames_ - at_));
            std::memcpy(out, window_.data() + (at_ - windowStart_) * frameBytes, run * frameBytes);
            out += run * frameBytes;
            frames -= run;
            at_ = (at_ + run) % loopFrames_;
        }
        return;
    }
    const double step = double(from_.rate) / to_.rate;
    for (; frames > 0; --frames, out += to_.frameBytes(), at_ = (at_ + 1) % loopFrames_) {
        const double position = double(at_) * step;
        const uint64_t frame = std::min(uint64_t(position), sourceFrames_ - 1);
        const double fraction = position - double(frame);
        const uint64_t next = std::min(frame + 1, sourceFrames_ - 1);
        for (uint32_t c = 0; c < to_.channels; ++c) {
            double v = sampleAt(frame, c);
            if (fraction > 0)
                v += (sampleAt(next, c) - v) * fraction;
            encodeSample(v, out + c * to_.bytesPerSample, to_.bytesPerSample);
        }
    }
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
