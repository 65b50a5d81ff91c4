// The settings store: integers and strings in the version section of the user's store file,
// shared by every running copy of the program.
//
// Reads never wait for a writer: the values live in an immutable snapshot that a write or a
// reload replaces whole, so the capture thread (25 blocks a second, a few reads each) and the
// other threads meet only at one atomic pointer. A read looks at the file's identity (inode,
// size, times) at most once per check interval and reloads the snapshot when another process has
// changed the file; threads that must not touch the disk skip that look.
//
// A write takes an advisory lock on the file's folder, reads the file again, applies only the
// values this process sets, writes a new file beside it and renames it over the old one, so no
// crash leaves it truncated and no other process's change is lost. A link is followed to its
// target, which is replaced in its own folder. A file that is not a regular file we may write
// (a device, a folder, a FIFO, a read-only file) is never replaced: its values (none, unless it
// is a readable regular file) and this run's writes last until the program ends, and the
// problem is reported once.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "settings/settings_table.h"

namespace ini {
class Document;
}

class SettingsStore {
public:
    // A store kept in filePath (an INI file), in the given section; home is the user's home
    // folder, for the defaults that name it.
    SettingsStore(std::string filePath, std::string section, std::string home);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The user's own store: the product's organisation and application in the user's
    // configuration folder, the section named by the version text.
    static SettingsStore& instance();
    static std::string defaultFilePath();
    static std::string userHome();

    // A missing value, or an integer that is not a number in range, reads as the default.
    int readInt(std::string_view name, int defaultValue) const;
    std::string readString(std::string_view name, const std::string& defaultValue) const;
    // With the readers' default of the table.
    int readInt(const settings::Value& value) const;
    std::string readString(const settings::Value& value) const;

    // False when the value could not be kept on disk; it is still seen by reads in this run.
    bool writeInt(std::string_view name, int value);
    bool writeString(std::string_view name, const std::string& value);

    // Claims the next number of a counter for this process alone: under the file's lock the
    // stored value (the default when missing or not a number) is read, advanced and written
    // back, so two processes never claim the same number. The count wraps from the largest int,
    // and jumps from anything below first, to first.
    int claimNext(std::string_view name, int defaultValue, int first = 1);

    // Values that shadow the stored ones for this run only: reads see them, and writes to them
    // are dropped, so they never reach the file. Set before other threads use the store.
    void setOverride(std::string_view name, const std::string& value);

    // Installing: deletes the version section (and the whole store when no other section is
    // left), then writes the install defaults in their order, the window centred on a screen of
    // the given size.
    bool install(int screenWidth, int screenHeight);
    // Uninstalling: deletes the version section, and the whole store when no other is left.
    bool uninstall();

    // Why the settings cannot be saved (empty while they can), as a sentence for the user.
    std::string saveProblem() const;
    // The handler hears of that problem once per store: at once when it is already known, else
    // the first time it is found, on the thread that found it (the window's, or the recorder's
    // hand-over thread).
    void onSaveProblem(std::function<void(const std::string&)> handler);

    // The calling thread's reads never look at the file (for the capture thread, which does no
    // disk work beyond its own file); they see what other threads' reads and writes loaded.
    static void keepThreadOffDisk();
    // How often reads look for changes made by other processes (at most once per interval).
    void setChangeCheckInterval(std::chrono::milliseconds interval);
    // Looks for such changes now.
    void refresh();

    const std::string& filePath() const { return filePath_; }
    const std::string& section() const { return section_; }
    const std::string& home() const { return home_; }
    // Why the last write failed.
    std::string lastError() const;

private:
    using Values = std::map<std::string, std::string, std::less<>>;

    // Identity of the file as last read: a change of any field means another writer.
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        int64_t modified = 0;
        int64_t changed = 0;
        bool operator==(const Identity&) const = default;
        static Identity of(const struct stat& info);
    };
    // What the store's path leads to once links are followed.
    struct Target {
        enum class Kind { Regular, Missing, Unusable } kind = Kind::Missing;
        std::string path;
        // Why the file cannot be replaced; empty when it can.
        std::string problem;
        bool throughLink = false;
    };

    Target resolve() const;
    Identity identityNow() const;
    void maybeRefresh() const;
    void reloadLocked() const;
    void publishLocked() const;
    // Sets the value that valueFor makes of the current one (null when missing), on disk when
    // the file can be replaced, else for this run only.
    bool updateLocked(std::string_view name,
                      const std::function<std::string(const std::string*)>& valueFor);
    // Under the folder's lock: reads the file as it is now, lets edit change it, and writes it
    // back through a new file renamed over it. False, with lastError_ set, when it fails.
    // With removeIfEmpty a file left with nothing in it is removed instead.
    bool replaceLocked(const Target& target, const std::function<void(ini::Document&)>& edit,
                       bool removeIfEmpty = false);
    void noteProblemLocked(const std::string& problem) const;
    void reportProblem();

    // Written only before other threads start; never changed while they read.
    Values overrides_;

    const std::string filePath_;
    const std::string section_;
    const std::string home_;

    // Published by writers and reloads under writeMutex_, read by every reader without a lock.
    mutable std::atomic<std::shared_ptr<const Values>> values_;
    // The next time (coarse monotonic milliseconds) a read looks at the file: set under
    // writeMutex_, read by every reader.
    mutable std::atomic<int64_t> nextCheckMs_{0};
    std::atomic<int64_t> checkIntervalMs_{50};
    // Serialises writers and reloads with each other; readers only try it.
    mutable std::mutex writeMutex_;
    // Under writeMutex_: the file's section as last read, the values this run could not save,
    // the identity of the file read.
    mutable Values fileValues_;
    Values unsaved_;
    mutable Identity identity_;
    mutable std::string lastError_;
    mutable std::string problem_;
    bool staleTemporariesCleared_ = false;
    // Under problemMutex_: the handler and whether the problem was reported.
    mutable std::mutex problemMutex_;
    std::function<void(const std::string&)> problemHandler_;
    bool problemReported_ = false;
};
