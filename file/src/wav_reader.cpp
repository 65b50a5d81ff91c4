// WAV reader: the header by chunk search over the RIFF file layer, the sound by plain reads.
#include "wav_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/mmio.h"

namespace file {

using namespace platform;

namespace {

struct Layout {
    WAVEFORMATEX format{};
    uint64_t dataOffset = 0;
    uint64_t dataSize = 0;
};

bool readLayout(HMMIO h, Layout& layout)
{
    const int64_t fileLength = mmioSeek(h, 0, MMIO_SEEK_END);
    mmioSeek(h, 0, MMIO_SEEK_SET);
    MMCKINFO riff;
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR)
        return false;
    MMCKINFO fmt;
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return false;
    // A format chunk shorter than the PCM fields, or cut off by the end of the file, is refused.
    if (fmt.cksize < 16 || fmt.dwDataOffset + static_cast<int64_t>(fmt.cksize) > fileLength)
        return false;
    const int32_t wanted = static_cast<int32_t>(std::min<uint32_t>(fmt.cksize, 18));
    WAVEFORMATEX format{};
    if (mmioRead(h, &format, wanted) != wanted)
        return false;
    if (format.nChannels == 0 || format.nBlockAlign == 0 || format.nAvgBytesPerSec == 0)
        return false;
    if (mmioAscend(h, &fmt, 0) != MMSYSERR_NOERROR)
        return false;
    MMCKINFO data;
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(h, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return false;
    layout.format = format;
    layout.dataOffset = data.dwDataOffset;
    // A size of 0 or one past the end of the file (a file cut short) plays to the end.
    const uint64_t available = static_cast<uint64_t>(fileLength) - data.dwDataOffset;
    layout.dataSize = data.cksize == 0 || data.cksize > available ? available : data.cksize;
    return true;
}

} // namespace

bool WavReader::open(const char* path, WAVEFORMATEX* format)
{
    close();
    if (!path || !format)
        return false;
    HMMIO h = mmioOpen(path, MMIO_READ);
    if (!h)
        return false;
    Layout layout;
    const bool found = readLayout(h, layout);
    mmioClose(h);
    if (!found || !file_.open(path))
        return false;
    format_ = layout.format;
    dataOffset_ = layout.dataOffset;
    dataEnd_ = layout.dataOffset + layout.dataSize;
    std::memcpy(format, &format_, sizeof format_);
    return true;
}

bool WavReader::playStart(uint64_t offset)
{
    const uint64_t frame = format_.nBlockAlign;
    return file_.seek(dataOffset_ + offset / frame * frame);
}

void WavReader::fill(FillRequest& request)
{
    uint64_t at = file_.position();
    if (file_.isOpen() && at < dataOffset_ && file_.seek(dataOffset_))
        at = dataOffset_; // never plays the header, even without a play-start
    const uint64_t left = at < dataEnd_ ? dataEnd_ - at : 0;
    const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(request.length, left));
    request.length = request.buffer ? file_.read(request.buffer, wanted) : 0;
    request.filePosition = file_.position();
}

} // namespace file
