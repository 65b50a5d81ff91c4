// Records shared by the program and its libraries across their C interfaces: the wave format and
// buffer header of the wave device layer, and the engine's callback, level, fill and sample
// records.
#pragma once

#include <cstddef>
#include <cstdint>

// Wave format tags.
constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The device number that asks for the system's default device.
constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

#pragma pack(push, 1)
// The wave format record, always handled as its 18 bytes.
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes on every interface");

// Buffer header flags.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_BEGINLOOP = 0x04;
constexpr uint32_t WHDR_ENDLOOP = 0x08;
constexpr uint32_t WHDR_INQUEUE = 0x10;

// A wave buffer header: the unit handed between a device, the engine and the file writers.
struct WAVEHDR {
    char* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    WAVEHDR* lpNext;
    uintptr_t reserved;
};

// The shape of every function the wave engine calls: a data pointer and a second argument that
// is always 0; the result is ignored.
using EngineCallback = intptr_t (*)(void* data, intptr_t reserved);

// Peaks of one block (0..32767; right equals left for mono) and, for playback, the play position
// in 100-ns units.
struct LevelBlock {
    uint32_t left;
    uint32_t right;
    uint64_t position;
};

// What the playback engine hands a fill procedure: room in, bytes delivered out (0 at the end),
// and the source position after the read.
struct FillRequest {
    uint8_t* buffer;
    uint32_t length;
    uint64_t filePosition;
};

// One decoded buffer pushed by the media reader; the bytes are valid only during the call.
struct WMASampleInfo {
    const uint8_t* data;
    uint32_t byteCount;
    uint64_t sampleTime;
};

// Statistics of one stream of the media writer, as the writer library hands them to its caller.
struct WM_WRITER_STATISTICS {
    uint64_t qwSampleCount;
    uint64_t qwByteCount;
    uint64_t qwDroppedSampleCount;
    uint64_t qwDroppedByteCount;
    uint32_t dwCurrentBitrate;
    uint32_t dwAverageBitrate;
    uint32_t dwExpectedBitrate;
    uint32_t dwCurrentSampleRate;
    uint32_t dwAverageSampleRate;
    uint32_t dwExpectedSampleRate;
};
