// The recorder: ties the wave engine's capture to the file writers and holds the recording logic
// (capture format, input device, temporary files, VOX gate, automatic stops, splits, auto-save).
// Operations run on the window's thread; the engine's callbacks and the per-block work run on the
// capture thread. The two meet only in the atomic flags and counters below, and the recorder
// reaches windows only by posting messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

#include "input_peaks.h"
#include "part_saver.h"
#include "platform/records.h"
#include "pre_roll_ring.h"
#include "serial_worker.h"
#include "settings/settings_store.h"
#include "take_files.h"
#include "take_writer.h"
#include "vox_gate.h"
#include "wave_file_api.h"
#include "window_messages.h"

class CRecorder {
public:
    explicit CRecorder(WindowHandle mainWindow, SettingsStore& store = SettingsStore::instance());
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Configures the capture format from the settings, chooses the device, opens and starts it.
    // False with lastError() when a library is missing or the device cannot be started.
    bool StartDevice();
    void StopDevice();
    // Opens a new temporary output file and starts writing blocks; false with lastError() when
    // the file cannot be opened (nothing is recorded then).
    bool StartRecording();
    // The session the next StartRecording belongs to, claimed by the caller from SessionNum;
    // without it the recording starts with the stored SessionNum.
    void SetSessionNumber(int number) { pendingSession_ = number; }
    void StopRecording();
    void TogglePause();
    void SetVoxHold(int blocks);
    int voxHold() const { return voxHold_; }
    void SetVoxLevel(int percent);
    // A new file every `seconds` of written sound (0: none), cut on the capture thread at the
    // exact sample where the length is reached, whatever the pace of the capture.
    void SetTimedSplit(int seconds) { splitEverySeconds_ = seconds < 0 ? 0 : seconds; }
    int timedSplit() const { return splitEverySeconds_; }
    // The sound kept ahead of each opening of the VOX gate, from nVOXPreRoll at each recording
    // start (0 to 2000 ms; none without VOX), and the bytes its ring holds.
    int preRollMs() const { return preRollMs_; }
    uint32_t preRollBytes() const { return preRoll_.capacity(); }
    static constexpr int kLongestPreRollMs = 2000;
    void RequestSplit() { splitRequested_ = true; }
    bool IsSplitRequested() const { return splitRequested_; }
    bool IsTakeUnsaved() const { return takeUnsaved_; }
    // The window is done with the stopped take (saved, discarded or given up): take unsaved
    // := false, and the take's lock is let go.
    void ReleaseTake();
    // Hands the finished temporary file to the part saver, which moves it into the save folder
    // under a generated name (or deletes it when it holds nothing) on its own thread, after the
    // parts handed over before it. The result arrives as WM_REC_SAVED or WM_REC_FAILED; a part
    // that cannot be moved stays in the temporary folder under its temporary name.
    bool AutoSave();
    int32_t FileHundredths() const;
    // Finished parts not yet moved and reported.
    int partsBeingSaved() const { return saver_.pending(); }
    // Waits (without dispatching messages) until every finished part is saved; false on time-out.
    bool waitForSaves(int timeoutMs) { return saver_.waitUntilDone(timeoutMs); }
    // Replaces the part saver's move (tests: a save folder whose copy takes seconds).
    void setPartMove(PartSaver::MoveFunction move) { saver_.setMove(std::move(move)); }
    int32_t TotalHundredths() const;

    // The recording asked to be stopped by its time limit or its VOX duration (not by a
    // failure); cleared when the next recording starts.
    bool stoppedAutomatically() const { return stopPosted_ && !failed_; }
    bool recording() const { return recording_; }
    bool paused() const { return paused_; }
    bool deviceStarted() const { return deviceStarted_; }
    // The VOX gate's verdict on the latest block (always true with VOX off).
    bool voiceActive() const { return voiceActive_; }
    // Whether a block of that channel (0 left, 1 right) held a full-scale sample since the last
    // clear (or the recording's start): the clip lamps. The window clears them.
    bool inputClipped(int channel) const { return inputClipped_[channel & 1]; }
    void clearInputClipped();
    // The take since its start, over the blocks written: each channel's peak (0..32768) and its
    // full-scale samples.
    struct TakePeaks {
        uint32_t peak[2] = {0, 0};
        uint64_t clipped[2] = {0, 0};
    };
    TakePeaks takePeaks() const;
    // The settings pages that want the input levels while they are shown.
    void setMeterListenerA(WindowHandle window) { listenerA_ = window; }
    void setMeterListenerB(WindowHandle window) { listenerB_ = window; }

