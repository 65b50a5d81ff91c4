// The writer: PCM in, an ASF file out. Standard profiles encode as WMA version 2; the lossless
// profile stores the PCM itself; voice profiles and standard profiles under the encoder's lowest
// bit rate use WMA version 2 at that lowest rate. Encoding runs on the caller's thread.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "objects.h"
#include "platform/file_io.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace wmv {
namespace {

// The WMA version 2 encoder refuses anything below this.
constexpr int64_t kLowestWmaBitrate = 24000;
// PCM has no frame of its own: packets of this many sample frames fit whole into the
// container's packets, so that a seek lands on the start of one.
constexpr int kPcmFrameSamples = 512;

struct Encoding {
    AVCodecID codec;
    int64_t bitrate;
};

// The sizes and times of an ASF file's header, kept up to date while the file is written, so
// that a recording cut short (the program killed, the power gone) reads as what it holds up to
// its last refresh. The muxer writes the real values at the close; until then the header holds
// placeholders, which readers take for an empty file.
class AsfHeaderRefresh {
public:
    // Finds the fields in the header the muxer has just written (and flushed) to path.
    bool locate(const std::string& path)
    {
        fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        std::vector<uint8_t> head(kSearchBytes);
        platform::IoResult got = platform::readAllAt(fd_, head.data(), head.size(), 0);
        if (!got.ok() || got.bytes == 0) {
            release();
            return false;
        }
        head.resize(got.bytes);
        fileProps_ = find(head, kFilePropertiesGuid);
        data_ = find(head, kDataGuid);
        // File properties: file id at +24, file size at +40, packets at +56, play duration at
        // +64, send duration at +72, preroll (ms) at +80, flags at +88, packet sizes at +92.
        if (fileProps_ < 0 || data_ < 0 || size_t(fileProps_) + 100 > head.size() ||
            size_t(data_) + kDataHeaderBytes > head.size()) {
            release();
            return false;
        }
        prerollMs_ = read64(head, size_t(fileProps_) + 80);
        packetSize_ = read32(head, size_t(fileProps_) + 92);
        if (packetSize_ == 0) {
            release();
            return false;
        }
        return true;
    }

    // The file holds fileBytes (every byte the muxer wrote) and duration (100-ns units) of sound.
    bool refresh(uint64_t fileBytes, uint64_t duration)
    {
        if (fd_ < 0 || fileBytes < uint64_t(data_) + kDataHeaderBytes)
            return fd_ < 0;
        const uint64_t dataBytes = fileBytes - uint64_t(data_);
        const uint64_t packets = (dataBytes - kDataHeaderBytes) / packetSize_;
        std::array<uint8_t, 8> field;
        auto put = [&](uint64_t value, int64_t at) {
            for (size_t i = 0; i < field.size(); ++i)
                field[i] = uint8_t(value >> (8 * i));
            return platform::writeAllAt(fd_, field.data(), field.size(), at).ok();
        };
        return put(fileBytes, fileProps_ + 40) && put(packets, fileProps_ + 56) &&
               put(duration + prerollMs_ * 10000, fileProps_ + 64) &&
               put(duration, fileProps_ + 72) && put(dataBytes, data_ + 16) &&
               put(packets, data_ + 40);
    }

    void release()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

    ~AsfHeaderRefresh() { release(); }

private:
    static constexpr size_t kSearchBytes = 16384;
    // Data object: GUID, size, file id, packet count, two reserved bytes.
    static constexpr uint64_t kDataHeaderBytes = 50;
    // 8CABDCA1-A947-11CF-8EE4-00C00C205365 and 75B22636-668E-11CF-A6D9-00AA0062CE6C as stored.
    static constexpr std::array<uint8_t, 16> kFilePropertiesGuid = {
        0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    static constexpr std::array<uint8_t, 16> kDataGuid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66,
                                                          0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA,
                                                          0x00, 0x62, 0xCE, 0x6C};

    static int64_t find(const std::vector<uint8_t>& bytes, const std::array<uint8_t, 16>& guid)
    {
        auto at = std::search(bytes.begin(), bytes.end(), guid.begin(), guid.end());
        return at == bytes.end() ? -1 : at - bytes.begin();
    }
    static uint64_t read64(const std::vector<uint8_t>& bytes, size_t at)
    {
        uint64_t value = 0;
        for (size_t i = 0; i < 8; ++i)
            value |= uint64_t(bytes[at + i]) << (8 * i);
        return value;
    }
    static uint32_t read32(const std::vector<uint8_t>& bytes, size_t at)
    {
        return uint32_t(read64(bytes, at) & 0xFFFFFFFFu);
    }

