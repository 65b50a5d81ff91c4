// Playback: open, fill or push blocks, meter what was played, end, pause, stop, reset.
#include "wave_out.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "levels.h"
#include "platform/system.h"

namespace brevon::wave {

using namespace platform;

namespace {

// Private worker messages, beside the device's.
constexpr uint32_t kBeginPull = WM_USER + 1; // do a pull start's first fills
constexpr uint32_t kClose = WM_USER + 2;     // close the device if it is still open
constexpr uint32_t kBeginPush = WM_USER + 3; // a push start: watch for a reader that sends nothing
constexpr uint32_t kRaisePriority = WM_USER + 4; // wParam 1: the device keeps the pace
constexpr uint32_t kReturned = WM_USER + 5;      // blocks came back (in returned_)

} // namespace

WaveOutEngine& waveOut()
{
    static WaveOutEngine engine;
    return engine;
}

WaveOutEngine::~WaveOutEngine()
{
    shutdown();
    freeSpareBlocks();
}

void WaveOutEngine::deviceCallback(HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t param1,
                                   uintptr_t)
{
    // Runs on the device's thread: only hand the message to the worker. Returned blocks are
    // collected, and the worker is sent one message for all that come back before it takes
    // them: a device that plays as fast as it is asked returns them in runs.
    auto* engine = reinterpret_cast<WaveOutEngine*>(instance);
    if (message == MM_WOM_DONE) {
        bool first = false;
        {
            std::lock_guard lock(engine->returnedMutex_);
            first = engine->returned_.empty();
            engine->returned_.push_back(reinterpret_cast<WAVEHDR*>(param1));
        }
        if (first)
            engine->worker_.queue().post(kReturned);
        return;
    }
    engine->worker_.queue().post(message, param1, 0);
}

bool WaveOutEngine::openDevice(uint32_t deviceId, const WAVEFORMATEX* format)
{
    if (!format)
        return false;
    // A playback that ended by itself has closed its device; its worker is ending.
    shutdown();
    format_ = engineFormat(format);
    opened_.reset();
    if (!worker_.start([this](MessageQueue& queue) { run(queue); }))
        return false;
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, deviceId, &format_.Format, deviceCallback,
                    reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        worker_.quit();
        worker_.join();
        return false;
    }
    device_ = device;
    // A device that runs as fast as it is asked must not have a real-time thread run flat out.
    worker_.queue().post(kRaisePriority, waveOutKeepsPace(device_) ? 1 : 0);
    opened_.wait(1000);
    return true;
}

void WaveOutEngine::shutdown()
{
    if (!worker_.joinable() || worker_.isCurrent())
        return;
    // The worker closes the device (if the end of the sound has not) and ends at the close.
    worker_.queue().post(kClose);
    worker_.join();
    device_ = nullptr;
    holdOpen_ = false;
}

