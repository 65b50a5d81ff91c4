// Test helpers: where the audio fixtures are (testsupport/fixtures), a temporary folder that
// removes itself, and generated signals.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Full path of a file in the fixtures folder.
std::filesystem::path fixture(const std::string& name);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Interleaved 16-bit samples of a sine of frequency hz at amplitude (0..1 of full scale).
std::vector<int16_t> sine16(double hz, int sampleRate, int channels, double seconds,
                            double amplitude = 0.5);

// Writes interleaved 16-bit samples as a plain 44-byte-header WAV file.
void writeWav16(const std::filesystem::path& path, const std::vector<int16_t>& samples,
                int sampleRate, int channels);

// Lowers the file size limit while it lives, with the signal that would end the process ignored,
// so writes past the limit fail the way they do on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t savedCurrent_ = 0;
    void (*savedHandler_)(int) = nullptr;
};

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace testsupport
