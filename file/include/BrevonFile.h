// Brevon.File: writes captured PCM as WAV, MP3, FLAC or Ogg Opus files and reads WAV and MP3 files
// back as PCM for the wave engine. One file written at a time (with a next one opened ahead) and
// one read, held by the library; paths are NUL-terminated UTF-8.
#pragma once

#include <cstdint>

#include "platform/export.h"
#include "platform/records.h"

// Writing. The write of a block and the opens return false when the file cannot be created or
// written; what was written before stays a valid file once it is closed. A WAV file refuses a
// block that would take it past what its 32-bit sizes can describe.
DRAVIK_EXPORT bool WriteOpenWaveFile(const char* path, WAVEFORMATEX format);
DRAVIK_EXPORT bool WriteOpenMP3File(const char* path, WAVEFORMATEX format, int32_t bitRateKbps);
// FLAC at compression level 5 (16- or 24-bit PCM), Ogg Opus at a bit rate (16-bit PCM at any
// rate, resampled by the encoder). Both carry an encoder tag naming Dravik and the time.
DRAVIK_EXPORT bool WriteOpenFLACFile(const char* path, WAVEFORMATEX format);
DRAVIK_EXPORT bool WriteOpenOpusFile(const char* path, WAVEFORMATEX format, int32_t bitRateKbps);
DRAVIK_EXPORT bool WriteWaveDataCallBackProc(WAVEHDR* header);
DRAVIK_EXPORT bool WriteCloseFile();
// The next file, opened ahead so that a recording goes on in it at once when it splits. Another
// thread than the writing one opens it (any time a current file is being written), the writing
// thread makes it the current one with the switch, which takes a moment, and another thread then
// completes the file the switch finished. One next file at a time: opening a second one fails.
DRAVIK_EXPORT bool WriteOpenNextWaveFile(const char* path, WAVEFORMATEX format);
DRAVIK_EXPORT bool WriteOpenNextMP3File(const char* path, WAVEFORMATEX format, int32_t bitRateKbps);
DRAVIK_EXPORT bool WriteOpenNextFLACFile(const char* path, WAVEFORMATEX format);
DRAVIK_EXPORT bool WriteOpenNextOpusFile(const char* path, WAVEFORMATEX format,
                                         int32_t bitRateKbps);
// False, changing nothing, when no next file is open or the file the previous switch finished is
// not yet completed.
DRAVIK_EXPORT bool WriteSwitchToNextFile();
// Completes the file the last switch finished; true when there is none.
DRAVIK_EXPORT bool WriteCloseFinishedFile();
// Completes the next file unused (the caller deletes it); true when there is none.
DRAVIK_EXPORT bool WriteCloseNextFile();
// Byte counters kept since the library was loaded: GetWritePosition counts what the writer of the
// current format stored (MP3, FLAC or Ogg bytes while writing those, else WAV's PCM bytes),
// GetWaveInPosition every PCM byte handed over.
DRAVIK_EXPORT uint64_t GetWritePosition();
DRAVIK_EXPORT uint64_t GetWaveInPosition();
// PCM bytes handed over, in hundredths of a second of the write format.
DRAVIK_EXPORT int64_t GetWaveInTime();

// Reading.
DRAVIK_EXPORT bool ReadOpenWaveFile(const char* path, WAVEFORMATEX* format);
DRAVIK_EXPORT bool ReadOpenMP3File(const char* path, uint32_t* decompressedSize,
                                   WAVEFORMATEX* format);
// Nonzero when a read file was closed.
DRAVIK_EXPORT int32_t ReadCloseFile();
// Play-start procedure: `data` points to a uint64_t byte offset into the sound (WAV: rounded
// down to a whole sample frame; MP3: a byte of the compressed file). Nonzero on success.
DRAVIK_EXPORT intptr_t WaveOutPlayStartCallBackProc(void* data, intptr_t reserved);
// Fill procedures: `data` points to a FillRequest; length 0 out marks the end of the sound.
DRAVIK_EXPORT intptr_t FillWaveDataCallBackProc(void* data, intptr_t reserved);
DRAVIK_EXPORT intptr_t FillMP3DataCallBackProc(void* data, intptr_t reserved);
DRAVIK_EXPORT uint64_t GetPosition();
DRAVIK_EXPORT uint64_t GetDataSize();
DRAVIK_EXPORT int64_t GetRemain();
DRAVIK_EXPORT uint32_t GetAvgBytesPerSec();
DRAVIK_EXPORT int32_t GetBitRate();
