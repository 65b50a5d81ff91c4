// Ogg Opus writer: libopusenc writing its pages through our file layer.
#include "opus_writer.h"

#include <opus/opusenc.h>

#include <ctime>
#include <string>

#include "encoder_tag.h"

namespace file {

using namespace platform;

namespace {

// In 48 kHz samples: a page at least every half second, decisions at most 0.2 s ahead.
constexpr int kMuxingDelay = 24000;
constexpr int kDecisionDelay = 9600;

} // namespace

int OpusWriter::writePage(void* data, const unsigned char* bytes, int32_t length)
{
    auto* self = static_cast<OpusWriter*>(data);
    if (mmioWrite(self->file_, bytes, length) != length) {
        self->pageLost_ = true;
        return 0;
    }
    self->addStored(static_cast<uint64_t>(length));
    return 0;
}

int OpusWriter::closeStream(void*)
{
    // The file is closed by close(), which knows whether it went well.
    return 0;
}

bool OpusWriter::open(const char* path, const WAVEFORMATEX& format, int kbps)
{
    close();
    if (!path || format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
        (format.nChannels != 1 && format.nChannels != 2) || format.nSamplesPerSec == 0 ||
        format.nSamplesPerSec > 768000 || kbps <= 0 || kbps > 512)
        return false;
    // No lock of its own: the recorder holds the take's lock.
    file_ = mmioOpen(path, MMIO_CREATE | MMIO_WRITE);
    if (!file_)
        return false;
    OggOpusComments* comments = ope_comments_create();
    bool ok = comments && ope_comments_add(comments, "ENCODER", encoderName().c_str()) == OPE_OK &&
              ope_comments_add(comments, "DATE", tagDate(std::time(nullptr)).c_str()) == OPE_OK;
    const OpusEncCallbacks callbacks{&OpusWriter::writePage, &OpusWriter::closeStream};
    int error = OPE_OK;
    if (ok)
        encoder_ = ope_encoder_create_callbacks(&callbacks, this, comments,
                                                static_cast<int32_t>(format.nSamplesPerSec),
                                                format.nChannels, 0, &error);
    if (comments)
        ope_comments_destroy(comments);
    ok = encoder_ && ope_encoder_ctl(encoder_, OPUS_SET_BITRATE(kbps * 1000)) == OPE_OK &&
         ope_encoder_ctl(encoder_, OPE_SET_MUXING_DELAY(kMuxingDelay)) == OPE_OK &&
         ope_encoder_ctl(encoder_, OPE_SET_DECISION_DELAY(kDecisionDelay)) == OPE_OK &&
         // The headers go into the file now: a take cut off at once is still an Opus file.
         ope_encoder_flush_header(encoder_) == OPE_OK && !pageLost_;
    if (!ok) {
        release();
        return false;
    }
    channels_ = format.nChannels;
    return true;
}

bool OpusWriter::write(const void* bytes, uint32_t count)
{
    if (!file_ || (!bytes && count > 0))
        return false;
    const int frames = static_cast<int>(count / 2 / static_cast<uint32_t>(channels_));
    if (frames > 0 &&
        ope_encoder_write(encoder_, static_cast<const opus_int16*>(bytes), frames) != OPE_OK)
        return false;
    soundWritten_ = soundWritten_ || frames > 0;
    return !pageLost_;
}

bool OpusWriter::close()
{
    if (!file_) {
        release();
        return false;
    }
    // The last pages, the end of the stream marked. The encoder cannot drain a stream it was
    // given no sound for (it aborts the process): such a file keeps its headers alone.
    bool ok = (!soundWritten_ || ope_encoder_drain(encoder_) == OPE_OK) && !pageLost_;
    ope_encoder_destroy(encoder_);
    encoder_ = nullptr;
    ok = mmioClose(file_) == MMSYSERR_NOERROR && ok;
    file_ = nullptr;
    release();
    return ok;
}

void OpusWriter::release()
{
    if (encoder_) {
        ope_encoder_destroy(encoder_);
        encoder_ = nullptr;
    }
    if (file_) {
        mmioClose(file_);
        file_ = nullptr;
    }
    channels_ = 0;
    pageLost_ = false;
    soundWritten_ = false;
}

} // namespace file
