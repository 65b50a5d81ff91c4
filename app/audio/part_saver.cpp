// The part saver.
#include "part_saver.h"

#include <chrono>
#include <filesystem>

#include "take_files.h"

PartSaver::PartSaver(WindowHandle window)
    : window_(window), move_([](const std::string& from, const std::string& to) {
          return takefiles::moveFile(from, to);
      })
{
}

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
    // The lock goes when the part is done with, whatever became of it.
    takefiles::SharedTakeLock lock = std::move(part.lock);
    if (part.hundredths == 0) {
        std::error_code ignored;
        std::filesystem::remove(part.source, ignored);
        return;
    }
    // A part whose temporary folder was deleted is written again from what its lock holds.
    if (lock && lock->unlinked()) {
        std::string why;
        lock = takefiles::restoreUnlinked(*lock, part.source, why);
        if (!lock) {
            postWindowMessage(window_, WM_REC_FAILED, kRecFailedPartNotSaved, 0,
                              "a recorded part was lost with its deleted temporary folder: " + why);
            return;
        }
    }
    std::string name = takefiles::safePrefix(part.prefix) +
                       takefiles::autoSaveSuffix(part.autoSaveMode, part.segmentStart,
                                                 part.sessionNumber, part.segmentCount) +
                       takefiles::extension(part.encoding);
    auto present = [](const std::string& path) {
        std::error_code ignored;
        return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
    };
    const std::string wanted = part.saveFolder + "/" + name;
    std::string destination;
    std::string error;
    // Another recorder saving into the same folder may take a free name first: the next one.
    for (int tries = 0; tries < 1000; ++tries) {
        destination = takefiles::distinctPath(wanted);
        error = move_(part.source, destination);
        if (error.empty() || !present(destination) || !present(part.source))
            break;
    }
    if (!error.empty()) {
        postWindowMessage(window_, WM_REC_FAILED, kRecFailedPartNotSaved, 0,
                          present(part.source)
                              ? "the take could not be saved and stays at " + part.source + ": " +
                                    error
                              : "the take " + part.source + " could not be saved: " + error);
        return;
    }
    postWindowMessage(window_, WM_REC_SAVED, static_cast<uintptr_t>(part.hundredths), 0,
                      destination);
}
