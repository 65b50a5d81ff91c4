// The front end of the wave device layer: handles, buffer queues, the device thread that moves
// sound between the queued buffers and a backend stream, and the callback messages.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "backend.h"
#include "platform/system.h"

namespace platform {

using wavedev::Direction;
using wavedev::PcmStream;

MMRESULT checkWaveFormat(const WAVEFORMATEX* format, const char** reason)
{
    auto refuse = [&](const char* why) {
        if (reason)
            *reason = why;
        return WAVERR_BADFORMAT;
    };
    if (!format)
        return refuse("no format given");
    if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (format->cbSize < 22)
            return refuse("extensible format without its 22 extra bytes");
        auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        if (std::memcmp(ext->SubFormat, KSDATAFORMAT_SUBTYPE_PCM, 16) != 0)
            return refuse("extensible format whose sub-format is not integer PCM");
        if (ext->wValidBitsPerSample > format->wBitsPerSample)
            return refuse("more valid bits than the sample holds");
    } else if (format->wFormatTag != WAVE_FORMAT_PCM) {
        return refuse("not an integer PCM format");
    }
    const uint16_t bits = format->wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return refuse("sample size is not 8, 16, 24 or 32 bits");
    if (format->nChannels != 1 && format->nChannels != 2)
        return refuse("not one or two channels");
    if (format->nBlockAlign != format->nChannels * bits / 8)
        return refuse("block alignment does not match channels and sample size");
    if (format->nSamplesPerSec < 1000 || format->nSamplesPerSec > 384000)
        return refuse("sample rate outside 1000..384000 Hz");
    return MMSYSERR_NOERROR;
}

uint64_t waveReturnStamp(const WAVEHDR* header)
{
    return header ? static_cast<uint64_t>(header->reserved) : 0;
}

namespace wavedev {

SampleLayout layoutOf(const WAVEFORMATEXTENSIBLE& format)
{
    return {format.Format.nSamplesPerSec, format.Format.nChannels,
            static_cast<uint32_t>(format.Format.wBitsPerSample / 8)};
}

namespace {

using AnyCallback = void (*)(void* device, uint32_t message, uintptr_t instance, uintptr_t p1,
                             uintptr_t p2);

uint64_t steadyNanos()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// One open device. The API calls (any thread) and the device thread meet under mutex_; the
// callback is called with mutex_ held so that its messages keep the order of events.
class Device {
public:
    Device(Direction direction, std::unique_ptr<PcmStream> stream, SampleLayout layout,
           AnyCallback callback, uintptr_t instance)
        : direction_(direction), stream_(std::move(stream)), layout_(layout), callback_(callback),
          instance_(instance), batching_(!stream_->timeCritical()),
          running_(direction == Direction::Playback)
    {
    }

    void start(void* handle)
    {
        handle_ = handle;
        thread_ = std::thread([this] { run(); });
    }

    void notify(uint32_t message, uintptr_t p1 = 0)
    {
        if (callback_)
            callback_(handle_, message, instance_, p1, 0);
    }

    bool keepsPace() const { return stream_->timeCritical(); }

    uint32_t openMessage() const { return capture() ? MM_WIM_OPEN : MM_WOM_OPEN; }
    uint32_t closeMessage() const { return capture() ? MM_WIM_CLOSE : MM_WOM_CLOSE; }
    uint32_t doneMessage() const { return capture() ? MM_WIM_DATA : MM_WOM_DONE; }
    uint32_t gapMessage() const { return capture() ? MM_WIM_GAP : MM_WOM_GAP; }
    uint32_t errorMessage() const { return capture() ? MM_WIM_ERROR : MM_WOM_ERROR; }

    MMRESULT add(WAVEHDR* header)
    {
        if (!header || !header->lpData)
            return MMSYSERR_INVALPARAM;
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            if (!(header->dwFlags & WHDR_PREPARED))
                return WAVERR_UNPREPARED;
            if (header->dwFlags & WHDR_INQUEUE)
                return WAVERR_STILLPLAYING;
            header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
            if (capture())
                header->dwBytesRecorded = 0;
            queue_.push_back(header);
            // A batching playback thread is woken by the first buffer, then by a full batch; a
            // batching capture thread only by a full batch (it looks again after its batch wait).
            if (!batching_)
                wake = true;
            else if (capture())
                wake = queue_.size() >= kCaptureBatch;
            else
                wake = queue_.size() == 1 || queue_.size() >= kBatch;
        }
        // Woken after the lock is let go: a thread woken under it would only wait again for it.
        if (wake)
            changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMRESULT unprepare(WAVEHDR* header)
    {
        if (!header)
            return MMSYSERR_INVALPARAM;
        std::lock_guard lock(mutex_);
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    void setRunning(bool running)
    {
        std::lock_guard lock(mutex_);
        running_ = running;
        changed_.notify_all();
    }

    // Capture stop: the buffer being filled comes back with what it holds.
    void stopCapture()
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        ++generation_;
        if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0)
            giveBack();
        changed_.notify_all();
    }

