// The fuzz targets' input file: the readers take a path, so each input is written to one file in
// a folder of the process's own, removed when the process ends.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

class InputFolder {
public:
    InputFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dravik-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        path_ = pattern;
    }
    ~InputFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Writes the input into the folder under name and returns its path.
inline std::string writeInput(const uint8_t* data, size_t size, const char* name)
{
    static InputFolder folder;
    const std::string path = (folder.path() / name).string();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0)
        std::abort();
    return path;
}

} // namespace fuzz
