// Writes a WAV file: a 46-byte header with an 18-byte format chunk, the sample bytes as they
// come, sizes brought up to date once per second of sound and written exactly at the close.
#pragma once

#include <cstdint>

#include "file_writer.h"
#include "platform/mmio.h"
#include "platform/records.h"

namespace file {

class WavWriter : public FileWriter {
public:
    // The most sample bytes whose RIFF size (38 + data, even) still fits in 32 bits.
    static constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 39;

    explicit WavWriter(uint64_t maxDataBytes = kMaxDataBytes) : maxDataBytes_(maxDataBytes) {}
    ~WavWriter() override { close(); }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const char* path, const WAVEFORMATEX& format);
    // False when the block was not written: a write error, or a block that would take the file
    // past its size limit (the caller may close and start a new file).
    bool write(const void* bytes, uint32_t count);
    bool close();
    bool isOpen() const override { return file_ != nullptr; }

    bool writeBlock(const void* bytes, uint32_t count) override;
    bool finish() override { return close(); }
    uint64_t dataBytes() const { return dataBytes_; }

private:
    void refreshSizes();

    uint64_t maxDataBytes_;
    platform::HMMIO file_ = nullptr;
    platform::MMCKINFO riff_;
    platform::MMCKINFO data_;
    uint64_t dataBytes_ = 0;
    uint64_t sinceRefresh_ = 0;
    uint32_t refreshEvery_ = 0;
};

} // namespace file