    int fd_ = -1;
    int64_t fileProps_ = -1;
    int64_t data_ = -1;
    uint64_t prerollMs_ = 0;
    uint32_t packetSize_ = 0;
};

Encoding encodingFor(const ProfileData& profile)
{
    if (profile.formatTag == kTagLossless)
        return {AV_CODEC_ID_PCM_S16LE, int64_t(profile.samplesPerSec) * profile.channels * 16};
    if (profile.formatTag == kTagVoice)
        return {AV_CODEC_ID_WMAV2, kLowestWmaBitrate};
    return {AV_CODEC_ID_WMAV2, std::max<int64_t>(profile.bitrate, kLowestWmaBitrate)};
}

bool profileSupported(const ProfileData& p)
{
    const bool knownTag =
        p.formatTag == kTagStandard || p.formatTag == kTagLossless || p.formatTag == kTagVoice;
    return knownTag && p.bitsPerSample == 16 && p.channels >= 1 && p.channels <= 2 &&
           p.samplesPerSec >= 4000 && p.samplesPerSec <= 48000;
}

class Writer final : public RefCounted<IWMWriter> {
public:
    ~Writer() override
    {
        // A recording still open is finished rather than lost.
        if (writing_)
            EndWriting();
        if (profile_)
            profile_->Release();
    }

    HRESULT SetProfile(IWMProfile* profile) override;
    HRESULT GetInputCount(uint32_t* count) override;
    HRESULT GetInputProps(uint32_t input, IWMMediaProps** props) override;
    HRESULT SetOutputFilename(const char* path) override;
    HRESULT BeginWriting() override;
    HRESULT EndWriting() override;
    HRESULT AllocateSample(uint32_t size, INSSBuffer** sample) override;
    HRESULT WriteSample(uint32_t input, uint64_t time, uint32_t flags, INSSBuffer* sample) override;
    HRESULT GetStatistics(uint16_t streamNumber, WM_WRITER_STATISTICS* stats) override;

private:
    HRESULT openEncoder();
    HRESULT encode(const uint8_t* samples, int frames);
    HRESULT drainPackets();
    void closeEncoder();

    Profile* profile_ = nullptr;
    std::string path_;
    bool writing_ = false;

    AVFormatContext* format_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int frameSamples_ = 0;
    int64_t nextPts_ = 0;
    // Where the file was last handed to the system, in samples: at least once a second the
    // muxer's buffer goes to the file, so a recording killed mid-take keeps all but its last
    // second.
    int64_t flushedPts_ = 0;
    AsfHeaderRefresh header_;
    // Input bytes waiting for a whole encoder frame (always less than one frame).
    std::vector<uint8_t> pending_;
    HRESULT writeError_ = S_OK;

