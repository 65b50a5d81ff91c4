// The part saver.
#include "part_saver.h"

#include <chrono>
#include <filesystem>

#include "take_files.h"

PartSaver::PartSaver(WindowHandle window) : window_(window), move_(&takefiles::moveFile) {}

void PartSaver::save(Part part)
{
    int parts = pending_.fetch_add(1, std::memory_order_acq_rel) + 1;
    postWindowMessage(window_, WM_REC_SAVING, static_cast<uintptr_t>(parts));
    worker_.post([this, part = std::move(part)]() mutable {
        saveOne(part);
        int left = 0;
        {
            std::lock_guard lock(mutex_);
            left = pending_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        }
        postWindowMessage(window_, WM_REC_SAVING, static_cast<uintptr_t>(left));
        done_.notify_all();
    });
}

bool PartSaver::waitUntilDone(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return pending() == 0; });
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
