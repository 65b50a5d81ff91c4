// Capture: open, queue, meter, hand on, stop.
#include "wave_in.h"

#include <cstring>
#include <new>

#include "levels.h"
#include "platform/system.h"

namespace brevon::wave {

using namespace platform;

namespace {

// Raise the worker's priority: wParam 1 for a device that keeps the pace of the sound.
constexpr uint32_t kRaisePriority = WM_USER + 1;

} // namespace

WaveInEngine& waveIn()
{
    static WaveInEngine engine;
    return engine;
}

WaveInEngine::~WaveInEngine()
{
    if (worker_.joinable())
        stop();
}

void WaveInEngine::deviceCallback(HWAVEIN, uint32_t message, uintptr_t instance, uintptr_t param1,
                                  uintptr_t)
{
    // Runs on the device's thread: only hand the message to the worker.
    auto* engine = reinterpret_cast<WaveInEngine*>(instance);
    engine->worker_.queue().post(message, param1, 0);
}

bool WaveInEngine::start(uint32_t deviceId, const WAVEFORMATEX* format)
{
    // One device at a time: a second start would lose the first device and its thread.
    if (!format || worker_.joinable())
        return false;
    format_ = engineFormat(format);
    opened_.reset();
    gaps_ = 0;
    deviceError_ = 0;
    if (!worker_.start([this](MessageQueue& queue) { run(queue); })) {
        started_ = false;
        return false;
    }
    HWAVEIN device = nullptr;
    lastResult_ = waveInOpen(&device, deviceId, &format_.Format, deviceCallback,
                             reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION);
    if (lastResult_ != MMSYSERR_NOERROR) {
        // A failed open leaves no worker behind.
        worker_.quit();
        worker_.join();
        started_ = false;
        return false;
    }
    device_ = device;
    // A device that runs as fast as it is asked must not have a real-time thread run flat out.
    worker_.queue().post(kRaisePriority, waveInKeepsPace(device_) ? 1 : 0);
    opened_.wait(1000);
    blockBytes_ = brevon::wave::blockBytes(format_.Format);
    try {
        memory_.assign(size_t(blockBytes_) * kBuffers, 0);
    } catch (const std::bad_alloc&) {
        releaseDevice();
        started_ = false;
        return false;
    }
    for (uint32_t i = 0; i < kBuffers; ++i)
        buffers_[i] = memory_.data() + size_t(i) * blockBytes_;
    for (uint32_t i = 0; i < kQueued; ++i)
        queueBuffer(i);
    // Cleared before the device starts: a buffer may come back before waveInStart returns.
    stopping_ = false;
    lastResult_ = waveInStart(device_);
    started_ = lastResult_ == MMSYSERR_NOERROR;
    if (!started_) {
        // A device that does not start is closed again rather than left open without a user.
        releaseDevice();
    }
    return started_;
}

void WaveInEngine::queueBuffer(uint32_t index)
{
    WAVEHDR& header = headers_[index];
    lastQueued_ = buffers_[index];
    header = WAVEHDR{};
    header.lpData = buffers_[index];
    header.dwBufferLength = blockBytes_;
    header.dwUser = index;
    lastResult_ = waveInPrepareHeader(device_, &header);
    lastResult_ = waveInAddBuffer(device_, &header);
    if (lastResult_ == MMSYSERR_NOERROR)
        ++withDevice_;
}

void WaveInEngine::run(MessageQueue& queue)
{
    // The device may post before this loop runs: the queue exists from the thread's creation.
    Message message;
    while (queue.get(message)) {
        switch (message.message) {
        case kRaisePriority:
            if (message.wParam)
                raiseCurrentThreadToTimeCritical();
            else
                raiseCurrentThreadToHigh();
            break;
        case MM_WIM_OPEN:
            opened_.set();
            if (EngineCallback callback = openCallback_)
                callback(nullptr, 0);
            break;
        case MM_WIM_DATA:
            handleReturned(reinterpret_cast<WAVEHDR*>(message.wParam));
            break;
        case MM_WIM_CLOSE:
            queue.quit(0);
            break;
        case MM_WIM_GAP:
            ++gaps_;
            break;
        case MM_WIM_ERROR:
            ++gaps_;
            deviceError_ = uint32_t(message.wParam);
            break;
        }
    }
}

void WaveInEngine::handleReturned(WAVEHDR* header)
{
    const uint64_t began = nowNanos();
    --withDevice_;
    waveInUnprepareHeader(device_, header);
    const auto index = uint32_t(header->dwUser % kBuffers);
    // Every buffer's samples, recording or not, before its levels.
    if (EngineCallback callback = bufferCallback_)
        callback(header, 0);
    measureLevels(reinterpret_cast<const uint8_t*>(buffers_[index]), header->dwBytesRecorded,
                  format_.Format, levels_);
    levels_.position = 0;
    if (EngineCallback callback = levelCallback_)
        callback(&levels_, 0);
    if (header->lpData == lastQueued_)
        drained_.set();
    else if (!stopping_)
        queueBuffer((index + kQueued) % kBuffers);
    const bool handOn = recording_ && !paused_;
    stats_.nanos += nowNanos() - began;
    ++stats_.blocks;
    if (handOn) {
        if (EngineCallback callback = dataCallback_)
            callback(header, 0);
    }
}

void WaveInEngine::releaseDevice()
{
    stopping_ = true;
    if (device_) {
        drained_.reset();
        waveInReset(device_);
        // The reset hands back every queued buffer; wait (at most 1000 ms) for the worker to see
        // the last one. A buffer that the worker re-queued as the stop began is taken back by a
        // further reset.
        for (int waited = 0; withDevice_ > 0 && waited < 1000; waited += 10) {
            drained_.wait(10);
            if (withDevice_ > 0)
                waveInReset(device_);
        }
        if (!resetAndClose(device_))
            worker_.quit();
        device_ = nullptr;
    } else {
        worker_.quit();
    }
    // The worker ends at the close; once it has, nothing touches the buffers any more.
    worker_.join();
    withDevice_ = 0;
    memory_.clear();
    memory_.shrink_to_fit();
    for (auto& buffer : buffers_)
        buffer = nullptr;
    lastQueued_ = nullptr;
}

bool WaveInEngine::stop()
{
    // From a callback the worker would wait for itself.
    if (worker_.isCurrent())
        return false;
    stopping_ = true;
    recording_ = false;
    started_ = false;
    if (worker_.joinable())
        releaseDevice();
    return true;
}

void WaveInEngine::recordStart()
{
    recording_ = true;
    stopping_ = false;
}

void WaveInEngine::recordPause()
{
    paused_ = !paused_;
}

void WaveInEngine::recordStop()
{
    stopping_ = true;
    recording_ = false;
}

} // namespace brevon::wave
