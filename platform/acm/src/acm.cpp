// The conversion layer over libmpg123: one decoder handle in feed mode per stream. The decoder
// is given only whole Layer III frames of the stream's own version, sampling rate and channel
// layout; everything else (junk, damage, tags, frames of another layer or format) is skipped here.
// Left to itself the decoder would switch layers or formats mid-stream, and on some damaged files
// it spends minutes of CPU on a few kilobytes.
#include "platform/acm.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// What every frame header of a stream must carry: the version and sampling-rate bits of its
// format, Layer III, and a mono or a two-channel mode.
struct FrameShape {
    uint8_t version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    uint8_t sampling = 0; // index into the version's rates
    bool mono = false;
    uint32_t rate = 0;
};

// The frame length of a header of the shape, or 0 when the bytes are no such header (free
// format, whose length no header gives, included).
uint32_t frameLength(const FrameShape& shape, const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const uint8_t version = (h[1] >> 3) & 3;
    const uint8_t layer = (h[1] >> 1) & 3;
    const uint8_t bitRate = h[2] >> 4;
    const uint8_t sampling = (h[2] >> 2) & 3;
    const bool mono = (h[3] >> 6) == 3;
    const uint8_t emphasis = h[3] & 3;
    if (version != shape.version || layer != 1 || sampling != shape.sampling ||
        mono != shape.mono || bitRate == 0 || bitRate == 15 || emphasis == 2)
        return 0;
    static constexpr uint32_t kMpeg1Kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                                112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr uint32_t kMpeg2Kbps[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                                64, 80, 96, 112, 128, 144, 160, 0};
    const bool mpeg1 = version == 3;
    const uint32_t kbps = mpeg1 ? kMpeg1Kbps[bitRate] : kMpeg2Kbps[bitRate];
    const uint32_t padding = (h[2] >> 1) & 1;
    return (mpeg1 ? 144000 : 72000) * kbps / shape.rate + padding;
}

} // namespace

struct AcmStream {
    mpg123_handle* decoder = nullptr;
    MPEGLAYER3WAVEFORMAT source{};
    WAVEFORMATEX pcm{};
    FrameShape shape;
    // Bytes not yet given to the decoder: the start of a frame whose end has not arrived.
    std::vector<uint8_t> pending;
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

FrameShape shapeOf(const WAVEFORMATEX& src)
{
    static constexpr uint32_t kRates[3][3] = {
        {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static constexpr uint8_t kVersions[3] = {3, 2, 0};
    FrameShape shape;
    for (int v = 0; v < 3; ++v) {
        for (uint8_t i = 0; i < 3; ++i) {
            if (kRates[v][i] == src.nSamplesPerSec) {
                shape.version = kVersions[v];
                shape.sampling = i;
            }
        }
    }
    shape.mono = src.nChannels == 1;
    shape.rate = src.nSamplesPerSec;
    return shape;
}

// Gives the decoder every whole frame of the stream's shape in `pending` followed by `count`
// more bytes, and keeps the start of a frame cut off at the end for the next call.
int feedFrames(AcmStream& stream, const uint8_t* bytes, uint32_t count)
{
    std::vector<uint8_t>& pending = stream.pending;
    pending.insert(pending.end(), bytes, bytes + count);
    const size_t size = pending.size();
    size_t at = 0;
    int result = MPG123_OK;
    while (at + 4 <= size && result == MPG123_OK) {
        const uint32_t length = frameLength(stream.shape, pending.data() + at);
        if (length == 0) {
            ++at;
            continue;
        }
        if (at + length > size)
            break;
        result = mpg123_feed(stream.decoder, pending.data() + at, length);
        at += length;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
    return result;
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
    s->shape = shapeOf(*src);
    // The longest Layer III frame (1441 bytes) and a buffer's worth beside it.
    s->pending.reserve(8192);
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
        if (feedFrames(*stream, header->pbSrc, header->cbSrcLength) != MPG123_OK)
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
