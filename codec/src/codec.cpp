// The exports of Brevon.Codec: set-up from the first frame, chunk conversion and clean-up, over
// the platform's conversion layer. One conversion at a time, as library state.
#include "BrevonCodec.h"

#include <unistd.h>

#include <cstring>
#include <vector>

#include "mpeg_header.h"
#include "platform/acm.h"
#include "platform/file_io.h"

using namespace platform;

int32_t g_nMP3BitRate = 0;
int32_t g_nMP3Channels = 0;

namespace {

constexpr uint32_t kDefaultChunksPerSecond = 18;
constexpr uint16_t kCodecDelay = 1393;

struct Conversion {
    MPEGLAYER3WAVEFORMAT source{};
    ACMSTREAMHEADER header{};
    HACMSTREAM stream = nullptr;
    std::vector<uint8_t> destination;
};

// Written by the set-up and clean-up on the caller's thread, used by the conversion on the
// playback thread; the calling order keeps them apart.
Conversion conversion;

MPEGLAYER3WAVEFORMAT sourceFormat(const codec::MpegHeader& mpeg)
{
    MPEGLAYER3WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = static_cast<uint16_t>(mpeg.channels);
    f.wfx.nSamplesPerSec = static_cast<uint32_t>(mpeg.sampleRate);
    f.wfx.nAvgBytesPerSec = static_cast<uint32_t>(mpeg.kbps) * 1000 / 8;
    f.wfx.nBlockAlign = 1;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = sizeof(MPEGLAYER3WAVEFORMAT) - sizeof(WAVEFORMATEX);
    f.wID = MPEGLAYER3_ID_MPEG;
    f.fdwFlags = MPEGLAYER3_FLAG_PADDING_ON;
    f.nBlockSize = static_cast<uint16_t>(mpeg.kbps * 144 * 1000 / mpeg.sampleRate);
    f.nFramesPerBlock = 1;
    f.nCodecDelay = kCodecDelay;
    return f;
}

// Reads the first frame's header and leaves the file at the frame.
std::optional<codec::MpegHeader> firstFrame(int file)
{
    int64_t frame = codec::findFrameSync(file, codec::id3v2TagLength(file));
    if (frame < 0)
        return std::nullopt;
    uint8_t bytes[4];
    if (readAllAt(file, bytes, sizeof bytes, frame).bytes != sizeof bytes)
        return std::nullopt;
    if (lseek(file, frame, SEEK_SET) < 0)
        return std::nullopt;
    return codec::parseHeader(bytes);
}

} // namespace

bool AcmFileConvert(int file, uint32_t* chunk, WAVEFORMATEX* pcmFormat, uint32_t* decompressedSize)
{
    if (!chunk || !pcmFormat || !decompressedSize)
        return false;
    // A second set-up replaces the first.
    CleanUpAcmFileConvert();
    conversion.header = ACMSTREAMHEADER{};
    conversion.header.cbStruct = sizeof(ACMSTREAMHEADER);

    auto mpeg = firstFrame(file);
    if (!mpeg)
        return false;
    g_nMP3BitRate = mpeg->kbps * 1000;
    g_nMP3Channels = mpeg->channels;

    uint32_t largestFormat = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largestFormat) != MMSYSERR_NOERROR)
        return false;
    conversion.source = sourceFormat(*mpeg);
    // The caller's record is a WAVEFORMATEX: the suggestion never writes past its 18 bytes.
    pcmFormat->wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, &conversion.source.wfx, pcmFormat, sizeof(WAVEFORMATEX),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR)
        return false;
    if (acmStreamOpen(&conversion.stream, nullptr, &conversion.source.wfx, pcmFormat, nullptr, 0, 0,
                      0) != MMSYSERR_NOERROR)
        return false;

    uint32_t chunksPerSecond = *chunk;
    if (chunksPerSecond < 1 || chunksPerSecond > 32)
        chunksPerSecond = kDefaultChunksPerSecond;
    const uint32_t compressedSize = conversion.source.wfx.nAvgBytesPerSec / chunksPerSecond;
    uint32_t pcmSize = 0;
    if (acmStreamSize(conversion.stream, compressedSize, &pcmSize, ACM_STREAMSIZEF_SOURCE) !=
        MMSYSERR_NOERROR)
        return false;
    conversion.destination.assign(pcmSize, 0);

    *decompressedSize = pcmSize;
    *chunk = compressedSize;
    return true;
}

void Decompress(const uint8_t* source, uint32_t count, uint8_t* pcm, uint32_t* pcmCount)
{
    uint32_t delivered = 0;
    ACMSTREAMHEADER& header = conversion.header;
    if (conversion.stream && (source || count == 0)) {
        header.pbSrc = const_cast<uint8_t*>(source);
        header.cbSrcLength = source ? count : 0;
        header.pbDst = conversion.destination.data();
        header.cbDstLength = static_cast<uint32_t>(conversion.destination.size());
        header.cbDstLengthUsed = 0;
        acmStreamPrepareHeader(conversion.stream, &header, 0);
        acmStreamConvert(conversion.stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
        acmStreamUnprepareHeader(conversion.stream, &header, 0);
        delivered = header.cbDstLengthUsed;
        if (pcm && delivered > 0)
            std::memcpy(pcm, conversion.destination.data(), delivered);
    }
    if (pcmCount)
        *pcmCount = delivered;
}

void CleanUpAcmFileConvert()
{
    if (conversion.stream) {
        acmStreamClose(conversion.stream, 0);
        conversion.stream = nullptr;
    }
    conversion.destination.clear();
    conversion.destination.shrink_to_fit();
}

uint32_t GetAvgBytesPerSecOfCompressedBuffer()
{
    return conversion.source.wfx.nAvgBytesPerSec;
}

uint32_t GetAvgBytesPerSecOfDecompressedBuffer()
{
    return conversion.source.wfx.nAvgBytesPerSec;
}