    // Counters read by GetStatistics, possibly from another thread than the writing one.
    std::atomic<uint64_t> samples_{0};
    std::atomic<uint64_t> encodedBytes_{0};
    std::atomic<uint64_t> lastTime_{0};
};

HRESULT Writer::SetProfile(IWMProfile* profile)
{
    if (writing_)
        return NS_E_INVALID_REQUEST;
    auto* ours = dynamic_cast<Profile*>(profile);
    if (!ours)
        return E_INVALIDARG;
    if (!profileSupported(ours->data()))
        return NS_E_INVALID_DATA;
    ours->AddRef();
    if (profile_)
        profile_->Release();
    profile_ = ours;
    return S_OK;
}

HRESULT Writer::GetInputCount(uint32_t* count)
{
    if (!count)
        return E_POINTER;
    if (!profile_)
        return NS_E_INVALID_REQUEST;
    *count = 1;
    return S_OK;
}

HRESULT Writer::GetInputProps(uint32_t input, IWMMediaProps** props)
{
    if (!props)
        return E_POINTER;
    *props = nullptr;
    if (!profile_)
        return NS_E_INVALID_REQUEST;
    if (input != 0)
        return E_INVALIDARG;
    *props = makePcmProps(profile_->data().samplesPerSec, profile_->data().channels);
    return S_OK;
}

HRESULT Writer::SetOutputFilename(const char* path)
{
    if (!path || !*path)
        return E_INVALIDARG;
    if (writing_)
        return NS_E_INVALID_REQUEST;
    path_ = path;
    return S_OK;
}

HRESULT Writer::BeginWriting()
{
    if (writing_ || !profile_ || path_.empty())
        return NS_E_INVALID_REQUEST;
    HRESULT hr = openEncoder();
    if (failed(hr)) {
        const bool created = format_ && format_->pb;
        closeEncoder();
        // Nothing of a recording is in a file whose header could not be written.
        if (created)
            std::remove(path_.c_str());
        return hr;
    }
    pending_.clear();
    nextPts_ = 0;
    flushedPts_ = 0;
    writeError_ = S_OK;
    samples_ = 0;
    encodedBytes_ = 0;
    lastTime_ = 0;
    writing_ = true;
    return S_OK;
}

HRESULT Writer::openEncoder()
{
    const ProfileData& p = profile_->data();
    const Encoding encoding = encodingFor(p);
    if (avformat_alloc_output_context2(&format_, nullptr, "asf", path_.c_str()) < 0 || !format_)
        return E_OUTOFMEMORY;
    const AVCodec* codec = avcodec_find_encoder(encoding.codec);
    if (!codec)
        return NS_E_INVALID_DATA;
    encoder_ = avcodec_alloc_context3(codec);
    if (!encoder_)
        return E_OUTOFMEMORY;
    encoder_->sample_rate = static_cast<int>(p.samplesPerSec);
    av_channel_layout_default(&encoder_->ch_layout, p.channels);
    encoder_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    encoder_->bit_rate = encoding.bitrate;
    encoder_->time_base = AVRational{1, static_cast<int>(p.samplesPerSec)};
    if (format_->oformat->flags & AVFMT_GLOBALHEADER)
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder_, codec, nullptr) < 0)
        return NS_E_INVALID_DATA;
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, encoder_) < 0)
        return E_OUTOFMEMORY;
    stream_->time_base = encoder_->time_base;
    if (avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE) < 0)
        return NS_E_FILE_OPEN_FAILED;
    if (avformat_write_header(format_, nullptr) < 0)
        return NS_E_FILE_WRITE;
    avio_flush(format_->pb);
    // Without the fields found the file is still written whole; only a cut-short one suffers.
    header_.locate(path_);
    frameSamples_ = encoder_->frame_size > 0 ? encoder_->frame_size : kPcmFrameSamples;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!frame_ || !packet_)
        return E_OUTOFMEMORY;
    frame_->format = encoder_->sample_fmt;
    frame_->nb_samples = frameSamples_;
    frame_->sample_rate = encoder_->sample_rate;
    if (av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout) < 0 ||
        av_frame_get_buffer(frame_, 0) < 0)
        return E_OUTOFMEMORY;
    return S_OK;
}

void Writer::closeEncoder()
{
    header_.release();
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&encoder_);
    if (format_) {
        if (format_->pb)
            avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    stream_ = nullptr;
}