void WaveOutEngine::run(MessageQueue& queue)
{
    deviceOpenOnWorker_ = true;
    Message message;
    for (;;) {
        // While the device waits for the reader, wake up now and then to see whether it stalled.
        if (starvedSince_ != 0) {
            if (!queue.get(message, 10)) {
                if (message.message == WM_QUIT)
                    break;
                checkReaderStall();
                continue;
            }
        } else if (!queue.get(message)) {
            break;
        }
        switch (message.message) {
        case MM_WOM_OPEN: {
            fillRoom_ = fillBufferSize_ - fillBufferSize_ % format_.Format.nBlockAlign;
            fillBuffer_.assign(fillRoom_, 0);
            fillRequest_ = FillRequest{fillBuffer_.data(), fillRoom_, 0};
            playPosition_ = 0;
            open_ = true;
            if (EngineCallback callback = openCallback_)
                callback(nullptr, 0);
            opened_.set();
            break;
        }
        case kReturned:
            takeReturned();
            handleReturned(taken_);
            taken_.clear();
            break;
        case MM_WOM_CLOSE:
            fillBuffer_.clear();
            fillBuffer_.shrink_to_fit();
            freeSpareBlocks();
            fillRequest_ = FillRequest{};
            open_ = false;
            if (EngineCallback callback = closeCallback_)
                callback(nullptr, 0);
            closed_.set();
            queue.quit(0);
            break;
        case kRaisePriority:
            paced_ = message.wParam != 0;
            reportedNanos_ = 0;
            if (message.wParam)
                raiseCurrentThreadToTimeCritical();
            else
                raiseCurrentThreadToHigh();
            break;
        case kBeginPull:
            beginPull();
            break;
        case kBeginPush:
            if (inFlight_ == 0) {
                starvedSince_ = nowNanos();
                stallNanos_ = kPushStallNanos;
            }
            break;
        case kClose:
            // A block written by the reader's thread while the stop began is taken back too.
            if (deviceOpenOnWorker_ && resetAndClose(device_))
                deviceOpenOnWorker_ = false;
            if (deviceOpenOnWorker_)
                queue.quit(0); // the device refused to close; end anyway
            break;
        case MM_WOM_GAP:
            ++gaps_;
            break;
        case MM_WOM_ERROR:
            // A vanished device returns nothing more: take the blocks back and end the playback.
            ++gaps_;
            playing_ = false;
            paused_ = false;
            if (inFlight_ > 0)
                waveOutReset(device_);
            else
                endOfSound();
            break;
        }
    }
}

void WaveOutEngine::closeFromWorker()
{
    if (deviceOpenOnWorker_ && waveOutClose(device_) == MMSYSERR_NOERROR)
        deviceOpenOnWorker_ = false;
}

void WaveOutEngine::startPull(uint32_t deviceId, uint64_t startOffset, const WAVEFORMATEX* format,
                              uint32_t fillBufferSize)
{
    fillBufferSize_ = fillBufferSize;
    if (playing_)
        return;
    if (!holdOpen_ && !openDevice(deviceId, format))
        return;
    holdOpen_ = false;
    startOffset_ = startOffset;
    // Playing is set before the first fills so that blocks coming back at once are refilled;
    // the fills themselves run on the worker, the one thread that calls the fill procedure.
    playing_ = true;
    paused_ = false;
    begun_.reset();
    worker_.queue().post(kBeginPull);
    begun_.wait(1000);
}

void WaveOutEngine::beginPull()
{
    writtenThisStart_ = 0;
    // The source is positioned at whole seconds.
    playStartOffset_ = (startOffset_ / 10000000ull) * format_.Format.nAvgBytesPerSec;
    if (EngineCallback callback = playStartCallback_)
        callback(&playStartOffset_, 0);
    for (int i = 0; i < kStartFills; ++i)
        fill();
    // Nothing to play: end at once instead of waiting for a block that never comes back.
    if (writtenThisStart_ == 0 && playing_)
        endOfSound();
    begun_.set();
}

void WaveOutEngine::startPush(uint64_t startOffset, const WAVEFORMATEX* format, uint64_t duration)
{
    startOffset_ = startOffset;
    pushDuration_ = duration;
    pushedUntil_ = 0;
    pushEnded_ = false;
    if (playing_)
        return;
    if (!holdOpen_ && !openDevice(WAVE_MAPPER, format))
        return;
    holdOpen_ = false;
    playing_ = true;
    paused_ = false;
    worker_.queue().post(kBeginPush);
}

void WaveOutEngine::fill()
{
    if (EngineCallback callback = fillCallback_) {
        fillRequest_.buffer = fillBuffer_.data();
        fillRequest_.length = fillRoom_;
        callback(&fillRequest_, 0);
    } else {
        return;
    }
    if (fillRequest_.length == 0)
        return; // the end of the source
    writeBlocks(fillBuffer_.data(), std::min(fillRequest_.length, fillRoom_));
}

void WaveOutEngine::onSample(const WMASampleInfo* sample)
{
    if (!sample)
        return;
    // An empty sample: the reader has delivered everything. Once the last block has played the
    // playback ends, without the wait for samples that might still come.
    if (sample->byteCount == 0) {
        pushEnded_ = true;
        return;
    }
    if (!sample->data)
        return;
    writeBlocks(sample->data, sample->byteCount);
    const uint32_t perSecond = format_.Format.nAvgBytesPerSec;
    if (perSecond)
        pushedUntil_ = sample->sampleTime + uint64_t(sample->byteCount) * 10000000 / perSecond;
}

