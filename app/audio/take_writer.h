// The writer of a take: one interface over the five encodings (WAV, MP3, FLAC and Ogg Opus through
// Brevon.File, WMA through Brevon.WMA), chosen once when the capture format is configured, so that
// the recorder's block steps write, close and split without asking which encoding they have.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/records.h"
#include "wave_file_api.h"

class TakeWriter {
public:
    virtual ~TakeWriter() = default;

    // Creates the file at path; false when it cannot be created (no file is left then).
    virtual bool open(const std::string& path) = 0;
    // Writes one captured block (lent by the engine); false when the file could not take it.
    virtual bool write(WAVEHDR& block) = 0;
    // Completes the file; false when it could not be completed (it may then end early).
    virtual bool close() = 0;

    // The next file, opened ahead by another thread than the writing one, so that a split only
    // switches files: false when it cannot be created (the caller deletes what may be left).
    virtual bool openNext(const std::string& path) = 0;
    // Makes the next file the current one (the writing thread; a moment, no file is touched);
    // false, changing nothing, when no next file is open or the last finished one is not yet
    // completed.
    virtual bool switchToNext() = 0;
    // Completes the file the last switch finished (not the writing thread); true when none.
    virtual bool closeFinished() = 0;
    // Completes the next file unused; the caller deletes it.
    virtual bool closeNext() = 0;
    // Whether the open file can take more bytes of sound; a file that cannot is closed and the
    // recording goes on in a new one. Only WAV has a limit: its 32-bit sizes.
    virtual bool canTake(uint64_t fileBytes, uint32_t moreBytes) const
    {
        (void)fileBytes;
        (void)moreBytes;
        return true;
    }
};

// The writers by encoding. They keep the capture format (and the MP3 bit rate) they are made
// with; the file library must stay bound while they live.
std::unique_ptr<TakeWriter> makeWavTakeWriter(const FileApi& file, const WAVEFORMATEX& format);
std::unique_ptr<TakeWriter> makeMp3TakeWriter(const FileApi& file, const WAVEFORMATEX& format,
                                              int bitRateKbps);
std::unique_ptr<TakeWriter> makeFlacTakeWriter(const FileApi& file, const WAVEFORMATEX& format);
std::unique_ptr<TakeWriter> makeOpusTakeWriter(const FileApi& file, const WAVEFORMATEX& format,
                                               int bitRateKbps);
// WMA goes through the process's WMA writer, configured for the profile before this is made.
std::unique_ptr<TakeWriter> makeWmaTakeWriter(const WAVEFORMATEX& format);

// The most sound bytes a WAV take holds before the recording goes on in a new file: what its
// 32-bit RIFF sizes describe, less the header and a margin.
constexpr uint64_t kLargestWavTakeBytes = 0xFFFFFFFFull - 46 - 8 - (1u << 20);