    const WAVEFORMATEX& captureFormat() const { return format_; }
    int encoding() const { return encoding_; }
    std::string temporaryPath() const;
    // Why the last operation failed.
    std::string lastError() const;
    // Sound lost by the capture device since the device started.
    uint32_t gapCount() const;
    // Milliseconds since the device last handed over a block, or since it started.
    int64_t msSinceLastBlock() const;
    // The capture thread's own time for one block's work, in microseconds, over the blocks that a
    // recording saw since the device started: the mean and the largest.
    double meanBlockMicros() const;
    double largestBlockMicros() const;
    // Blocks the device has handed over since it started, and those of them that reached the
    // VOX gate while a recording ran (the input a recording saw).
    uint64_t blocksCaptured() const { return blocksHandled_; }
    uint64_t blocksGated() const { return blocksGated_; }

    // Called by the window now and then (its timer): a device that failed or has stopped
    // delivering blocks for two seconds ends the recording cleanly, with the reason posted, and
    // so does a temporary file whose folder was deleted. Time in which this process itself was
    // held (stopped, a paused machine) does not count as the device's silence: sound lost then
    // is a gap. True while the device works.
    bool CheckDevice();

    // Engine callbacks (capture thread).
    static intptr_t OnOpened(void* data, intptr_t);
    static intptr_t OnLevels(void* data, intptr_t);
    static intptr_t OnBlock(void* data, intptr_t);
    static intptr_t OnBuffer(void* data, intptr_t);

private:
    bool bindLibraries();
    bool configureFormat();
    uint32_t chooseDevice() const;
    // With deferredNameWrite (a split, on the capture thread) the settings writes of the new
    // name are handed back to be done by the part saver instead of here.
    bool openOutputFile(std::function<void()>* deferredNameWrite = nullptr);
    PartSaver::Part finishedPart();
    void closeOutputFile();
    void reportUncompleted(const std::string& path);
    // A stopped take whose folder was deleted is written again from what its lock still holds.
    void restoreDeletedTake();

    // A temporary file: its counter, names and lock (a next file is created under a hidden name
    // until the recording goes on in it).
    using TempName = takefiles::ClaimedFile;
    // Creates the next free temporary file after the counter, which it advances (any thread).
    TempName claimTemporaryFile(bool hidden);
    // The settings writes that record the current temporary file.
    std::function<void()> nameWrite(const TempName& name);
    // The current temporary file and the lock held on it.
    void setCurrentFile(const std::string& path, takefiles::SharedTakeLock lock);
    takefiles::SharedTakeLock currentLock() const;
    // The next file, opened ahead on the hand-over thread so that a split only switches files.
    void prepareNextFile();
    void openNextFile();
    // Closes and deletes an unused next file (window thread, with no block and no hand-over job
    // running).
    void discardNextFile();
    bool writeBlock(WAVEHDR* header);
    // Writes sound of a block into the take, cutting it where a timed split or the time limit
    // falls inside it.
    void writeSound(const WAVEHDR& block, const uint8_t* data, uint32_t bytes);
    // Writes up to `bytes` of the sound the ring owes the take, oldest first.
    void writeOwed(const WAVEHDR& block, uint32_t bytes);
    // The VOX gate's verdict on a block being written: the block and the ring's sound in order.
    void passThroughPreRoll(WAVEHDR* header, bool pass);
    uint64_t timeLimitBytes(bool writing) const;
    void handleBlock(WAVEHDR* header);
    void handleBlockSteps(WAVEHDR* header);
    bool timeLimitReached(bool writing);
    bool voxAutoStopDue(int autoStopVox);
    bool splitDue(int autoSaveMode) const;
    void split();
    void stopForFailure(const std::string& reason);
    void postStopOnce();
    void noteGaps();
    void waitForBlockToFinish() const;
    bool writing() const { return recording_ && !paused_ && !stopped_ && !failed_; }
    void setError(const std::string& reason);

    SettingsStore& store_;
    const WindowHandle mainWindow_;
    EngineLibraries engine_;
    bool wmaWriter_ = false;

    // Set by the window thread at device start, read by the capture thread.
    int encoding_ = 2;
    WAVEFORMATEX format_{};
    bool formatSet_ = false;
    // The writer of the configured encoding; the capture thread uses it while a file is open.
    std::unique_ptr<TakeWriter> writer_;

