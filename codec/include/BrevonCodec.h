// Brevon.Codec: finds the first MPEG audio frame of a file, derives its compressed format and
// converts the file's chunks to PCM. One conversion at a time, held by the library.
#pragma once

#include <cstdint>

#include "platform/export.h"
#include "platform/records.h"

// Bit rate of the first frame in bits per second, and its channel count (1 or 2); 0 until a
// set-up has run.
DRAVIK_EXPORT int32_t g_nMP3BitRate;
DRAVIK_EXPORT int32_t g_nMP3Channels;

// Finds and checks the first frame of the file (from its start, past an ID3v2 tag) and sets up
// the conversion. `chunk` holds the chunks per second wanted (below 1 or above 32: 18) and
// receives the compressed bytes per chunk; `pcmFormat` (18 bytes) receives the PCM format and
// `decompressedSize` the room one converted chunk needs. The file is left at the frame.
DRAVIK_EXPORT bool AcmFileConvert(int file, uint32_t* chunk, WAVEFORMATEX* pcmFormat,
                                  uint32_t* decompressedSize);
// Converts `count` compressed bytes into `pcm` (room for the decompressed size); `pcmCount`
// receives the PCM bytes delivered. A call with no bytes delivers what the decoder still holds.
DRAVIK_EXPORT void Decompress(const uint8_t* source, uint32_t count, uint8_t* pcm,
                              uint32_t* pcmCount);
// Closes the conversion and releases its buffer; also after a failed set-up.
DRAVIK_EXPORT void CleanUpAcmFileConvert();
// The compressed byte rate of the stream set up (both report the same value).
DRAVIK_EXPORT uint32_t GetAvgBytesPerSecOfCompressedBuffer();
DRAVIK_EXPORT uint32_t GetAvgBytesPerSecOfDecompressedBuffer();
