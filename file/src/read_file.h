// The file being read for playback: a POSIX descriptor opened for reading, with the few
// operations the readers need. Position queries may come from another thread than the reads.
#pragma once

#include <cstdint>

namespace file {

class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile() { close(); }
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    bool open(const char* path);
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Reads until `count` bytes or the end of the file; the bytes read (0 on an error).
    uint32_t read(uint8_t* buffer, uint32_t count);
    bool seek(uint64_t offset);
    uint64_t position() const;
    uint64_t length() const;

private:
    int fd_ = -1;
};

} // namespace file