    // Written by the window thread, read by the capture thread (and the reverse for split).
    std::atomic<bool> recording_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> takeUnsaved_{false};
    std::atomic<bool> deviceStarted_{false};
    std::atomic<bool> splitRequested_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> stopPosted_{false};
    std::atomic<int> voxHold_{10};
    std::atomic<int> splitEverySeconds_{0};
    std::atomic<int> preRollMs_{0};
    // Set by the window thread at a recording start; the capture thread then clears the VOX
    // countdown before it judges the next block.
    std::atomic<bool> gateResetPending_{false};
    // Set while a WM_REC_LEVEL waits in the window's queue (cleared when the window is done
    // with it), so a window that falls behind is not flooded.
    // Shared with the queued message, which may outlive the recorder.
    std::shared_ptr<std::atomic<bool>> levelPending_ = std::make_shared<std::atomic<bool>>(false);
    // When the last level message was posted (capture thread).
    std::atomic<int64_t> lastLevelPostNs_{0};
    std::atomic<WindowHandle> listenerA_{nullptr};
    std::atomic<WindowHandle> listenerB_{nullptr};

    // Capture thread only (and the window thread while no block can arrive).
    VoxGate gate_;
    // Sized by the window thread at a recording start (no block is written then), used only by
    // the capture thread while a recording writes.
    PreRollRing preRoll_;
    // The oldest bytes in the ring that belong to the take (the pre-roll of an opened gate and
    // the blocks behind it, written a few blocks' worth at a time so that no block's work
    // encodes the whole pre-roll at once), and how much of it each block writes.
    uint32_t owed_ = 0;
    uint32_t drainPerBlock_ = 0;
    bool wasWriting_ = false;
    // The total bytes at which this block's time limit falls (none: the largest value).
    uint64_t limitBytes_ = UINT64_MAX;
    std::atomic<bool> voiceActive_{true};
    std::atomic<uint16_t> leftPeak_{0};
    std::atomic<uint16_t> rightPeak_{0};
    // The last buffer's peaks (capture thread), counted into the take when its block is written.
    BlockPeaks bufferPeaks_;
    // Set by the capture thread, read and cleared by the window thread.
    std::atomic<bool> inputClipped_[2] = {false, false};
    // Written by the capture thread, read by the window thread (reset at a recording start).
    std::atomic<uint32_t> takePeak_[2] = {0, 0};
    std::atomic<uint64_t> takeClipped_[2] = {0, 0};
    bool segmentStarted_ = false;
    int segmentCount_ = 0;
    std::tm segmentStart_{};
    // The recording's session number: set by the window thread at a start, before any block.
    int session_ = 1;
    int pendingSession_ = 0;
    bool outputOpen_ = false;
    std::atomic<uint64_t> fileBytes_{0};
    std::atomic<uint64_t> totalBytes_{0};
    std::atomic<int64_t> lastBlockNs_{0};
    // Window thread: when CheckDevice last ran, and since when the device's silence counts.
    int64_t lastCheckNs_ = 0;
    int64_t silenceCountsFromNs_ = 0;
    std::atomic<uint32_t> gaps_{0};
    // Written by the capture thread, read by the window thread.
    std::atomic<uint64_t> blocksHandled_{0};
    std::atomic<uint64_t> blocksGated_{0};
    std::atomic<uint64_t> blockNsTotal_{0};
    std::atomic<uint64_t> blockNsLargest_{0};
    // Set while the capture thread is inside the block handling.
    std::atomic<bool> inBlock_{false};

    // The temporary-file counter (NumInst): read at a recording start, advanced at each new file,
    // by the window thread, the capture thread or the hand-over thread.
    std::mutex namesMutex_;
    long long tempCounter_ = 0;
    // The next file: None (none open, or opening it failed), Opening (a hand-over job runs), or
    // Ready (open, named by nextName_, written by the hand-over thread before it sets Ready).
    enum class NextFile { None, Opening, Ready };
    std::atomic<NextFile> nextFile_{NextFile::None};
    TempName nextName_;
    // The current temporary file was handed to the part saver.
    bool partHandedOver_ = false;
    // Path of the current temporary file and its lock; written where the file is opened (window
    // thread at a start, capture thread at a split, hand-over thread at its renaming). The lock
    // is kept after the recording stops, until the take is auto-saved or released.
    mutable std::mutex pathMutex_;
    std::string temporaryPath_;
    takefiles::SharedTakeLock currentLock_;
    // Set by either thread when something fails; read by the window thread.
    mutable std::mutex errorMutex_;
    std::string error_;

    PartSaver saver_{mainWindow_};
    // The hand-over thread: at a split it completes the finished file, hands it to the saver and
    // opens the next one, so that the capture thread only switches files. Destroyed first.
    SerialWorker handover_;
};
