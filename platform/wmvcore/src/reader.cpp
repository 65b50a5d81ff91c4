// The asynchronous reader: opens any file FFmpeg decodes on a thread of its own, reports its
// progress through the caller's callback and delivers 16-bit PCM from the same thread, never past
// the time the caller's clock has reached.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "objects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace wmv {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kUnits = 10'000'000; // 100-ns units per second
// Opening gives up on a file whose probing takes longer than this.
constexpr auto kOpenLimit = std::chrono::seconds(20);
// Decoded sound is handed over in pieces of at least a fifth of a second (or up to the clock),
// not one decoder frame at a time.
constexpr uint32_t kPiecesPerSecond = 5;

// Frames of a stream at that rate from base up to time (0 before base).
uint64_t framesUntil(uint64_t base, uint64_t time, uint32_t rate)
{
    if (time <= base)
        return 0;
    const unsigned __int128 span = time - base;
    return static_cast<uint64_t>(span * rate / kUnits);
}

uint64_t timeOfFrame(uint64_t base, uint64_t frame, uint32_t rate)
{
    return base + static_cast<uint64_t>(static_cast<unsigned __int128>(frame) * kUnits / rate);
}

// One output of the open file. Audio outputs are decoded; other kinds are listed only.
struct Output {
    int stream = -1;
    bool audio = false;
    uint32_t rate = 0;
    uint16_t channels = 0;
    AVCodecContext* decoder = nullptr;
    SwrContext* resampler = nullptr;
    AVChannelLayout resamplerLayout{};
    int resamplerFormat = -1;
    int resamplerRate = 0;

    // Delivery since the last start: time of frame 0, frames still to drop before the start
    // position, frames delivered, and decoded bytes waiting for the clock.
    bool based = false;
    uint64_t base = 0;
    uint64_t skip = 0;
    uint64_t delivered = 0;
    std::vector<uint8_t> pcm;
    size_t offset = 0;

    size_t frameBytes() const { return size_t(channels) * 2; }
    size_t pendingFrames() const { return (pcm.size() - offset) / frameBytes(); }
    uint64_t pieceFrames() const { return std::max<uint64_t>(1, rate / kPiecesPerSecond); }
    // Frames the clock lets through beyond those delivered.
    uint64_t room(uint64_t allowed) const
    {
        const uint64_t limit = framesUntil(base, allowed, rate);
        return limit > delivered ? limit - delivered : 0;
    }
    void resetDelivery()
    {
        based = false;
        base = skip = delivered = 0;
        pcm.clear();
        offset = 0;
    }
};

struct OutputInfo {
    GUID major;
    uint32_t rate;
    uint16_t channels;
};

struct Attribute {
    WMT_ATTR_DATATYPE type;
    std::vector<uint8_t> value;
};

enum class State { Closed, Opening, Open, OpenFailed };

class Reader final : public RefCounted<IWMReader> {
public:
    ~Reader() override;

    HRESULT Open(const char* path, IWMReaderCallback* callback, void* context) override;
    HRESULT Close() override;
    HRESULT GetOutputCount(uint32_t* count) override;
    HRESULT GetOutputProps(uint32_t output, IWMMediaProps** props) override;
    HRESULT Start(uint64_t start, uint64_t duration, float rate, void* context) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Resume() override;
    HRESULT SetUserProvidedClock(bool userClock) override;
    HRESULT DeliverTime(uint64_t time) override;
    HRESULT GetProfile(IWMProfile** profile) override;
    HRESULT GetAttributeByName(uint16_t stream, const char* name, WMT_ATTR_DATATYPE* type,
                               uint8_t* value, uint16_t* length) override;

private:
    enum class Command { None, Close, Stop, Start };