    void reset()
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        dropPending_ = true;
        playOffset_ = 0;
        position_ = 0;
        delayBytes_ = 0;
        running_ = !capture(); // a playback device plays the next write; a capture device stops
        while (!queue_.empty())
            giveBack();
        changed_.notify_all();
    }

    // The first step of a close: refuses while buffers are queued, else tells the device thread
    // to end.
    MMRESULT beginClose()
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty())
            return WAVERR_STILLPLAYING;
        closing_ = true;
        changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    // Ends the device thread and the stream: the system's close, which can block (a sound
    // server that has gone away).
    void finishClose()
    {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
        stream_.reset();
        std::lock_guard lock(mutex_);
        if (!abandoned_)
            notify(closeMessage());
    }

    bool onDeviceThread() const { return thread_.get_id() == std::this_thread::get_id(); }

    // A close that did not return in time is left to itself: its owner is told the device is
    // closed and hears nothing more from it.
    void abandon()
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        notify(closeMessage());
        callback_ = nullptr;
    }

    uint64_t position()
    {
        std::lock_guard lock(mutex_);
        return position_ > delayBytes_ ? position_ - delayBytes_ : 0;
    }

    ~Device()
    {
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                closing_ = true;
                changed_.notify_all();
            }
            thread_.join();
        }
    }

