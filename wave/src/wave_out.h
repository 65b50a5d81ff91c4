// The playback half of the engine: one output device fed in 40-ms blocks, by a fill procedure
// asked once per returned block (pull) or by a media reader kept three to four seconds ahead
// (push); meters every played block (one every 40 ms of a device that plays as fast as it is
// asked) and keeps the play position.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/event.h"
#include "platform/records.h"
#include "platform/thread.h"
#include "platform/wavedev.h"
#include "wave_in.h"

namespace brevon::wave {

class WaveOutEngine {
public:
    static constexpr int kStartFills = 25;
    static constexpr int64_t kPushAheadBlocks = 4 * 25;
    static constexpr int64_t kPushStepBlocks = 25;
    static constexpr uint64_t kBlockTime = 400000; // 40 ms in 100-ns units
    static constexpr uint64_t kReportNanos = 40ull * 1000 * 1000;
    static constexpr uint64_t kPushAheadTime = 4ull * 1000 * 10000;
    static constexpr uint64_t kPushStallNanos = 1000ull * 1000 * 1000;
    static constexpr uint64_t kPushEndWaitNanos = 100ull * 1000 * 1000;

    WaveOutEngine() = default;
    ~WaveOutEngine();
    WaveOutEngine(const WaveOutEngine&) = delete;
    WaveOutEngine& operator=(const WaveOutEngine&) = delete;

    EngineCallback setOpenCallback(EngineCallback c) { return openCallback_ = c; }
    EngineCallback setLevelCallback(EngineCallback c) { return levelCallback_ = c; }
    EngineCallback setCloseCallback(EngineCallback c) { return closeCallback_ = c; }
    EngineCallback setFillCallback(EngineCallback c) { return fillCallback_ = c; }
    EngineCallback setPlayStartCallback(EngineCallback c) { return playStartCallback_ = c; }
    EngineCallback setReaderCallback(EngineCallback c) { return readerCallback_ = c; }

    void startPull(uint32_t deviceId, uint64_t startOffset, const WAVEFORMATEX* format,
                   uint32_t fillBufferSize);
    // duration: of the whole sound (100-ns units; 0 when unknown). Until the play position
    // reaches it, a device that has played out everything waits for the reader's next samples
    // (for at most kPushStallNanos) instead of ending the playback.
    void startPush(uint64_t startOffset, const WAVEFORMATEX* format, uint64_t duration = 0);
    void onSample(const WMASampleInfo* sample);
    void pause();
    void stop();
    void reset();
    uint64_t playPosition() const { return playPosition_; }
    int64_t playTime() const;

    bool playing() const { return playing_; }
    bool isOpen() const { return open_; }
    int64_t blocksInFlight() const { return inFlight_; }
    uint32_t gapCount() const { return gaps_; }
    HandlerStats& stats() { return stats_; }

private:
    static void deviceCallback(platform::HWAVEOUT device, uint32_t message, uintptr_t instance,
                               uintptr_t param1, uintptr_t param2);
    bool openDevice(uint32_t deviceId, const WAVEFORMATEX* format);
    void shutdown();
    void run(platform::MessageQueue& queue);
    void beginPull();
    void fill();
    void writeBlocks(const uint8_t* data, uint32_t length);
    WAVEHDR* takeBlock(uint32_t bytes);
    void keepBlock(WAVEHDR* header);
    void freeSpareBlocks();
    void takeReturned();
    void handleReturned(const std::vector<WAVEHDR*>& headers);
    void handleReturned(WAVEHDR* header, uint64_t position);
    void endOfSound();
    bool waitForReader(uint64_t position);
    uint64_t readerTimeAt(uint64_t position) const;
    void checkReaderStall();
    void closeFromWorker();

    std::atomic<int64_t> inFlight_{0};
    // Blocks the device has returned and the worker has not taken yet; the worker's batch.
    std::mutex returnedMutex_;
    std::vector<WAVEHDR*> returned_;
    std::vector<WAVEHDR*> taken_;
    // Played blocks kept for the next writes (allocated on one thread, freed on another, they
    // would go through the allocator's locks for every block).
    static constexpr size_t kSpareBlocks = 128;
    std::mutex spareMutex_;
    std::vector<void*> spare_;
    std::atomic<uint64_t> startOffset_{0};
    platform::Event opened_{true, false};
    platform::Event closed_{true, false};
    platform::Event begun_{true, false}; // the worker has done the first fills of a pull start
    platform::MessageThread worker_;
    FillRequest fillRequest_{};
    std::vector<uint8_t> fillBuffer_;
    uint32_t fillRoom_ = 0;
    // Written by the worker and by the reader's thread (push); compared by the worker.
    std::atomic<char*> lastWritten_{nullptr};
    std::atomic<uint64_t> writtenThisStart_{0};
    std::atomic<uint32_t> fillBufferSize_{0};
    std::atomic<platform::HWAVEOUT> device_{nullptr};
    bool deviceOpenOnWorker_ = false; // only the worker closes the device
    // Flags: written by the caller's thread (and the worker at the end of the sound).
    std::atomic<bool> holdOpen_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> open_{false};
    std::atomic<EngineCallback> readerCallback_{nullptr};
    std::atomic<EngineCallback> openCallback_{nullptr};
    std::atomic<EngineCallback> levelCallback_{nullptr};
    std::atomic<EngineCallback> closeCallback_{nullptr};
    std::atomic<EngineCallback> fillCallback_{nullptr};
    std::atomic<EngineCallback> playStartCallback_{nullptr};
    std::atomic<uint64_t> playPosition_{0};
    platform::WAVEFORMATEXTENSIBLE format_{};
    LevelBlock levels_{};
    uint64_t playStartOffset_ = 0; // handed to the play-start callback
    uint64_t readerTime_ = 0;      // handed to the reader callback
    // Push mode: where the sound ends, and since when the device has been waiting for the
    // reader (0: it is not). Written by the caller's thread at a start, then by the worker.
    std::atomic<uint64_t> pushDuration_{0};
    uint64_t starvedSince_ = 0;
    // Worker only: whether the device keeps the pace of the sound, and when a block was last
    // reported to the level callback.
    bool paced_ = true;
    uint64_t reportedNanos_ = 0;
    uint64_t stallNanos_ = kPushStallNanos;
    // The end of the last sample the reader pushed (100-ns units), written by its thread.
    std::atomic<uint64_t> pushedUntil_{0};
    // Set by the reader's thread when it has delivered the last sample (push mode).
    std::atomic<bool> pushEnded_{false};
    // When the reader's thread last wrote a block (steady-clock nanoseconds).
    std::atomic<uint64_t> lastPushNanos_{0};
    std::atomic<uint32_t> gaps_{0};
    HandlerStats stats_;
};

WaveOutEngine& waveOut();

} // namespace brevon::wave
