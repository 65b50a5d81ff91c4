// Test helpers.
#include "testsupport/testsupport.h"

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace testsupport {

std::filesystem::path fixture(const std::string& name)
{
    return std::filesystem::path(DRAVIK_FIXTURES_DIR) / name;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "dravik-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<int16_t> sine16(double hz, int sampleRate, int channels, double seconds,
                            double amplitude)
{
    auto frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> samples(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        double value = amplitude * 32767.0 *
                       std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / sampleRate);
        for (int c = 0; c < channels; ++c)
            samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(value));
    }
    return samples;
}

void writeWav16(const std::filesystem::path& path, const std::vector<int16_t>& samples,
                int sampleRate, int channels)
{
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + dataBytes);
    auto text = [&](const char* four) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(four[i]));
    };
    auto le = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    text("RIFF");
    le(36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    le(16, 4);
    le(1, 2);
    le(static_cast<uint32_t>(channels), 2);
    le(static_cast<uint32_t>(sampleRate), 4);
    le(static_cast<uint32_t>(sampleRate * channels * 2), 4);
    le(static_cast<uint32_t>(channels * 2), 2);
    le(16, 2);
    text("data");
    le(dataBytes, 4);
    for (int16_t sample : samples)
        le(static_cast<uint16_t>(sample), 2);
    writeFile(path, bytes);
}

FileSizeLimit::FileSizeLimit(uint64_t bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    savedCurrent_ = limit.rlim_cur;
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = savedCurrent_;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, savedHandler_);
}

std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace testsupport