private:
    bool capture() const { return direction_ == Direction::Capture; }

    // Returns the front buffer to its owner; mutex_ held.
    void giveBack()
    {
        WAVEHDR* header = queue_.front();
        queue_.pop_front();
        playOffset_ = 0;
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        header->reserved = static_cast<uintptr_t>(steadyNanos());
        notify(doneMessage(), reinterpret_cast<uintptr_t>(header));
    }

    // Playback in batches: after the front buffer's rest (bytes already in staging), the whole
    // buffers that follow it, as many as staging holds, so that one transfer plays them all and
    // they come back together. Stops at a buffer that ends in part of a frame. mutex_ held.
    uint32_t gatherPlayback(std::vector<uint8_t>& staging, uint32_t bytes) const
    {
        const uint32_t frameBytes = layout_.frameBytes();
        if (playOffset_ + bytes != queue_.front()->dwBufferLength || bytes % frameBytes != 0)
            return bytes;
        for (size_t i = 1; i < queue_.size(); ++i) {
            const WAVEHDR* next = queue_[i];
            if (next->dwBufferLength % frameBytes != 0 ||
                next->dwBufferLength > staging.size() - bytes)
                break;
            std::memcpy(staging.data() + bytes, next->lpData, next->dwBufferLength);
            bytes += next->dwBufferLength;
        }
        return bytes;
    }

    // Playback: counts bytes as played from the front of the queue on, giving back every buffer
    // played out. mutex_ held.
    void consumePlayback(uint64_t bytes)
    {
        while (!queue_.empty()) {
            const uint32_t left = queue_.front()->dwBufferLength - playOffset_;
            if (bytes < left) {
                playOffset_ += uint32_t(bytes);
                return;
            }
            bytes -= left;
            giveBack();
        }
    }

    void run()
    {
        if (stream_->timeCritical())
            raiseCurrentThreadToTimeCritical();
        else
            raiseCurrentThreadToHigh();
        const uint32_t frameBytes = layout_.frameBytes();
        std::vector<uint8_t> staging(size_t(stream_->chunkFrames()) * frameBytes);
        bool active = false; // the stream was told to run
        bool wroteSinceDrop = false;
        bool batchWaited = false; // the short queue has had its wait for a batch
        std::unique_lock lock(mutex_);
        while (!closing_) {
            if (dropPending_) {
                dropPending_ = false;
                wroteSinceDrop = false;
                lock.unlock();
                stream_->drop();
                lock.lock();
                active = false;
                continue;
            }
            const bool wanted = running_ && !failed_;
            if (wanted != active && (!wanted || !queue_.empty())) {
                active = wanted;
                lock.unlock();
                if (active)
                    stream_->resume();
                else
                    stream_->pause();
                lock.lock();
                continue;
            }
            if (!active || queue_.empty()) {
                if (batching_ && capture() && running_ && !failed_)
                    changed_.wait_for(lock, kCaptureBatchWait);
                else
                    changed_.wait(lock);
                batchWaited = false;
                continue;
            }
            // A device that runs as fast as it is asked moves buffers a batch at a time: one
            // wake-up of this thread and of the buffers' owner for several buffers, not for each.
            // A shorter queue is moved after a short wait (the last buffers of a sound). Capture
            // waits longer: its owner hands buffers back one by one as it finishes with them.
            // Once a batch is there, or the wait is over, the queue is moved until it is empty.
            if (batching_ && !batchWaited) {
                batchWaited = true;
                if (queue_.size() < (capture() ? kCaptureBatch : kBatch)) {
                    changed_.wait_for(lock, capture() ? kCaptureBatchWait : kBatchWait);
                    continue;
                }
            }
            WAVEHDR* header = queue_.front();
            const uint64_t generation = generation_;
            uint32_t bytes = 0;
            if (capture()) {
                bytes = std::min<uint32_t>(uint32_t(staging.size()),
                                           header->dwBufferLength - header->dwBytesRecorded);
            } else {
                bytes = std::min<uint32_t>(uint32_t(staging.size()),
                                           header->dwBufferLength - playOffset_);
                std::memcpy(staging.data(), header->lpData + playOffset_, bytes);
                if (batching_)
                    bytes = gatherPlayback(staging, bytes);
            }
            const uint32_t frames = bytes / frameBytes;
            if (frames == 0) {
                // Less than one frame left (or a buffer too small for one): it is done.
                if (!capture())
                    playOffset_ = header->dwBufferLength;
                giveBack();
                continue;
            }
            lock.unlock();
            Transfer moved = capture() ? stream_->read(staging.data(), frames)
                                       : stream_->write(staging.data(), frames);
            const uint64_t delay = capture() ? 0 : stream_->delayFrames() * frameBytes;
            lock.lock();
            if (moved.gap)
                notify(gapMessage());
            if (moved.failed) {
                failed_ = true;
                notify(errorMessage(), moved.error);
                continue;
            }
            if (generation != generation_)
                continue; // a reset or stop took the buffers meanwhile
            const uint32_t movedBytes = moved.frames * frameBytes;
            position_ += movedBytes;
            delayBytes_ = delay;
            if (capture()) {
                std::memcpy(header->lpData + header->dwBytesRecorded, staging.data(), movedBytes);
                header->dwBytesRecorded += movedBytes;
                if (header->dwBufferLength - header->dwBytesRecorded < frameBytes)
                    giveBack();
            } else {
                wroteSinceDrop = true;
                // A trailing part of a frame cannot be played; it counts as consumed.
                consumePlayback(moved.frames == frames ? bytes : movedBytes);
                // The owner is likely still writing: a short queue waits for a batch again.
                batchWaited = false;
            }
        }
        lock.unlock();
        if (!capture() && wroteSinceDrop && !failed_)
            stream_->drain();
    }

    const Direction direction_;
    std::unique_ptr<PcmStream> stream_;
    const SampleLayout layout_;
    AnyCallback callback_; // cleared (under mutex_) when a close is abandoned
    const uintptr_t instance_;
    // Buffers a device that runs as fast as it is asked moves at a time, and how long it waits
    // for a batch to fill.
    static constexpr size_t kBatch = 8;
    // Capture owners keep many buffers queued (the engine 50): half of them make a batch.
    static constexpr size_t kCaptureBatch = 25;
    static constexpr std::chrono::milliseconds kBatchWait{2};
    static constexpr std::chrono::milliseconds kCaptureBatchWait{20};
    const bool batching_;
    void* handle_ = nullptr;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<WAVEHDR*> queue_;
    bool running_; // capture: started; playback: not paused
    bool closing_ = false;
    bool abandoned_ = false;
    bool failed_ = false;
    bool dropPending_ = false;
    uint64_t generation_ = 0; // bumped when a reset or stop takes the buffers
    uint32_t playOffset_ = 0; // bytes of the front playback buffer already written
    uint64_t position_ = 0;   // bytes moved since open or reset
    uint64_t delayBytes_ = 0; // bytes written but not yet heard
};

