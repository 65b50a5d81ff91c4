// The part saver: a thread of its own that moves the finished parts of a recording into the save
// folder under their generated names and reports each, in the order the parts were finished. A
// split hands it the part and goes on recording at once, so a slow save folder (a USB stick, a
// network share: a copy that takes seconds) never stalls the capture thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

#include "serial_worker.h"
#include "take_files.h"
#include "window_messages.h"

class PartSaver {
public:
    // Moves a file; empty on success, else the reason (the source then stays where it was).
    using MoveFunction = std::function<std::string(const std::string& from, const std::string& to)>;

    // A finished, closed part and what its saved name is made of.
    struct Part {
        std::string source;
        // The recorder's lock on the source, let go once the part is saved or deleted.
        takefiles::SharedTakeLock lock;
        // Length in hundredths of a second; a part of length 0 is deleted, not saved.
        int32_t hundredths = 0;
        std::string saveFolder;
        std::string prefix;
        int autoSaveMode = 0;
        std::tm segmentStart{};
        int sessionNumber = 1;
        int segmentCount = 0;
        int encoding = 2;
        // Work that must follow the part's hand-over but not happen on the capture thread
        // (the settings writes of the next temporary name); may be empty.
        std::function<void()> afterwards;
    };

    // Reports go to window: WM_REC_SAVED (text: the saved path, wParam: hundredths) or
    // WM_REC_FAILED (text: why, and where the part stays), and WM_REC_SAVING (wParam: parts still
    // to save) whenever that count changes.
    explicit PartSaver(WindowHandle window);
    PartSaver(const PartSaver&) = delete;
    PartSaver& operator=(const PartSaver&) = delete;

    // Queues a part (any thread); never waits for a move.
    void save(Part part);
    // Parts queued or being moved.
    int pending() const { return pending_.load(std::memory_order_acquire); }
    // Waits until every queued part is done; false when the time ran out first.
    bool waitUntilDone(int timeoutMs);
    // Replaces the move (tests: a save folder whose copy takes seconds). Set while idle.
    void setMove(MoveFunction move) { move_ = std::move(move); }

private:
    void saveOne(Part& part);

    const WindowHandle window_;
    MoveFunction move_;
    // Guards the wait for the count to reach 0.
    std::mutex mutex_;
    std::condition_variable done_;
    // Incremented when a part is queued, decremented once it has been reported.
    std::atomic<int> pending_{0};
    // The saver's thread; last member, so that on destruction it saves every part still queued
    // while the rest is still there.
    SerialWorker worker_;
};
