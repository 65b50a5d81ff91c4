// MP3 writer: LAME through its own lame_* functions, looked up by name at each open.
#include "mp3_writer.h"

#include <lame/lame.h>

#include <climits>

namespace file {

using namespace platform;

// The encoder's entry points, valid while its library is loaded.
struct Mp3Writer::Lame {
    decltype(&lame_init) init = nullptr;
    decltype(&lame_close) close = nullptr;
    decltype(&lame_set_in_samplerate) setInSampleRate = nullptr;
    decltype(&lame_set_num_channels) setChannels = nullptr;
    decltype(&lame_set_mode) setMode = nullptr;
    decltype(&lame_set_brate) setBitRate = nullptr;
    decltype(&lame_set_VBR) setVbr = nullptr;
    decltype(&lame_set_VBR_max_bitrate_kbps) setVbrMaxBitRate = nullptr;
    decltype(&lame_set_quality) setQuality = nullptr;
    decltype(&lame_set_error_protection) setCrc = nullptr;
    decltype(&lame_set_extension) setPrivate = nullptr;
    decltype(&lame_set_copyright) setCopyright = nullptr;
    decltype(&lame_set_original) setOriginal = nullptr;
    decltype(&lame_set_emphasis) setEmphasis = nullptr;
    decltype(&lame_set_bWriteVbrTag) setVbrTag = nullptr;
    decltype(&lame_init_params) initParams = nullptr;
    decltype(&lame_encode_buffer) encode = nullptr;
    decltype(&lame_encode_buffer_interleaved) encodeInterleaved = nullptr;
    decltype(&lame_encode_flush) flush = nullptr;