// Live handles. A handle is a number that is never reused, so a stale handle is refused rather
// than reaching a newer device. A namespace-level object, built when the library loads: the
// engines (built at first use) are destroyed before it and may still close devices then.
struct Registry {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<Device>> devices;
    uintptr_t next = 1;
};

Registry liveDevices;

Registry& registry()
{
    return liveDevices;
}

std::shared_ptr<Device> find(const void* handle)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.devices.find(reinterpret_cast<uintptr_t>(handle));
    return it == r.devices.end() ? nullptr : it->second;
}

DeviceList devices(Direction direction)
{
    DeviceList list;
    if (auto card = virtualCard())
        list.push_back(card);
    for (auto& entry : alsaDevices(direction))
        list.push_back(entry);
    return list;
}

std::shared_ptr<const DeviceEntry> entryFor(Direction direction, uint32_t deviceId)
{
    if (deviceId == WAVE_MAPPER) {
        if (auto card = virtualCard())
            return card;
        return alsaMapper();
    }
    auto list = devices(direction);
    return deviceId < list.size() ? list[deviceId] : nullptr;
}

MMRESULT getCaps(Direction direction, uint32_t deviceId, char (&name)[32], uint16_t& channels)
{
    auto entry = entryFor(direction, deviceId);
    if (!entry)
        return MMSYSERR_BADDEVICEID;
    std::memset(name, 0, sizeof name);
    std::strncpy(name, entry->productName.c_str(), sizeof name - 1);
    channels = 2;
    return MMSYSERR_NOERROR;
}

MMRESULT openDevice(Direction direction, void** out, uint32_t deviceId, const WAVEFORMATEX* format,
                    AnyCallback callback, uintptr_t instance, uint32_t flags)
{
    if (MMRESULT checked = checkWaveFormat(format))
        return checked;
    WAVEFORMATEXTENSIBLE full{};
    std::memcpy(&full, format, format->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof full : 18);
    auto entry = entryFor(direction, deviceId);
    if (!entry)
        return MMSYSERR_BADDEVICEID;
    if (flags & WAVE_FORMAT_QUERY)
        return MMSYSERR_NOERROR;
    if (!out)
        return MMSYSERR_INVALPARAM;
    MMRESULT error = MMSYSERR_NOERROR;
    auto stream = entry->open(direction, full, error);
    if (!stream)
        return error ? error : MMSYSERR_ERROR;
    auto device =
        std::make_shared<Device>(direction, std::move(stream), layoutOf(full),
                                 (flags & CALLBACK_FUNCTION) ? callback : nullptr, instance);
    auto& r = registry();
    uintptr_t id = 0;
    {
        std::lock_guard lock(r.mutex);
        id = r.next++;
        r.devices[id] = device;
    }
    *out = reinterpret_cast<void*>(id);
    try {
        device->start(*out);
    } catch (const std::system_error&) {
        std::lock_guard lock(r.mutex);
        r.devices.erase(id);
        return MMSYSERR_NOMEM;
    }
    device->notify(device->openMessage());
    return MMSYSERR_NOERROR;
}

// How long a close may take before it is left behind.
constexpr std::chrono::seconds kCloseWait{3};

MMRESULT closeDevice(void* handle)
{
    auto device = find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (MMRESULT refused = device->beginClose())
        return refused;
    auto forget = [handle] {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        r.devices.erase(reinterpret_cast<uintptr_t>(handle));
    };
    // The system's close runs on a thread of its own, so that one that never returns (ALSA's
    // PulseAudio plugin waiting on a sound server that has gone) cannot hold the program: after
    // a few seconds the device is left behind and the program goes on, or ends, without it. A
    // close from the device's own callback cannot wait for that thread.
    if (device->onDeviceThread()) {
        device->finishClose();
        forget();
        return MMSYSERR_NOERROR;
    }
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> done = closed->get_future();
    try {
        std::thread([device, closed] {
            device->finishClose();
            closed->set_value();
        }).detach();
    } catch (const std::system_error&) {
        device->finishClose();
        forget();
        return MMSYSERR_NOERROR;
    }
    if (done.wait_for(kCloseWait) != std::future_status::ready) {
        device->abandon();
        noteAbandonedClose();
        std::fprintf(stderr,
                     "dravik: the sound device did not close within %lld seconds; it is left "
                     "behind and no longer used\n",
                     static_cast<long long>(kCloseWait.count()));
    }
    forget();
    return MMSYSERR_NOERROR;
}