    void shutDownThread();
    void run(std::string path);
    HRESULT openFile(const std::string& path, bool publish);
    int64_t measuredDuration();
    void closeFile();
    void report(WMT_STATUS status, HRESULT hr);
    Command waitForWork(uint64_t& allowed);
    uint64_t allowedTimeLocked() const;
    bool canProgress(uint64_t allowed) const;
    void startPlayback();
    void step(uint64_t allowed);
    bool gathering(const Output& output, uint64_t allowed) const;
    bool deliver(Output& output, uint64_t allowed, bool whole);
    void readPacket();
    void receiveFrames(Output& output);
    void appendFrame(Output& output, const AVFrame* frame);
    static int interrupted(void* self);

    // Shared between the callers' threads and the reader's thread, under mutex_. Callers write
    // the requests and the clock; the thread takes the requests and publishes state and info.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    State state_ = State::Closed;
    bool abort_ = false;
    bool closeRequested_ = false;
    bool stopRequested_ = false;
    bool startRequested_ = false;
    bool paused_ = false;
    bool userClock_ = false;
    uint64_t clock_ = 0;
    uint64_t requestedStart_ = 0;
    uint64_t requestedDuration_ = 0;
    Clock::time_point epoch_{}; // real-time clock: when playback at requestedStart_ began
    Clock::time_point pausedAt_{};
    std::vector<OutputInfo> outputInfo_;
    uint32_t bitrate_ = 0;
    std::map<std::string, Attribute> attributes_;
    IWMReaderCallback* callback_ = nullptr;
    void* context_ = nullptr;
    std::thread thread_;
    // Read by FFmpeg's blocking calls on the reader's thread; set by Close and Release.
    std::atomic<bool> interrupt_{false};
    std::atomic<int64_t> openDeadline_{0};

    // The reader's thread alone.
    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::vector<Output> outputs_;
    std::vector<uint8_t> converted_;
    bool playing_ = false;
    bool inputEnded_ = false;
    bool readSinceOpen_ = false;
    uint64_t playStart_ = 0;
    uint64_t playEnd_ = 0; // 0: to the end of the file
};

Reader::~Reader()
{
    shutDownThread();
}

