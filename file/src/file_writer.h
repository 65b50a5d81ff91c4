// A writer module of one file format as Brevon.File's exports use it: the format is chosen when
// a file is opened, and writing, completing and counting then go through this interface without
// asking which format it is. WavWriter and Mp3Writer are the two modules.
#pragma once

#include <atomic>
#include <cstdint>

namespace file {

class FileWriter {
public:
    virtual ~FileWriter() = default;

    // One block of interleaved PCM in the format the file was opened with; false when the file
    // could not take it.
    virtual bool writeBlock(const void* bytes, uint32_t count) = 0;
    // Completes the open file; false when it could not be completed.
    virtual bool finish() = 0;
    virtual bool isOpen() const = 0;

    // Bytes this module has put into its files since it was made (WAV: sound bytes; MP3: encoded
    // bytes). Written by the writing thread, read by any.
    uint64_t storedBytes() const { return stored_.load(std::memory_order_relaxed); }

protected:
    void addStored(uint64_t bytes) { stored_.fetch_add(bytes, std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> stored_{0};
};

} // namespace file