MMRESULT prepare(void* handle, WAVEHDR* header)
{
    if (!find(handle))
        return MMSYSERR_INVALHANDLE;
    if (!header)
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

template <typename Action> MMRESULT withDevice(const void* handle, Action action)
{
    auto device = find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return action(*device);
}

} // namespace
} // namespace wavedev

using namespace wavedev;

uint32_t waveInGetNumDevs()
{
    return uint32_t(devices(Direction::Capture).size());
}

MMRESULT waveInGetDevCaps(uint32_t deviceId, WAVEINCAPS* caps)
{
    return caps ? getCaps(Direction::Capture, deviceId, caps->szPname, caps->wChannels)
                : MMSYSERR_INVALPARAM;
}

MMRESULT waveInOpen(HWAVEIN* device, uint32_t deviceId, const WAVEFORMATEX* format,
                    WaveInProc callback, uintptr_t instance, uint32_t flags)
{
    return openDevice(Direction::Capture, reinterpret_cast<void**>(device), deviceId, format,
                      reinterpret_cast<AnyCallback>(callback), instance, flags);
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header)
{
    return prepare(device, header);
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header)
{
    return withDevice(device, [&](Device& d) { return d.unprepare(header); });
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header)
{
    return withDevice(device, [&](Device& d) { return d.add(header); });
}

MMRESULT waveInStart(HWAVEIN device)
{
    return withDevice(device, [](Device& d) {
        d.setRunning(true);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInStop(HWAVEIN device)
{
    return withDevice(device, [](Device& d) {
        d.stopCapture();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInReset(HWAVEIN device)
{
    return withDevice(device, [](Device& d) {
        d.reset();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInClose(HWAVEIN device)
{
    return closeDevice(device);
}

MMRESULT waveInGetPosition(HWAVEIN device, uint64_t* bytes)
{
    return withDevice(device, [&](Device& d) {
        if (!bytes)
            return MMSYSERR_INVALPARAM;
        *bytes = d.position();
        return MMSYSERR_NOERROR;
    });
}

bool waveInKeepsPace(HWAVEIN device)
{
    auto found = find(device);
    return found && found->keepsPace();
}

bool waveGetDefaultServer(char* name, uint32_t size)
{
    if (!name || size == 0)
        return false;
    const std::string server = alsaDefaultServer();
    if (server.empty())
        return false;
    const size_t length = std::min<size_t>(server.size(), size - 1);
    std::memcpy(name, server.data(), length);
    name[length] = 0;
    return true;
}

uint32_t waveOutGetNumDevs()
{
    return uint32_t(devices(Direction::Playback).size());
}

MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps)
{
    return caps ? getCaps(Direction::Playback, deviceId, caps->szPname, caps->wChannels)
                : MMSYSERR_INVALPARAM;
}

MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     WaveOutProc callback, uintptr_t instance, uint32_t flags)
{
    return openDevice(Direction::Playback, reinterpret_cast<void**>(device), deviceId, format,
                      reinterpret_cast<AnyCallback>(callback), instance, flags);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header)
{
    return prepare(device, header);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header)
{
    return withDevice(device, [&](Device& d) { return d.unprepare(header); });
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header)
{
    return withDevice(device, [&](Device& d) { return d.add(header); });
}

MMRESULT waveOutPause(HWAVEOUT device)
{
    return withDevice(device, [](Device& d) {
        d.setRunning(false);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutRestart(HWAVEOUT device)
{
    return withDevice(device, [](Device& d) {
        d.setRunning(true);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutReset(HWAVEOUT device)
{
    return withDevice(device, [](Device& d) {
        d.reset();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutClose(HWAVEOUT device)
{
    return closeDevice(device);
}

MMRESULT waveOutGetPosition(HWAVEOUT device, uint64_t* bytes)
{
    return withDevice(device, [&](Device& d) {
        if (!bytes)
            return MMSYSERR_INVALPARAM;
        *bytes = d.position();
        return MMSYSERR_NOERROR;
    });
}

bool waveOutKeepsPace(HWAVEOUT device)
{
    auto found = find(device);
    return found && found->keepsPace();
}

} // namespace platform