void Reader::shutDownThread()
{
    {
        std::lock_guard lock(mutex_);
        abort_ = true;
        interrupt_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

HRESULT Reader::Open(const char* path, IWMReaderCallback* callback, void* context)
{
    if (!path || !*path || !callback)
        return E_INVALIDARG;
    // A reader still busy with another file lets it go without reports.
    shutDownThread();
    std::lock_guard lock(mutex_);
    abort_ = closeRequested_ = stopRequested_ = startRequested_ = paused_ = false;
    interrupt_ = false;
    clock_ = 0;
    outputInfo_.clear();
    attributes_.clear();
    bitrate_ = 0;
    callback_ = callback;
    context_ = context;
    state_ = State::Opening;
    try {
        thread_ = std::thread(&Reader::run, this, std::string(path));
    } catch (const std::system_error&) {
        state_ = State::Closed;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT Reader::Close()
{
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed || closeRequested_)
            return NS_E_INVALID_REQUEST;
        closeRequested_ = true;
        interrupt_ = true;
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT Reader::GetOutputCount(uint32_t* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    if (state_ != State::Open)
        return NS_E_INVALID_REQUEST;
    *count = static_cast<uint32_t>(outputInfo_.size());
    return S_OK;
}

HRESULT Reader::GetOutputProps(uint32_t output, IWMMediaProps** props)
{
    if (!props)
        return E_POINTER;
    *props = nullptr;
    std::lock_guard lock(mutex_);
    if (state_ != State::Open)
        return NS_E_INVALID_REQUEST;
    if (output >= outputInfo_.size())
        return E_INVALIDARG;
    const OutputInfo& info = outputInfo_[output];
    if (info.major == WMMEDIATYPE_Audio)
        *props = makePcmProps(info.rate, info.channels);
    else
        *props = new MediaProps(info.major, GUID{}, WMFORMAT_None, {}, 0);
    return S_OK;
}

HRESULT Reader::Start(uint64_t start, uint64_t duration, float, void*)
{
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Open || closeRequested_)
            return NS_E_INVALID_REQUEST;
        startRequested_ = true;
        stopRequested_ = false;
        paused_ = false;
        requestedStart_ = start;
        requestedDuration_ = duration;
        // Nothing of the new playback passes until the clock is given again.
        clock_ = 0;
        epoch_ = Clock::now();
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT Reader::Stop()
{
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Open || closeRequested_)
            return NS_E_INVALID_REQUEST;
        stopRequested_ = true;
        startRequested_ = false;
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT Reader::Pause()
{
    std::lock_guard lock(mutex_);
    if (state_ != State::Open)
        return NS_E_INVALID_REQUEST;
    if (!paused_)
        pausedAt_ = Clock::now();
    paused_ = true;
    return S_OK;
}

HRESULT Reader::Resume()
{
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Open)
            return NS_E_INVALID_REQUEST;
        if (paused_)
            epoch_ += Clock::now() - pausedAt_;
        paused_ = false;
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT Reader::SetUserProvidedClock(bool userClock)
{
    {
        std::lock_guard lock(mutex_);
        userClock_ = userClock;
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT Reader::DeliverTime(uint64_t time)
{
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Open || !userClock_)
            return NS_E_INVALID_REQUEST;
        // A clock that does not move lets nothing more through: the thread is not woken for it.
        if (time <= clock_)
            return S_OK;
        clock_ = time;
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT Reader::GetProfile(IWMProfile** profile)
{
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    std::lock_guard lock(mutex_);
    if (state_ != State::Open)
        return NS_E_INVALID_REQUEST;
    std::vector<uint32_t> bitrates(outputInfo_.empty() ? 0 : 1, bitrate_);
    *profile = new Profile(std::move(bitrates));
    return S_OK;
}

HRESULT Reader::GetAttributeByName(uint16_t stream, const char* name, WMT_ATTR_DATATYPE* type,
                                   uint8_t* value, uint16_t* length)
{
    if (!name || !type || !length)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    if (state_ != State::Open)
        return NS_E_INVALID_REQUEST;
    auto it = attributes_.end();
    for (auto i = attributes_.begin(); i != attributes_.end(); ++i)
        if (strcasecmp(i->first.c_str(), name) == 0)
            it = i;
    if (stream != 0 || it == attributes_.end())
        return ASF_E_NOTFOUND;
    const Attribute& attribute = it->second;
    *type = attribute.type;
    const auto size = static_cast<uint16_t>(attribute.value.size());
    if (value) {
        if (*length < size)
            return E_INVALIDARG;
        std::memcpy(value, attribute.value.data(), size);
    }
    *length = size;
    return S_OK;
}

void Reader::report(WMT_STATUS status, HRESULT hr)
{
    {
        std::lock_guard lock(mutex_);
        if (abort_)
            return;
    }
    callback_->OnStatus(status, hr, context_);
}

int Reader::interrupted(void* self)
{
    auto* reader = static_cast<Reader*>(self);
    if (reader->interrupt_)
        return 1;
    const int64_t deadline = reader->openDeadline_;
    return deadline != 0 && Clock::now().time_since_epoch().count() > deadline;
}

void Reader::run(std::string path)
{
    path_ = std::move(path);
    HRESULT hr = openFile(path_, true);
    {
        std::lock_guard lock(mutex_);
        if (abort_) {
            closeFile();
            return;
        }
        state_ = failed(hr) ? State::OpenFailed : State::Open;
    }
    report(WMT_OPENED, hr);
    for (;;) {
        uint64_t allowed = 0;
        switch (waitForWork(allowed)) {
        case Command::Close:
            closeFile();
            {
                std::lock_guard lock(mutex_);
                if (abort_)
                    return;
                state_ = State::Closed;
            }
            report(WMT_CLOSED, S_OK);
            return;
        case Command::Stop:
            playing_ = false;
            for (Output& output : outputs_)
                output.resetDelivery();
            report(WMT_STOPPED, S_OK);
            break;
        case Command::Start:
            startPlayback();
            report(WMT_STARTED, S_OK);
            break;
        case Command::None:
            step(allowed);
            break;
        }
        std::lock_guard lock(mutex_);
        if (abort_) {
            closeFile();
            return;
        }
    }
}

Reader::Command Reader::waitForWork(uint64_t& allowed)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (abort_ || closeRequested_)
            return Command::Close;
        if (stopRequested_) {
            stopRequested_ = false;
            return Command::Stop;
        }
        if (startRequested_) {
            startRequested_ = false;
            playStart_ = requestedStart_;
            playEnd_ = requestedDuration_ ? requestedStart_ + requestedDuration_ : 0;
            return Command::Start;
        }
        if (playing_ && !paused_) {
            allowed = allowedTimeLocked();
            if (canProgress(allowed))
                return Command::None;
            if (!userClock_) {
                wake_.wait_for(lock, std::chrono::milliseconds(5));
                continue;
            }
        }
        wake_.wait(lock);
    }
}

uint64_t Reader::allowedTimeLocked() const
{
    uint64_t allowed = clock_;
    if (!userClock_) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - epoch_);
        allowed =
            requestedStart_ + static_cast<uint64_t>(std::max<int64_t>(0, elapsed.count())) / 100;
    }
    if (playEnd_ != 0)
        allowed = std::min(allowed, playEnd_);
    return allowed;
}

bool Reader::canProgress(uint64_t allowed) const
{
    bool anyPending = false;
    for (const Output& output : outputs_) {
        if (!output.audio || output.pendingFrames() == 0)
            continue;
        anyPending = true;
        const uint64_t limit = framesUntil(output.base, allowed, output.rate);
        if (limit > output.delivered)
            return true;
        if (playEnd_ != 0 && framesUntil(output.base, playEnd_, output.rate) <= output.delivered)
            return true; // the rest lies past the requested end and is dropped
    }
    return !anyPending;
}

void Reader::startPlayback()
{
    for (Output& output : outputs_) {
        output.resetDelivery();
        if (output.decoder)
            avcodec_flush_buffers(output.decoder);
    }
    inputEnded_ = false;
    playing_ = true;
    if (!format_) {
        inputEnded_ = true;
        return;
    }
    if (!readSinceOpen_ && playStart_ == 0)
        return;
    int64_t target = static_cast<int64_t>(playStart_ / 10);
    if (format_->start_time != AV_NOPTS_VALUE)
        target += format_->start_time;
    if (avformat_seek_file(format_, -1, INT64_MIN, target, target, 0) >= 0 ||
        av_seek_frame(format_, -1, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        readSinceOpen_ = true;
        return;
    }
    // A file that cannot seek is read again from its beginning; frames before the start position
    // are dropped as they are decoded.
    closeFile();
    if (failed(openFile(path_, false)))
        inputEnded_ = true;
}

// Whether an output decodes more before it delivers: it gathers up to what the clock lets
// through, and hands over whole pieces once it holds at least one.
bool Reader::gathering(const Output& output, uint64_t allowed) const
{
    if (inputEnded_)
        return false;
    const uint64_t pending = output.pendingFrames();
    return pending < output.room(allowed) && pending < output.pieceFrames();
}

void Reader::step(uint64_t allowed)
{
    // An output the clock holds back stops the reading: the others then deliver what they have.
    bool clockHolds = false;
    for (const Output& output : outputs_)
        clockHolds |= output.audio && output.pendingFrames() > 0 && output.room(allowed) == 0;
    bool held = false;
    bool wantsMore = false;
    for (Output& output : outputs_) {
        if (!output.audio || output.pendingFrames() == 0)
            continue;
        if (!clockHolds && gathering(output, allowed)) {
            wantsMore = true;
            continue;
        }
        if (!deliver(output, allowed, !clockHolds && !inputEnded_))
            return; // aborted or closed while the callback ran
        held |= output.pendingFrames() > 0;
    }
    if (held && !wantsMore)
        return;
    if (!inputEnded_) {
        readPacket();
        return;
    }
    if (held)
        return;
    playing_ = false;
    report(WMT_EOF, S_OK);
}

// Delivers what the clock lets through; whole: only whole pieces of what is short of the clock
// (the rest waits for the next packets).
bool Reader::deliver(Output& output, uint64_t allowed, bool whole)
{
    uint64_t limit = framesUntil(output.base, allowed, output.rate);
    if (playEnd_ != 0) {
        const uint64_t end = framesUntil(output.base, playEnd_, output.rate);
        if (output.delivered >= end) {
            // Past the requested end: nothing more is read or delivered.
            output.pcm.clear();
            output.offset = 0;
            inputEnded_ = true;
            return true;
        }
    }
    if (limit <= output.delivered)
        return true;
    uint64_t frames = std::min<uint64_t>(limit - output.delivered, output.pendingFrames());
    if (whole && frames < limit - output.delivered)
        frames -= frames % output.pieceFrames();
    if (frames == 0)
        return true;
    const size_t bytes = frames * output.frameBytes();
    const uint64_t time = timeOfFrame(output.base, output.delivered, output.rate);
    const uint64_t end = timeOfFrame(output.base, output.delivered + frames, output.rate);
    Buffer view(output.pcm.data() + output.offset, static_cast<uint32_t>(bytes));
    {
        std::lock_guard lock(mutex_);
        // Nothing of the old playback follows a new request.
        if (abort_ || closeRequested_ || stopRequested_ || startRequested_)
            return false;
    }
    const uint32_t index = static_cast<uint32_t>(&output - outputs_.data());
    callback_->OnSample(index, time, end - time, 0, &view, context_);
    output.offset += bytes;
    output.delivered += frames;
    if (output.offset >= output.pcm.size()) {
        output.pcm.clear();
        output.offset = 0;
    }
    return true;
}

void Reader::readPacket()
{
    readSinceOpen_ = true;
    int err = av_read_frame(format_, packet_);
    if (err == AVERROR(EAGAIN))
        return;
    if (err < 0) {
        // The end of the file, or as far as a damaged file can be read: the decoders give up
        // what they still hold.
        for (Output& output : outputs_) {
            if (output.decoder && avcodec_send_packet(output.decoder, nullptr) >= 0)
                receiveFrames(output);
        }
        inputEnded_ = true;
        return;
    }
    for (Output& output : outputs_) {
        if (output.stream == packet_->stream_index && output.decoder) {
            // A packet the decoder refuses (damaged data) is skipped.
            if (avcodec_send_packet(output.decoder, packet_) >= 0)
                receiveFrames(output);
            break;
        }
    }
    av_packet_unref(packet_);
}

void Reader::receiveFrames(Output& output)
{
    for (;;) {
        int err = avcodec_receive_frame(output.decoder, frame_);
        if (err < 0)
            return;
        if (frame_->nb_samples > 0)
            appendFrame(output, frame_);
        av_frame_unref(frame_);
    }
}

void Reader::appendFrame(Output& output, const AVFrame* frame)
{
    AVChannelLayout inLayout{};
    if (frame->ch_layout.nb_channels > 0)
        av_channel_layout_copy(&inLayout, &frame->ch_layout);
    else
        av_channel_layout_default(&inLayout, output.decoder->ch_layout.nb_channels);
    const int inRate = frame->sample_rate > 0 ? frame->sample_rate : static_cast<int>(output.rate);
    if (!output.resampler || output.resamplerFormat != frame->format ||
        output.resamplerRate != inRate ||
        av_channel_layout_compare(&output.resamplerLayout, &inLayout) != 0) {
        swr_free(&output.resampler);
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, output.channels);
        if (swr_alloc_set_opts2(
                &output.resampler, &outLayout, AV_SAMPLE_FMT_S16, static_cast<int>(output.rate),
                &inLayout, static_cast<AVSampleFormat>(frame->format), inRate, 0, nullptr) < 0 ||
            swr_init(output.resampler) < 0) {
            swr_free(&output.resampler);
            av_channel_layout_uninit(&inLayout);
            return;
        }
        av_channel_layout_uninit(&output.resamplerLayout);
        output.resamplerLayout = inLayout;
        output.resamplerFormat = frame->format;
        output.resamplerRate = inRate;
    } else {
        av_channel_layout_uninit(&inLayout);
    }
    const int room = swr_get_out_samples(output.resampler, frame->nb_samples);
    if (room <= 0)
        return;
    converted_.resize(size_t(room) * output.frameBytes());
    uint8_t* out[1] = {converted_.data()};
    const int frames =
        swr_convert(output.resampler, out, room, const_cast<const uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    if (frames <= 0)
        return;

    if (!output.based) {
        // The first frame after a start fixes the time line; what lies before the start
        // position (the seek lands on an earlier packet) is dropped.
        uint64_t time = playStart_;
        const int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            AVStream* stream = format_->streams[output.stream];
            int64_t offset = pts;
            if (stream->start_time != AV_NOPTS_VALUE)
                offset -= stream->start_time;
            time = static_cast<uint64_t>(std::max<int64_t>(
                0, av_rescale_q(offset, stream->time_base, AVRational{1, 10'000'000})));
        }
        output.based = true;
        if (time < playStart_) {
            output.skip = framesUntil(time, playStart_, output.rate);
            output.base = playStart_;
        } else {
            output.base = time;
        }
    }
    size_t first = 0;
    if (output.skip > 0) {
        first = static_cast<size_t>(std::min<uint64_t>(output.skip, static_cast<uint64_t>(frames)));
        output.skip -= first;
    }
    // What was delivered is let go once it is at least half of what is held, so that the
    // buffer does not grow while a remainder always waits for the next packets.
    if (output.offset > 0 && output.offset * 2 >= output.pcm.size()) {
        output.pcm.erase(output.pcm.begin(), output.pcm.begin() + long(output.offset));
        output.offset = 0;
    }
    output.pcm.insert(output.pcm.end(), converted_.begin() + first * output.frameBytes(),
                      converted_.begin() + size_t(frames) * output.frameBytes());
}

HRESULT Reader::openFile(const std::string& path, bool publish)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return NS_E_FILE_OPEN_FAILED;
    format_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!format_ || !packet_ || !frame_)
        return E_OUTOFMEMORY;
    format_->interrupt_callback = AVIOInterruptCB{&Reader::interrupted, this};
    openDeadline_ = (Clock::now() + kOpenLimit).time_since_epoch().count();
    int err = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (err >= 0)
        err = avformat_find_stream_info(format_, nullptr);
    openDeadline_ = 0;
    if (err < 0)
        return NS_E_INVALID_DATA;

    bool missingCodec = false;
    std::vector<OutputInfo> infos;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* stream = format_->streams[i];
        AVCodecParameters* par = stream->codecpar;
        stream->discard = AVDISCARD_ALL;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            Output output;
            output.stream = static_cast<int>(i);
            outputs_.push_back(output);
            infos.push_back({WMMEDIATYPE_Video, 0, 0});
            continue;
        }
        if (par->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!decoder || par->sample_rate <= 0 ||
            par->sample_rate > static_cast<int>(kLargestSampleRate) ||
            par->ch_layout.nb_channels <= 0 || avcodec_parameters_to_context(decoder, par) < 0 ||
            avcodec_open2(decoder, codec, nullptr) < 0) {
            avcodec_free_context(&decoder);
            missingCodec = true;
            continue;
        }
        decoder->pkt_timebase = stream->time_base;
        stream->discard = AVDISCARD_DEFAULT;
        Output output;
        output.stream = static_cast<int>(i);
        output.audio = true;
        output.decoder = decoder;
        output.rate = static_cast<uint32_t>(par->sample_rate);
        output.channels = static_cast<uint16_t>(std::min(par->ch_layout.nb_channels, 2));
        outputs_.push_back(std::move(output));
        infos.push_back({WMMEDIATYPE_Audio, static_cast<uint32_t>(par->sample_rate),
                         static_cast<uint16_t>(std::min(par->ch_layout.nb_channels, 2))});
    }
    if (missingCodec && publish)
        report(WMT_MISSING_CODEC, NS_E_NO_STREAM);
    if (std::none_of(outputs_.begin(), outputs_.end(), [](const Output& o) { return o.audio; }))
        return NS_E_NO_STREAM;
    if (!publish)
        return S_OK;

    std::map<std::string, Attribute> attributes;
    auto text = [&](const char* name, std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            if (AVDictionaryEntry* e = av_dict_get(format_->metadata, key, nullptr, 0)) {
                std::string value = e->value;
                value.resize(std::min<size_t>(value.size(), 32000));
                Attribute attribute{WMT_TYPE_STRING, {value.begin(), value.end()}};
                attribute.value.push_back(0);
                attributes[name] = std::move(attribute);
                return;
            }
        }
    };
    auto number = [&](const char* name, WMT_ATTR_DATATYPE type, uint64_t value) {
        Attribute attribute{type, std::vector<uint8_t>(type == WMT_TYPE_QWORD ? 8 : 4)};
        std::memcpy(attribute.value.data(), &value, attribute.value.size());
        attributes[name] = std::move(attribute);
    };
    text("Title", {"title"});
    text("Author", {"author", "artist"});
    text("Copyright", {"copyright"});
    int64_t duration = format_->duration;
    if ((duration == AV_NOPTS_VALUE || duration <= 0) && format_->pb &&
        (format_->pb->seekable & AVIO_SEEKABLE_NORMAL))
        duration = measuredDuration();
    if (duration != AV_NOPTS_VALUE && duration > 0)
        number("Duration", WMT_TYPE_QWORD, static_cast<uint64_t>(duration) * 10);
    number("FileSize", WMT_TYPE_QWORD, static_cast<uint64_t>(info.st_size));
    number("Seekable", WMT_TYPE_BOOL,
           (format_->pb && (format_->pb->seekable & AVIO_SEEKABLE_NORMAL)) ? 1 : 0);
    number("Broadcast", WMT_TYPE_BOOL, 0);

    int64_t bitrate = format_->nb_streams > 0 ? format_->streams[0]->codecpar->bit_rate : 0;
    if (bitrate <= 0)
        bitrate = format_->bit_rate;
    std::lock_guard lock(mutex_);
    outputInfo_ = std::move(infos);
    attributes_ = std::move(attributes);
    bitrate_ = static_cast<uint32_t>(std::clamp<int64_t>(bitrate, 0, UINT32_MAX));
    return S_OK;
}

