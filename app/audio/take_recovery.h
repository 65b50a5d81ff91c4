// Recovery of interrupted takes: the temporary files that no running recorder holds (the program
// was killed, the power went, or a take was kept at exit), mended where their header lags behind
// the sound on disk, measured and offered for saving or discarding; and the leftovers nobody will
// finish (empty files opened ahead, partial copies in the save folder), removed. Headless: the
// window and dravik-cli both use it.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace takerecovery {

// The open descriptor of a take, holding flock(LOCK_EX) on it while it is offered, so that no
// other recorder or recovery takes it meanwhile. Released (closed) when the last copy goes.
class TakeHold {
public:
    explicit TakeHold(int fd) : fd_(fd) {}
    ~TakeHold();
    TakeHold(const TakeHold&) = delete;
    TakeHold& operator=(const TakeHold&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

struct Take {
    std::string path;     // where it is, in the temporary folder
    std::string name;     // its file name ("tmp0003.wav")
    std::string encoding; // "WAV", "MP3", "WMA", "FLAC" or "Opus", by its extension
    std::string extension;
    // Length in hundredths of a second; -1 when it could not be read.
    int64_t hundredths = -1;
    // When its recording began, as near as the file tells (local time of the system clock).
    std::time_t recorded = 0;
    // Its header was mended to match the sound on disk.
    bool repaired = false;
    std::shared_ptr<TakeHold> hold;
};

struct Found {
    std::vector<Take> takes;          // oldest first
    std::vector<std::string> removed; // empty leftovers and partial copies that were deleted
};

// The length of a compressed file in hundredths, -1 when it does not decode.
using LengthProbe = std::function<int64_t(const std::string& path)>;
// Through the media runtime's reader (which must have been created; the caller's message pump
// runs while it opens a file).
int64_t readerLength(const std::string& path);

struct ScanOptions {
    // Measure compressed takes through the probe (WAV lengths come from their header); without,
    // their length is -1 and the media runtime is not touched.
    bool measure = true;
    LengthProbe probe = readerLength;
    // Partial copies in the save folder untouched for this long (and not locked by their writer)
    // are abandoned.
    int partialAgeSeconds = 2;
};

// Looks in the temporary folder for takes ("tmpNNNN.ext", also under the hidden name a file
// opened ahead has) that no running recorder holds, removes those without sound, mends and holds
// the others; removes abandoned partial copies (".NAME.part-XXXXXX", ".NAME.partial-XXXXXXXX")
// in the save folder. Files that are not regular files, links among them, are never touched.
Found scan(const std::string& tempFolder, const std::string& saveFolder,
           const ScanOptions& options = {});

// The path a take is saved under by Save: in the save folder, the prefix and the time-stamped
// suffix of its recording's start, its extension ("Brevon 2026-12-09-05-40-12.wav"); a name that
// exists gets " (2)", " (3)"...
std::string autoSavePath(const Take& take, const std::string& saveFolder,
                         const std::string& prefix);
// Moves the take to `destination`, or to the next distinct name when one is there: an existing
// file is never replaced. Empty on success (savedAs: where it went) or the reason; the take then
// stays where it was, still held.
std::string save(Take& take, const std::string& destination, std::string& savedAs);
// Deletes the take; empty or the reason.
std::string discard(Take& take);

// "00:01:02.50", or "unknown" for a length that could not be read.
std::string lengthText(int64_t hundredths);
// "2026-12-09 05:40:12" in local time.
std::string timeText(std::time_t when);

} // namespace takerecovery