void WaveOutEngine::writeBlocks(const uint8_t* data, uint32_t length)
{
    const uint32_t block = blockBytes(format_.Format);
    if (block == 0)
        return;
    for (uint32_t at = 0; at < length;) {
        const uint32_t bytes = std::min(block, length - at);
        WAVEHDR* header = takeBlock(block);
        if (!header)
            return; // the rest of this stretch is dropped
        header->dwBufferLength = bytes;
        header->dwBytesRecorded = bytes;
        std::memcpy(header->lpData, data + at, bytes);
        // Set before the write: the block may come back before the write returns.
        char* previous = lastWritten_.exchange(header->lpData);
        HWAVEOUT device = device_;
        waveOutPrepareHeader(device, header);
        if (waveOutWrite(device, header) != MMSYSERR_NOERROR) {
            lastWritten_.compare_exchange_strong(header->lpData, previous);
            keepBlock(header);
            return;
        }
        ++inFlight_;
        ++writtenThisStart_;
        lastPushNanos_ = nowNanos();
        at += bytes;
    }
}

WAVEHDR* WaveOutEngine::takeBlock(uint32_t bytes)
{
    // One allocation: the header, then room for the data, whose size dwUser keeps.
    void* memory = nullptr;
    uintptr_t room = 0;
    {
        std::lock_guard lock(spareMutex_);
        if (!spare_.empty()) {
            memory = spare_.back();
            spare_.pop_back();
            room = static_cast<WAVEHDR*>(memory)->dwUser;
        }
    }
    // A kept block too small for this format's blocks is let go.
    if (memory && room < bytes) {
        std::free(memory);
        memory = nullptr;
    }
    if (!memory) {
        memory = std::malloc(sizeof(WAVEHDR) + bytes);
        room = bytes;
    }
    if (!memory)
        return nullptr;
    auto* header = new (memory) WAVEHDR{};
    header->lpData = static_cast<char*>(memory) + sizeof(WAVEHDR);
    header->dwUser = room;
    return header;
}

void WaveOutEngine::keepBlock(WAVEHDR* header)
{
    {
        std::lock_guard lock(spareMutex_);
        if (spare_.size() < kSpareBlocks) {
            spare_.push_back(header);
            return;
        }
    }
    std::free(header);
}

void WaveOutEngine::freeSpareBlocks()
{
    std::vector<void*> blocks;
    {
        std::lock_guard lock(spareMutex_);
        blocks.swap(spare_);
    }
    for (void* memory : blocks)
        std::free(memory);
}

void WaveOutEngine::takeReturned()
{
    std::lock_guard lock(returnedMutex_);
    taken_.swap(returned_);
}

void WaveOutEngine::handleReturned(const std::vector<WAVEHDR*>& headers)
{
    // The device's position is asked once for the blocks that came back together. Their headers
    // are not unprepared: each block is built anew when it is used again, and asking the device
    // for every block would contend with its thread for every block.
    uint64_t bytes = 0;
    waveOutGetPosition(device_, &bytes);
    const uint32_t perSecond = format_.Format.nAvgBytesPerSec;
    const uint64_t position = (perSecond ? bytes * 1000 * 10000 / perSecond : 0) + startOffset_;
    for (WAVEHDR* header : headers)
        handleReturned(header, position);
}