// The length of a file that does not say it (a FLAC file whose header was never completed, an
// Ogg stream cut off): its packets are read once, not decoded, within the open's time limit.
// The next start seeks back to where it begins.
int64_t Reader::measuredDuration()
{
    openDeadline_ = (Clock::now() + kOpenLimit).time_since_epoch().count();
    int64_t end = 0;
    while (av_read_frame(format_, packet_) >= 0) {
        const AVStream* stream = format_->streams[packet_->stream_index];
        if (stream->discard != AVDISCARD_ALL && packet_->pts != AV_NOPTS_VALUE)
            end = std::max(end, av_rescale_q(packet_->pts + packet_->duration, stream->time_base,
                                             AV_TIME_BASE_Q));
        av_packet_unref(packet_);
    }
    openDeadline_ = 0;
    readSinceOpen_ = true;
    if (format_->start_time != AV_NOPTS_VALUE && format_->start_time > 0)
        end -= format_->start_time;
    return end;
}

void Reader::closeFile()
{
    for (Output& output : outputs_) {
        avcodec_free_context(&output.decoder);
        swr_free(&output.resampler);
        av_channel_layout_uninit(&output.resamplerLayout);
    }
    outputs_.clear();
    if (format_)
        avformat_close_input(&format_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    playing_ = false;
    readSinceOpen_ = false;
}

} // namespace

IWMReader* createReader()
{
    return new Reader();
}

} // namespace wmv
