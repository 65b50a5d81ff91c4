// The conversion layer over libmpg123: one decoder handle in feed mode per stream.
#include "platform/acm.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>

namespace platform {

struct AcmStream {
    mpg123_handle* decoder = nullptr;
    MPEGLAYER3WAVEFORMAT source{};
    WAVEFORMATEX pcm{};
};

namespace {

bool isMpegRate(uint32_t rate)
{
    switch (rate) {
    case 8000:
    case 11025:
    case 12000:
    case 16000:
    case 22050:
    case 24000:
    case 32000:
    case 44100:
    case 48000:
        return true;
    default:
        return false;
    }
}

bool isDecodable(const WAVEFORMATEX* src)
{
    return src && src->wFormatTag == WAVE_FORMAT_MPEGLAYER3 &&
           (src->nChannels == 1 || src->nChannels == 2) && isMpegRate(src->nSamplesPerSec);
}

WAVEFORMATEX pcmFor(const WAVEFORMATEX& src)
{
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = src.nChannels;
    pcm.nSamplesPerSec = src.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<uint16_t>(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    pcm.cbSize = 0;
    return pcm;
}

uint32_t samplesPerFrame(uint32_t rate)
{
    return rate >= 32000 ? 1152 : 576;
}

} // namespace

MMRESULT acmMetrics(void* /*object*/, uint32_t metric, void* value)
{
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT || !value)
        return MMSYSERR_INVALPARAM;
    *static_cast<uint32_t*>(value) = sizeof(MPEGLAYER3WAVEFORMAT);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(void* /*driver*/, const WAVEFORMATEX* src, WAVEFORMATEX* dst,
                          uint32_t dstSize, uint32_t flags)
{
    if (!src || !dst || dstSize < 16)
        return MMSYSERR_INVALPARAM;
    if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && dst->wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    if (!isDecodable(src))
        return ACMERR_NOTPOSSIBLE;
    WAVEFORMATEX pcm = pcmFor(*src);
    std::memcpy(dst, &pcm, dstSize < sizeof pcm ? dstSize : sizeof pcm);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* stream, void* /*driver*/, const WAVEFORMATEX* src,
                       const WAVEFORMATEX* dst, void* /*filter*/, uintptr_t /*callback*/,
                       uintptr_t /*instance*/, uint32_t flags)
{
    if (!stream || !src || !dst)
        return MMSYSERR_INVALPARAM;
    *stream = nullptr;
    if (flags != 0)
        return MMSYSERR_INVALFLAG;
    if (!isDecodable(src) || src->cbSize < sizeof(MPEGLAYER3WAVEFORMAT) - sizeof(WAVEFORMATEX))
        return ACMERR_NOTPOSSIBLE;
    WAVEFORMATEX pcm = pcmFor(*src);
    if (dst->wFormatTag != WAVE_FORMAT_PCM || dst->nChannels != pcm.nChannels ||
        dst->nSamplesPerSec != pcm.nSamplesPerSec || dst->wBitsPerSample != 16)
        return ACMERR_NOTPOSSIBLE;

    // Only needed by old library versions; harmless on newer ones.
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    int error = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &error);
    if (!decoder)
        return MMSYSERR_NOMEM;
    // Damaged input is skipped silently; the output format is fixed to the one agreed here.
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(decoder);
    if (mpg123_format(decoder, static_cast<long>(pcm.nSamplesPerSec),
                      pcm.nChannels == 1 ? MPG123_MONO : MPG123_STEREO,
                      MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open_feed(decoder) != MPG123_OK) {
        mpg123_delete(decoder);
        return ACMERR_NOTPOSSIBLE;
    }
    auto* s = new AcmStream;
    s->decoder = decoder;
    std::memcpy(&s->source, src, sizeof s->source);
    s->pcm = pcm;
    *stream = s;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!output)
        return MMSYSERR_INVALPARAM;
    const uint32_t rate = stream->source.wfx.nSamplesPerSec;
    const uint32_t byteRate = stream->source.wfx.nAvgBytesPerSec;
    if (byteRate == 0)
        return ACMERR_NOTPOSSIBLE;
    const uint64_t frameSamples = samplesPerFrame(rate);
    const uint64_t frameBytes = stream->pcm.nBlockAlign * frameSamples;
    // Length of one frame at the stream's byte rate, without padding (at least one byte).
    uint64_t frameLength = frameSamples * byteRate / rate;
    if (frameLength == 0)
        frameLength = 1;
    uint64_t result = 0;
    if ((flags & ACM_STREAMSIZEF_DESTINATION) != 0) {
        result = input / frameBytes * frameLength;
    } else {
        // The frames that start inside the input, plus one completed from an earlier buffer.
        result = (input / frameLength + 2) * frameBytes;
    }
    if (result > UINT32_MAX)
        return ACMERR_NOTPOSSIBLE;
    *output = static_cast<uint32_t>(result);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t /*flags*/)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER))
        return MMSYSERR_INVALPARAM;
    header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t /*flags*/)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER) ||
        (header->cbSrcLength > 0 && !header->pbSrc) || (header->cbDstLength > 0 && !header->pbDst))
        return MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    header->cbSrcLengthUsed = 0;
    header->cbDstLengthUsed = 0;
    if (header->cbSrcLength > 0) {
        if (mpg123_feed(stream->decoder, header->pbSrc, header->cbSrcLength) != MPG123_OK)
            return MMSYSERR_NOMEM;
    }
    header->cbSrcLengthUsed = header->cbSrcLength;
    uint32_t used = 0;
    while (used < header->cbDstLength) {
        size_t done = 0;
        int result =
            mpg123_read(stream->decoder, header->pbDst + used, header->cbDstLength - used, &done);
        used += static_cast<uint32_t>(done);
        if (result == MPG123_NEW_FORMAT)
            continue;
        if (result != MPG123_OK || done == 0)
            break; // needs more input, reached the end, or the data cannot be decoded
    }
    header->cbDstLengthUsed = used;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t /*flags*/)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!header)
        return MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t /*flags*/)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    mpg123_delete(stream->decoder);
    delete stream;
    return MMSYSERR_NOERROR;
}

} // namespace platform