// samples: interleaved 16-bit, not necessarily aligned.
HRESULT Writer::encode(const uint8_t* samples, int frames)
{
    if (av_frame_make_writable(frame_) < 0)
        return E_OUTOFMEMORY;
    const int channels = profile_->data().channels;
    frame_->nb_samples = frames;
    if (encoder_->sample_fmt == AV_SAMPLE_FMT_FLTP) {
        for (int c = 0; c < channels; ++c) {
            auto* out = reinterpret_cast<float*>(frame_->data[c]);
            const uint8_t* in = samples + c * 2;
            for (int i = 0; i < frames; ++i, in += channels * 2) {
                int16_t value;
                std::memcpy(&value, in, 2);
                out[i] = value * (1.0f / 32768.0f);
            }
            for (int i = frames; i < frameSamples_; ++i)
                out[i] = 0.0f;
        }
        // The encoder takes whole frames only: a short last frame is padded with silence.
        if (!(encoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
            frame_->nb_samples = frameSamples_;
    } else {
        std::memcpy(frame_->data[0], samples, size_t(frames) * channels * 2);
    }
    frame_->pts = nextPts_;
    nextPts_ += frame_->nb_samples;
    if (avcodec_send_frame(encoder_, frame_) < 0)
        return NS_E_INVALID_DATA;
    return drainPackets();
}

HRESULT Writer::drainPackets()
{
    for (;;) {
        int err = avcodec_receive_packet(encoder_, packet_);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return S_OK;
        if (err < 0)
            return NS_E_INVALID_DATA;
        av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        encodedBytes_ += static_cast<uint64_t>(packet_->size);
        err = av_write_frame(format_, packet_);
        av_packet_unref(packet_);
        if (err < 0 || format_->pb->error < 0)
            return NS_E_FILE_WRITE;
    }
}

HRESULT Writer::EndWriting()
{
    if (!writing_)
        return NS_E_INVALID_REQUEST;
    const size_t frameBytes = size_t(profile_->data().channels) * 2;
    HRESULT hr = writeError_;
    const size_t left = pending_.size() / frameBytes;
    if (!failed(hr) && left > 0)
        hr = encode(pending_.data(), static_cast<int>(left));
    if (!failed(hr)) {
        avcodec_send_frame(encoder_, nullptr);
        hr = drainPackets();
    }
    if (av_write_trailer(format_) < 0 && !failed(hr))
        hr = NS_E_FILE_WRITE;
    avio_flush(format_->pb);
    if (format_->pb->error < 0 && !failed(hr))
        hr = NS_E_FILE_WRITE;
    if (avio_closep(&format_->pb) < 0 && !failed(hr))
        hr = NS_E_FILE_WRITE;
    closeEncoder();
    pending_.clear();
    writing_ = false;
    return hr;
}

HRESULT Writer::AllocateSample(uint32_t size, INSSBuffer** sample)
{
    if (!sample)
        return E_POINTER;
    try {
        *sample = new Buffer(size);
    } catch (const std::bad_alloc&) {
        *sample = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT Writer::WriteSample(uint32_t input, uint64_t time, uint32_t, INSSBuffer* sample)
{
    if (!writing_)
        return NS_E_INVALID_REQUEST;
    if (input != 0 || !sample)
        return E_INVALIDARG;
    if (failed(writeError_))
        return writeError_;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (failed(sample->GetBufferAndLength(&data, &length)))
        return E_INVALIDARG;
    // Whole encoder frames are encoded straight from the caller's bytes; only a frame's worth
    // split between two calls waits in pending_.
    const size_t chunk = size_t(profile_->data().channels) * 2 * frameSamples_;
    HRESULT hr = S_OK;
    size_t at = 0;
    try {
        if (!pending_.empty()) {
            at = std::min<size_t>(chunk - pending_.size(), length);
            pending_.insert(pending_.end(), data, data + at);
            if (pending_.size() == chunk) {
                hr = encode(pending_.data(), frameSamples_);
                pending_.clear();
            }
        }
        for (; length - at >= chunk && !failed(hr); at += chunk)
            hr = encode(data + at, frameSamples_);
        if (!failed(hr))
            pending_.insert(pending_.end(), data + at, data + length);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    const int64_t rate = int64_t(profile_->data().samplesPerSec);
    if (!failed(hr) && nextPts_ - flushedPts_ >= rate) {
        flushedPts_ = nextPts_;
        avio_flush(format_->pb);
        if (format_->pb->error < 0 ||
            !header_.refresh(uint64_t(avio_tell(format_->pb)),
                             uint64_t(nextPts_) * 10'000'000 / uint64_t(rate)))
            hr = NS_E_FILE_WRITE;
    }
    ++samples_;
    lastTime_ = time;
    // A write that failed once (disk full) fails every later one: the file ends where it broke.
    writeError_ = hr;
    return hr;
}

HRESULT Writer::GetStatistics(uint16_t streamNumber, WM_WRITER_STATISTICS* stats)
{
    if (!stats)
        return E_POINTER;
    if (!profile_ || streamNumber != profile_->data().streamNumber)
        return E_INVALIDARG;
    const uint64_t time = lastTime_;
    const uint64_t bytes = encodedBytes_;
    const uint64_t samples = samples_;
    WM_WRITER_STATISTICS s{};
    s.qwSampleCount = samples;
    s.qwByteCount = bytes;
    if (time > 0) {
        s.dwAverageBitrate = static_cast<uint32_t>(bytes * 8 * 10'000'000 / time);
        // Sample rates are in samples per 1000 seconds.
        s.dwAverageSampleRate = static_cast<uint32_t>(samples * 1000 * 10'000'000 / time);
    }
    s.dwCurrentBitrate = s.dwAverageBitrate;
    s.dwCurrentSampleRate = s.dwAverageSampleRate;
    s.dwExpectedBitrate = static_cast<uint32_t>(encodingFor(profile_->data()).bitrate);
    s.dwExpectedSampleRate = s.dwAverageSampleRate;
    *stats = s;
    return S_OK;
}

} // namespace

IWMWriter* createWriter()
{
    return new Writer();
}

} // namespace wmv
