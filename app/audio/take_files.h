// Names and moves of recorded files: the numbered temporary files, the generated names of
// auto-saved files, and a move that never loses a take.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace takefiles {

// ".wma", ".mp3", ".flac" or ".opus" for the encodings 0, 1, 3 and 4; ".wav" for any other.
const char* extension(int encoding);
// The encoding of a file the player opens, by the end of its name in any case: "wav" 2, "wma" 0,
// "mp3" 1, "flac" 3, "opus" and "ogg" 4; empty for any other name.
std::optional<int> playableEncoding(const std::string& path);
// "tmp0001.wav": the counter taken modulo 10000 (never negative).
std::string temporaryName(long long counter, int encoding);

// The suffix of an auto-saved name: " 2005-01-31-09-40-44" (mode 1), " 3-0002" (mode 2), or
// empty (any other mode).
std::string autoSaveSuffix(int mode, const std::tm& segmentStart, int sessionNumber,
                           int segmentCount);
// The prefix as a plain name: separators, control characters and leading dots removed, "Brevon"
// when nothing is left.
std::string safePrefix(const std::string& prefix);
// The path itself when nothing is there, otherwise "name (2).ext", "name (3).ext", ...
std::string distinctPath(const std::string& path);

// Moves a file; across file systems it copies, makes the copy durable, then deletes the source.
// On failure the source stays where it was and the reason is returned; empty on success. An
// existing destination is never replaced (the reason then says so, and `exists` is set).
std::string moveFile(const std::string& from, const std::string& to, bool* exists = nullptr);
// Moves a file to the path or, when a file of that name appears first (another recorder saving
// into the same folder), to the next distinct name; the name it got is returned in `saved`.
std::string moveToDistinctPath(const std::string& from, const std::string& to, std::string& saved);

// Renames without ever replacing a file: the system's no-replace rename, else a hard link and an
// unlink. 0 or the errno (EEXIST when a file of that name exists).
int renameNoReplace(const std::string& from, const std::string& to);

// The lock a recorder holds on each temporary file it records into, from its exclusive creation
// until the take is finished with (saved, discarded, or kept when the program ends): the
// descriptor it was created with, holding flock(LOCK_EX). A file in the temporary folder on
// which another process gets flock(LOCK_EX | LOCK_NB) is held by no running recorder. The lock
// follows the file through renames.
class TakeLock {
public:
    explicit TakeLock(int fd) : fd_(fd) {}
    ~TakeLock();
    TakeLock(const TakeLock&) = delete;
    TakeLock& operator=(const TakeLock&) = delete;
    int fd() const { return fd_; }
    // Whether the file was removed from its folder while it was held (its folder deleted).
    bool unlinked() const;

private:
    int fd_;
};
using SharedTakeLock = std::shared_ptr<TakeLock>;

// A temporary file created exclusively: the counter it was numbered with, its plain name and
// path, the path it was created as (the plain one, or the hidden one of a file opened ahead), and
// its lock; no lock, with error set (an errno), when no file could be created.
struct ClaimedFile {
    long long counter = 0;
    std::string name;
    std::string path;
    std::string openedAs;
    SharedTakeLock lock;
    int error = 0;
};
// Creates the first free temporary file after the counter in the folder ("tmp0002.wav"; with
// hidden, ".tmp0002.wav", a file opened ahead, whose plain name must be free too). A name that
// exists, or whose other form (hidden or plain) exists, is skipped: another recorder's take.
ClaimedFile claimTemporaryFile(const std::string& folder, long long counter, int encoding,
                               bool hidden);
// Gives a hidden file opened ahead its plain name; when another recorder took that name
// meanwhile, the next free number. Updates the claim (counter, name, path, openedAs); false with
// the errno when no name could be given (the file keeps its hidden name).
bool publishTemporaryFile(ClaimedFile& claim, int encoding, int& error);
// A take whose folder was deleted while it was recorded still lives behind its lock: its content
// is copied into a new file created at path (the folder made again), whose lock is returned;
// null with the reason in error when it cannot be.
SharedTakeLock restoreUnlinked(const TakeLock& lock, const std::string& path, std::string& error);

} // namespace takefiles
