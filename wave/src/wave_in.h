// The capture half of the engine: one input device, a ring of 100 one-block buffers of which 50
// are always with the device, a worker thread that meters every returned buffer and hands it on
// while recording.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/event.h"
#include "platform/records.h"
#include "platform/thread.h"
#include "platform/wavedev.h"

namespace brevon::wave {

// Time spent by the engine on returned blocks, for the benchmark.
struct HandlerStats {
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> nanos{0};
};

class WaveInEngine {
public:
    static constexpr uint32_t kBuffers = 100;
    static constexpr uint32_t kQueued = 50;

    WaveInEngine() = default;
    ~WaveInEngine();
    WaveInEngine(const WaveInEngine&) = delete;
    WaveInEngine& operator=(const WaveInEngine&) = delete;

    EngineCallback setOpenCallback(EngineCallback callback) { return openCallback_ = callback; }
    EngineCallback setLevelCallback(EngineCallback callback) { return levelCallback_ = callback; }
    EngineCallback setDataCallback(EngineCallback callback) { return dataCallback_ = callback; }
    EngineCallback setBufferCallback(EngineCallback callback) { return bufferCallback_ = callback; }

    bool start(uint32_t deviceId, const WAVEFORMATEX* format);
    bool stop();
    void recordStart();
    void recordPause();
    void recordStop();

    uint32_t gapCount() const { return gaps_; }
    uint32_t deviceError() const { return deviceError_; }
    uint32_t blockBytes() const { return blockBytes_; }
    bool started() const { return started_; }
    bool paused() const { return paused_; }
    HandlerStats& stats() { return stats_; }

private:
    static void deviceCallback(platform::HWAVEIN device, uint32_t message, uintptr_t instance,
                               uintptr_t param1, uintptr_t param2);
    void run(platform::MessageQueue& queue);
    void queueBuffer(uint32_t index);
    void handleReturned(WAVEHDR* header);
    void releaseDevice();

    platform::Event opened_{true, false};
    platform::Event drained_{true, false};
    platform::MessageThread worker_;
    // Flags: written by the caller's thread, read by the worker from the next returned buffer.
    std::atomic<bool> stopping_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> recording_{false};
    std::atomic<bool> started_{false};
    std::atomic<EngineCallback> openCallback_{nullptr};
    std::atomic<EngineCallback> levelCallback_{nullptr};
    std::atomic<EngineCallback> dataCallback_{nullptr};
    std::atomic<EngineCallback> bufferCallback_{nullptr};
    // Cleared by the closing thread while the worker may still take the last returned buffers.
    std::atomic<platform::HWAVEIN> device_{nullptr};
    platform::WAVEFORMATEXTENSIBLE format_{};
    std::atomic<platform::MMRESULT> lastResult_{0};
    WAVEHDR headers_[kBuffers] = {};
    std::vector<char> memory_; // the 100 buffers, one block each
    char* buffers_[kBuffers] = {};
    std::atomic<char*> lastQueued_{nullptr};
    uint32_t blockBytes_ = 0;
    // Buffers with the device: written by both threads.
    std::atomic<int32_t> withDevice_{0};
    LevelBlock levels_{};
    // Written by the worker, read by the caller.
    std::atomic<uint32_t> gaps_{0};
    std::atomic<uint32_t> deviceError_{0};
    HandlerStats stats_;
};

WaveInEngine& waveIn();

} // namespace brevon::wave
