// FLAC writer: libFLAC's stream encoder writing through our file layer, frame by frame.
#include "flac_writer.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <ctime>
#include <string>

#include "encoder_tag.h"

namespace file {

using namespace platform;

// The encoder's output goes straight into the file (no buffer of our own that a crash would
// lose); the seek and tell let it complete the header at the close.
struct FlacWriter::Callbacks {
    static FLAC__StreamEncoderWriteStatus write(const FLAC__StreamEncoder*,
                                                const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                uint32_t, void* data)
    {
        auto* self = static_cast<FlacWriter*>(data);
        if (bytes > INT32_MAX || mmioWrite(self->file_, buffer, static_cast<int32_t>(bytes)) !=
                                     static_cast<int32_t>(bytes))
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        self->addStored(bytes);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }

    static FLAC__StreamEncoderSeekStatus seek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                              void* data)
    {
        auto* self = static_cast<FlacWriter*>(data);
        return mmioSeek(self->file_, static_cast<int64_t>(offset), MMIO_SEEK_SET) < 0
                   ? FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR
                   : FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }

    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                              void* data)
    {
        auto* self = static_cast<FlacWriter*>(data);
        const int64_t at = mmioSeek(self->file_, 0, MMIO_SEEK_CUR);
        if (at < 0)
            return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        *offset = static_cast<FLAC__uint64>(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }
};

bool FlacWriter::open(const char* path, const WAVEFORMATEX& format)
{
    close();
    if (!path || format.wFormatTag != WAVE_FORMAT_PCM ||
        (format.wBitsPerSample != 16 && format.wBitsPerSample != 24) ||
        (format.nChannels != 1 && format.nChannels != 2) || format.nSamplesPerSec == 0 ||
        format.nSamplesPerSec > FLAC__MAX_SAMPLE_RATE)
        return false;
    encoder_ = FLAC__stream_encoder_new();
    tags_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (!encoder_ || !tags_) {
        release();
        return false;
    }
    const std::string encoder = "ENCODER=" + encoderName();
    const std::string date = "DATE=" + tagDate(std::time(nullptr));
    for (const std::string& text : {encoder, date}) {
        FLAC__StreamMetadata_VorbisComment_Entry entry{
            static_cast<FLAC__uint32>(text.size()),
            reinterpret_cast<FLAC__byte*>(const_cast<char*>(text.c_str()))};
        if (!FLAC__metadata_object_vorbiscomment_append_comment(tags_, entry, /*copy=*/true)) {
            release();
            return false;
        }
    }
    FLAC__StreamMetadata* metadata[] = {tags_};
    FLAC__stream_encoder_set_channels(encoder_, format.nChannels);
    FLAC__stream_encoder_set_bits_per_sample(encoder_, format.wBitsPerSample);
    FLAC__stream_encoder_set_sample_rate(encoder_, format.nSamplesPerSec);
    FLAC__stream_encoder_set_compression_level(encoder_, 5);
    FLAC__stream_encoder_set_metadata(encoder_, metadata, 1);

    // No lock of its own: the recorder holds the take's lock.
    file_ = mmioOpen(path, MMIO_CREATE | MMIO_WRITE);
    if (!file_) {
        release();
        return false;
    }
    // The header goes into the file here, its length and MD5 still unknown.
    if (FLAC__stream_encoder_init_stream(encoder_, &Callbacks::write, &Callbacks::seek,
                                         &Callbacks::tell, nullptr,
                                         this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        release();
        return false;
    }
    channels_ = format.nChannels;
    bytesPerSample_ = static_cast<uint16_t>(format.wBitsPerSample / 8);
    samples_.assign(static_cast<size_t>(format.nSamplesPerSec) * channels_, 0);
    return true;
}

bool FlacWriter::write(const void* bytes, uint32_t count)
{
    if (!file_ || (!bytes && count > 0))
        return false;
    const uint32_t values = count / bytesPerSample_;
    const uint32_t frames = values / channels_;
    if (frames == 0)
        return true;
    if (samples_.size() < values)
        samples_.resize(values);
    const auto* in = static_cast<const uint8_t*>(bytes);
    int32_t* out = samples_.data();
    if (bytesPerSample_ == 2) {
        for (uint32_t i = 0; i < values; ++i)
            out[i] = static_cast<int16_t>(in[2 * i] | in[2 * i + 1] << 8);
    } else {
        // Shifted up to the top of 32 bits and back, so that the sign is carried down.
        for (uint32_t i = 0; i < values; ++i)
            out[i] = static_cast<int32_t>(static_cast<uint32_t>(in[3 * i]) << 8 |
                                          static_cast<uint32_t>(in[3 * i + 1]) << 16 |
                                          static_cast<uint32_t>(in[3 * i + 2]) << 24) >>
                     8;
    }
    return FLAC__stream_encoder_process_interleaved(encoder_, out, frames) != 0;
}

bool FlacWriter::close()
{
    if (!file_) {
        release();
        return false;
    }
    // Encodes the last partial frame and rewrites the header with the length and MD5.
    bool ok = FLAC__stream_encoder_finish(encoder_) != 0;
    ok = mmioClose(file_) == MMSYSERR_NOERROR && ok;
    file_ = nullptr;
    release();
    return ok;
}

void FlacWriter::release()
{
    if (encoder_) {
        // An encoder never finished (a failed open) is finished here without a file to write to.
        FLAC__stream_encoder_delete(encoder_);
        encoder_ = nullptr;
    }
    if (tags_) {
        FLAC__metadata_object_delete(tags_);
        tags_ = nullptr;
    }
    if (file_) {
        mmioClose(file_);
        file_ = nullptr;
    }
    samples_.clear();
    samples_.shrink_to_fit();
}

} // namespace file
