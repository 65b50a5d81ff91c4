// The part saver.
#include "part_saver.h"

#include <chrono>
#include <filesystem>

#include "take_files.h"

PartSaver::PartSaver(WindowHandle window)
    : window_(window), move_(&takefiles::moveFile), thread_([this] { run(); })
{
}

PartSaver::~PartSaver()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void PartSaver::save(Part part)
{
    int parts = pending_.fetch_add(1, std::memory_order_acq_rel) + 1;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(part));
    }
    wake_.notify_one();
    postWindowMessage(window_, WM_REC_SAVING, static_cast<uintptr_t>(parts));
}

bool PartSaver::waitUntilDone(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return pending() == 0; });
}

void PartSaver::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
        if (queue_.empty())
            return; // ending, and nothing left to save
        Part part = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        saveOne(part);
        lock.lock();
        int parts = pending_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        postWindowMessage(window_, WM_REC_SAVING, static_cast<uintptr_t>(parts));
        done_.notify_all();
    }
}

void PartSaver::saveOne(Part& part)
{
    if (part.afterwards)
        part.afterwards();
    if (part.hundredths == 0) {
        std::error_code ignored;
        std::filesystem::remove(part.source, ignored);
        return;
    }
    std::string name = takefiles::safePrefix(part.prefix) +
                       takefiles::autoSaveSuffix(part.autoSaveMode, part.segmentStart,
                                                 part.sessionNumber, part.segmentCount) +
                       takefiles::extension(part.encoding);
    std::string destination = takefiles::distinctPath(part.saveFolder + "/" + name);
    std::string error = move_(part.source, destination);
    if (!error.empty()) {
        postWindowMessage(window_, WM_REC_FAILED, kRecFailedPartNotSaved, 0,
                          "the take could not be saved and stays at " + part.source + ": " + error);
        return;
    }
    postWindowMessage(window_, WM_REC_SAVED, static_cast<uintptr_t>(part.hundredths), 0,
                      destination);
}