    bool bind(Library& library)
    {
        auto find = [&library](auto& entry, const char* name) {
            entry = library.function<std::remove_reference_t<decltype(entry)>>(name);
            return entry != nullptr;
        };
        return find(init, "lame_init") && find(close, "lame_close") &&
               find(setInSampleRate, "lame_set_in_samplerate") &&
               find(setChannels, "lame_set_num_channels") && find(setMode, "lame_set_mode") &&
               find(setBitRate, "lame_set_brate") && find(setVbr, "lame_set_VBR") &&
               find(setVbrMaxBitRate, "lame_set_VBR_max_bitrate_kbps") &&
               find(setQuality, "lame_set_quality") && find(setCrc, "lame_set_error_protection") &&
               find(setPrivate, "lame_set_extension") && find(setCopyright, "lame_set_copyright") &&
               find(setOriginal, "lame_set_original") && find(setEmphasis, "lame_set_emphasis") &&
               find(setVbrTag, "lame_set_bWriteVbrTag") && find(initParams, "lame_init_params") &&
               find(encode, "lame_encode_buffer") &&
               find(encodeInterleaved, "lame_encode_buffer_interleaved") &&
               find(flush, "lame_encode_flush");
    }
};

EncoderSettings encoderSettings(const WAVEFORMATEX& format, int kbps)
{
    EncoderSettings s;
    s.sampleRate = static_cast<int>(format.nSamplesPerSec);
    s.channels = format.nChannels;
    s.mode = format.nChannels == 1 ? MONO : STEREO;
    s.kbps = kbps;
    // The high-quality preset is LAME's quality 2 (its "-h"); a quality word of 0 is not a valid
    // quality word (its high byte must be the complement of the low one) and leaves it as is.
    s.quality = 2;
    s.crc = true;
    s.privateBit = true;
    s.copyright = true;
    s.original = true;
    s.vbrHeader = false;
    s.variableRate = false;
    return s;
}

Mp3Writer::Mp3Writer() : lame_(new Lame) {}

Mp3Writer::~Mp3Writer()
{
    uint64_t ignored = 0;
    close(ignored);
    delete lame_;
}

bool Mp3Writer::open(const char* path, const WAVEFORMATEX& format, int kbps,
                     const std::string& library)
{
    uint64_t ignored = 0;
    close(ignored);
    if (!path || format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
        (format.nChannels != 1 && format.nChannels != 2) || format.nSamplesPerSec == 0 ||
        format.nSamplesPerSec > INT_MAX || kbps <= 0)
        return false;
    if (!library_.loadSystem(library) || !lame_->bind(library_)) {
        release();
        return false;
    }
    encoder_ = lame_->init();
    if (!encoder_) {
        release();
        return false;
    }
    const EncoderSettings s = encoderSettings(format, kbps);
    lame_->setInSampleRate(encoder_, s.sampleRate);
    lame_->setChannels(encoder_, s.channels);
    lame_->setMode(encoder_, static_cast<MPEG_mode>(s.mode));
    // Constant bit rate: the configuration's VBR quality (5) reaches the encoder only with a
    // variable rate, as in the encoder's own interface; set here it would change the
    // psychoacoustic tuning of every frame and cost about 5 % more encoding time.
    lame_->setVbr(encoder_, vbr_off);
    lame_->setBitRate(encoder_, s.kbps);
    lame_->setVbrMaxBitRate(encoder_, s.kbps);
    lame_->setQuality(encoder_, s.quality);
    lame_->setCrc(encoder_, s.crc);
    lame_->setPrivate(encoder_, s.privateBit);
    lame_->setCopyright(encoder_, s.copyright);
    lame_->setOriginal(encoder_, s.original);
    lame_->setEmphasis(encoder_, 0);
    lame_->setVbrTag(encoder_, s.vbrHeader);
    if (lame_->initParams(encoder_) < 0) {
        release();
        return false;
    }
    // No lock of its own: the recorder creates its takes exclusively and holds a lock on each
    // (which a second lock here would collide with).
    file_ = mmioOpen(path, MMIO_CREATE | MMIO_WRITE);
    if (!file_) {
        release();
        return false;
    }
    channels_ = s.channels;
    // Room for a second of sound; a larger block grows it once.
    output_.assign(static_cast<size_t>(s.sampleRate) * 5 / 4 + 7200, 0);
    pending_ = 0;
    pieces_.clear();
    pendingFrames_ = 0;
    flushFrames_ = static_cast<uint64_t>(s.sampleRate) / 2;
    return true;
}

bool Mp3Writer::write(const void* bytes, uint32_t count, uint64_t& mp3Bytes)
{
    if (!file_ || (!bytes && count > 0))
        return false;
    const int frames = static_cast<int>(count / 2 / static_cast<uint32_t>(channels_));
    if (frames == 0)
        return true;
    // The encoder's worst case for this many frames, after the frames already gathered.
    const size_t room = static_cast<size_t>(frames) * 5 / 4 + 7200;
    if (output_.size() < pending_ + room)
        output_.resize(pending_ + room);
    const auto* pcm = static_cast<const short*>(bytes);
    uint8_t* out = output_.data() + pending_;
    const int size = static_cast<int>(room < INT_MAX ? room : INT_MAX);
    int produced = channels_ == 2 ? lame_->encodeInterleaved(encoder_, const_cast<short*>(pcm),
                                                             frames, out, size)
                                  : lame_->encode(encoder_, pcm, pcm, frames, out, size);
    if (produced < 0)
        return false;
    if (produced > 0) {
        pending_ += static_cast<size_t>(produced);
        pieces_.push_back(static_cast<uint32_t>(produced));
    }
    pendingFrames_ += static_cast<uint64_t>(frames);
    return pendingFrames_ < flushFrames_ || writeOut(mp3Bytes);
}

bool Mp3Writer::writeBlock(const void* bytes, uint32_t count)
{
    uint64_t encoded = 0;
    bool ok = write(bytes, count, encoded);
    addStored(encoded);
    return ok;
}

bool Mp3Writer::finish()
{
    uint64_t encoded = 0;
    bool ok = close(encoded);
    addStored(encoded);
    return ok;
}

bool Mp3Writer::writeOut(uint64_t& mp3Bytes)
{
    pendingFrames_ = 0;
    if (pending_ == 0)
        return true;
    const bool ok = mmioWrite(file_, output_.data(), static_cast<int32_t>(pending_)) ==
                    static_cast<int32_t>(pending_);
    if (ok) {
        mp3Bytes += pending_;
    } else {
        // A write that does not fit is undone whole; the encoder's pieces that still fit go in
        // one by one, so that a full disk keeps every frame it has room for.
        size_t written = 0;
        for (uint32_t piece : pieces_) {
            if (mmioWrite(file_, output_.data() + written, static_cast<int32_t>(piece)) !=
                static_cast<int32_t>(piece))
                break;
            written += piece;
        }
        mp3Bytes += written;
    }
    pending_ = 0;
    pieces_.clear();
    return ok;
}

bool Mp3Writer::close(uint64_t& mp3Bytes)
{
    if (!file_) {
        release();
        return false;
    }
    // The encoder's last frames join those still gathered, and all go into the file.
    if (output_.size() < pending_ + 7200)
        output_.resize(pending_ + 7200);
    int produced = lame_->flush(encoder_, output_.data() + pending_,
                                static_cast<int>(output_.size() - pending_));
    if (produced > 0) {
        pending_ += static_cast<size_t>(produced);
        pieces_.push_back(static_cast<uint32_t>(produced));
    }
    bool ok = writeOut(mp3Bytes) && produced >= 0;
    ok = mmioClose(file_) == MMSYSERR_NOERROR && ok;
    file_ = nullptr;
    release();
    return ok;
}

void Mp3Writer::release()
{
    if (encoder_) {
        lame_->close(encoder_);
        encoder_ = nullptr;
    }
    if (file_) {
        mmioClose(file_);
        file_ = nullptr;
    }
    *lame_ = Lame{};
    library_.unload();
    output_.clear();
    output_.shrink_to_fit();
    pending_ = 0;
    pieces_.clear();
    pendingFrames_ = 0;
}

} // namespace file