void WaveOutEngine::handleReturned(WAVEHDR* header, uint64_t position)
{
    const uint64_t began = nowNanos();
    if (header->lpData == lastWritten_) {
        if (!waitForReader(position))
            endOfSound();
    } else if (playing_) {
        starvedSince_ = 0;
        playPosition_ = position;
        if (EngineCallback reader = readerCallback_) {
            // The reader is given another second once less than three are queued: it is woken
            // once a second, not for every block.
            readerTime_ =
                inFlight_ < kPushAheadBlocks - kPushStepBlocks ? readerTimeAt(position) : 0;
            reader(&readerTime_, 0);
        } else {
            fill();
        }
        // At the pace of the sound every block is metered and reported, 25 a second; a device
        // that plays as fast as it is asked has one block reported every 40 ms, as many as
        // anyone could see.
        if (paced_ || began - reportedNanos_ >= kReportNanos) {
            reportedNanos_ = began;
            measureLevels(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength,
                          format_.Format, levels_);
            levels_.position = position;
            if (EngineCallback callback = levelCallback_)
                callback(&levels_, 0);
        }
    }
    keepBlock(header);
    --inFlight_;
    stats_.nanos += nowNanos() - began;
    ++stats_.blocks;
}

uint64_t WaveOutEngine::readerTimeAt(uint64_t position) const
{
    // On a whole block from the start, so that the reader's pieces make whole blocks.
    const uint64_t start = startOffset_;
    const uint64_t played = position > start ? position - start : 0;
    return start + played / kBlockTime * kBlockTime + kPushAheadTime;
}

bool WaveOutEngine::waitForReader(uint64_t position)
{
    // A device that plays faster than the reader decodes (or a reader held up for a moment)
    // has played out everything before the end of the sound: that is a gap, not the end.
    const uint64_t duration = pushDuration_;
    if (!playing_ || !readerCallback_ || duration == 0 || pushEnded_)
        return false;
    // Once the reader's samples come near the end of the sound (a file's stated duration and
    // what its decoder gives differ by a frame or two), only a short wait is left for the last
    // ones; before that, a longer one.
    const uint64_t slack = 2500000;
    const bool nearEnd = pushedUntil_ + slack >= duration;
    stallNanos_ = nearEnd ? kPushEndWaitNanos : kPushStallNanos;
    if (starvedSince_ == 0) {
        starvedSince_ = nowNanos();
        if (!nearEnd)
            ++gaps_;
    }
    playPosition_ = position;
    readerTime_ = readerTimeAt(position);
    if (EngineCallback reader = readerCallback_)
        reader(&readerTime_, 0);
    return true;
}

void WaveOutEngine::checkReaderStall()
{
    if (!playing_) {
        starvedSince_ = 0; // stopped or reset: nothing to wait for
        return;
    }
    // Nothing comes back while paused, and the reader is paused too: that is no stall, and the
    // wait starts afresh when the playback resumes.
    if (paused_) {
        starvedSince_ = nowNanos();
        return;
    }
    if (inFlight_ > 0)
        return;
    if (pushEnded_) {
        starvedSince_ = 0;
        endOfSound();
        return;
    }
    const uint64_t since = std::max<uint64_t>(starvedSince_, lastPushNanos_);
    if (nowNanos() - since >= stallNanos_) {
        starvedSince_ = 0;
        endOfSound();
    }
}

void WaveOutEngine::endOfSound()
{
    starvedSince_ = 0;
    playing_ = false;
    paused_ = false;
    if (holdOpen_)
        closed_.set();
    else
        closeFromWorker();
}

void WaveOutEngine::pause()
{
    if (!playing_)
        return;
    paused_ = !paused_;
    if (paused_)
        waveOutPause(device_);
    else
        waveOutRestart(device_);
}

void WaveOutEngine::stop()
{
    if (worker_.isCurrent())
        return;
    if (playing_) {
        playing_ = false;
        paused_ = false;
        closed_.reset();
        waveOutReset(device_);
    }
    // Also closes a device held open by a reset. Returns once the worker has freed every block.
    shutdown();
}

void WaveOutEngine::reset()
{
    if (!playing_)
        return;
    holdOpen_ = true;
    playing_ = false;
    paused_ = false;
    waveOutPause(device_);
    closed_.reset();
    waveOutReset(device_);
    if (inFlight_ > 0)
        closed_.wait(1000);
}

int64_t WaveOutEngine::playTime() const
{
    const uint32_t perSecond = format_.Format.nAvgBytesPerSec;
    return perSecond ? int64_t(playPosition_ / perSecond) : 0;
}

} // namespace brevon::wave
