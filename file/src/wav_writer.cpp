// WAV writer over the RIFF file layer.
#include "wav_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace file {

using namespace platform;

bool WavWriter::open(const char* path, const WAVEFORMATEX& format)
{
    close();
    // No lock of its own: the recorder creates its takes exclusively and holds a lock on each
    // (which a second lock here would collide with).
    file_ = mmioOpen(path, MMIO_CREATE | MMIO_WRITE);
    if (!file_)
        return false;
    riff_ = MMCKINFO{};
    riff_.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO fmt;
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    fmt.cksize = sizeof(WAVEFORMATEX);
    data_ = MMCKINFO{};
    data_.ckid = mmioFOURCC('d', 'a', 't', 'a');
    const bool headerWritten =
        mmioCreateChunk(file_, &riff_, MMIO_CREATERIFF) == MMSYSERR_NOERROR &&
        mmioCreateChunk(file_, &fmt, 0) == MMSYSERR_NOERROR &&
        mmioWrite(file_, &format, sizeof format) == static_cast<int32_t>(sizeof format) &&
        mmioAscend(file_, &fmt, 0) == MMSYSERR_NOERROR &&
        mmioCreateChunk(file_, &data_, 0) == MMSYSERR_NOERROR;
    if (!headerWritten) {
        // A file without its header holds nothing worth keeping.
        mmioClose(file_);
        file_ = nullptr;
        struct stat info {};
        if (stat(path, &info) == 0 && S_ISREG(info.st_mode))
            unlink(path);
        return false;
    }
    dataBytes_ = 0;
    sinceRefresh_ = 0;
    // Once per second of sound; a format without a byte rate refreshes after every block.
    refreshEvery_ = format.nAvgBytesPerSec;
    return true;
}

bool WavWriter::write(const void* bytes, uint32_t count)
{
    if (!file_)
        return false;
    if (count == 0)
        return true;
    if (count > INT32_MAX || dataBytes_ + count > maxDataBytes_)
        return false;
    if (mmioWrite(file_, bytes, static_cast<int32_t>(count)) != static_cast<int32_t>(count))
        return false;
    dataBytes_ += count;
    sinceRefresh_ += count;
    if (sinceRefresh_ >= refreshEvery_)
        refreshSizes();
    return true;
}

bool WavWriter::writeBlock(const void* bytes, uint32_t count)
{
    if (!write(bytes, count))
        return false;
    addStored(count);
    return true;
}

void WavWriter::refreshSizes()
{
    // Best effort: the block itself is written; the close writes the sizes again.
    mmioUpdateChunkSize(file_, &data_);
    mmioUpdateChunkSize(file_, &riff_);
    sinceRefresh_ = 0;
}

bool WavWriter::close()
{
    if (!file_)
        return false;
    bool ok = mmioAscend(file_, &data_, 0) == MMSYSERR_NOERROR;
    ok = mmioAscend(file_, &riff_, 0) == MMSYSERR_NOERROR && ok;
    ok = mmioClose(file_) == MMSYSERR_NOERROR && ok;
    file_ = nullptr;
    return ok;
}

} // namespace file
