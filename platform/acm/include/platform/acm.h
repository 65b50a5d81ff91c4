// Compressed-to-PCM conversion: format suggestion, conversion streams, their sizes and the
// conversion of one buffer at a time. MPEG audio Layer III to 16-bit PCM, decoded by libmpg123
// in feed mode; a stream keeps the decoder's state from buffer to buffer.
#pragma once

#include <cstdint>

#include "platform/records.h"

namespace platform {

#ifndef DRAVIK_MMRESULT_DEFINED
#define DRAVIK_MMRESULT_DEFINED
using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
#endif
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_UNPREPARED = 514;

constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr uint16_t MPEGLAYER3_ID_MPEG = 1;
constexpr uint32_t MPEGLAYER3_FLAG_PADDING_ON = 1;

#pragma pack(push, 1)
// The compressed format of an MPEG Layer III stream.
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wID;
    uint32_t fdwFlags;
    uint16_t nBlockSize;
    uint16_t nFramesPerBlock;
    uint16_t nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

// One conversion: source bytes in, PCM out; the lengths used are filled by the conversion.
struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uintptr_t dwReservedDriver[10];
};

constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;
constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;
constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;

struct AcmStream;
using HACMSTREAM = AcmStream*;

// ACM_METRIC_MAX_SIZE_FORMAT: the largest format record this layer handles, as a uint32_t.
MMRESULT acmMetrics(void* object, uint32_t metric, void* value);
// The PCM format a compressed format decodes to, written into `dst` without going past
// `dstSize` bytes (at least the 16 bytes of a PCM record).
MMRESULT acmFormatSuggest(void* driver, const WAVEFORMATEX* src, WAVEFORMATEX* dst,
                          uint32_t dstSize, uint32_t flags);
MMRESULT acmStreamOpen(HACMSTREAM* stream, void* driver, const WAVEFORMATEX* src,
                       const WAVEFORMATEX* dst, void* filter, uintptr_t callback,
                       uintptr_t instance, uint32_t flags);
// ACM_STREAMSIZEF_SOURCE: room that is always enough for the PCM of `input` source bytes.
MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
// Feeds the source bytes to the decoder and takes out as much PCM as the destination holds;
// what does not fit stays in the decoder and comes out with the next conversion (also one with
// no source bytes).
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t flags);

} // namespace platform
