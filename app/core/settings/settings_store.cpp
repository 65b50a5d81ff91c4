// The settings store over an INI file shared between processes.
#include "settings/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "product.h"
#include "settings/ini_text.h"

namespace {

// Larger than any settings file this program writes by far; a larger file is something else.
constexpr off_t kLargestFile = 4 * 1024 * 1024;
// How long a writer waits for another process's write. A write holds the lock for milliseconds
// (more on a busy disk); only a process stopped half-way (Ctrl+Z) holds it longer.
constexpr auto kLockWait = std::chrono::seconds(30);

thread_local bool tOffDisk = false;

// Parses a whole decimal integer in the range of int, blanks around it allowed.
bool parseInt(std::string_view text, int& out)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        value < INT_MIN || value > INT_MAX)
        return false;
    out = static_cast<int>(value);
    return true;
}

int64_t coarseMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string folderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

// The whole content of a regular file opened without following a link and without waiting; the
// file's status is left in info. False when it is not a regular file of settings size, or
// cannot be read.
bool readRegularFile(const std::string& path, std::string& text, struct stat& info)
{
    FileDescriptor file(
        open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > kLargestFile)
        return false;
    text.clear();
    char buffer[8192];
    for (;;) {
        ssize_t got = read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        text.append(buffer, static_cast<size_t>(got));
        if (static_cast<off_t>(text.size()) > kLargestFile)
            return false;
    }
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// An advisory lock on a folder, shared by every process that writes a settings file in it.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : folder_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (folder_.fd < 0)
            return;
        auto giveUp = std::chrono::steady_clock::now() + kLockWait;
        // A file system without locks is written without them (the rename still keeps the file
        // whole); a lock held past the wait fails the write rather than undo another's change.
        while (flock(folder_.fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            if (std::chrono::steady_clock::now() > giveUp) {
                timedOut_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bool folderOpen() const { return folder_.fd >= 0; }
    bool timedOut() const { return timedOut_; }
    int fd() const { return folder_.fd; }

private:
    FileDescriptor folder_;
    bool timedOut_ = false;
};

// Why writing failed, from errno.
std::string cannotWrite(const std::string& path)
{
    return "cannot write the settings file " + path + " (" + std::strerror(errno) + ")";
}

std::string temporaryPrefix(const std::string& target)
{
    std::string prefix = baseName(target);
    prefix.insert(prefix.begin(), '.');
    return prefix.append(".tmp-");
}

} // namespace

SettingsStore::SettingsStore(std::string filePath, std::string section, std::string home)
    : filePath_(std::move(filePath)), section_(std::move(section)), home_(std::move(home))
{
    std::lock_guard lock(writeMutex_);
    reloadLocked();
    nextCheckMs_ = coarseMilliseconds() + checkIntervalMs_;
}

std::string SettingsStore::defaultFilePath()
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, product::kStoreOrganization,
                       product::kStoreApplication);
    return settings.fileName().toStdString();
}

std::string SettingsStore::userHome()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

SettingsStore& SettingsStore::instance()
{
    static SettingsStore store(defaultFilePath(), product::kVersionText, userHome());
    return store;
}

SettingsStore::Target SettingsStore::resolve() const
{
    Target target;
    std::string path = filePath_;
    for (int hops = 0; hops < 40; ++hops) {
        target.path = path;
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            if (errno == ENOENT) {
                target.kind = Target::Kind::Missing;
            } else {
                target.kind = Target::Kind::Unusable;
                target.problem = "cannot reach " + path + " (" + std::strerror(errno) + ")";
            }
            return target;
        }
        if (S_ISLNK(info.st_mode)) {
            std::string link(PATH_MAX, '\0');
            ssize_t length = readlink(path.c_str(), link.data(), link.size());
            if (length < 0)
                break;
            link.resize(static_cast<size_t>(length));
            path = !link.empty() && link.front() == '/' ? link : folderOf(path) + "/" + link;
            target.throughLink = true;
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            target.kind = Target::Kind::Unusable;
            target.problem = path + " is " + kindOf(info.st_mode) + ", not a settings file";
        } else if (info.st_size > kLargestFile) {
            target.kind = Target::Kind::Unusable;
            target.problem = path + " is too large to be a settings file";
        } else {
            target.kind = Target::Kind::Regular;
            // Write permission is asked of the file's mode too: the superuser may write any file.
            if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                access(path.c_str(), W_OK) != 0)
                target.problem = path + " is read-only";
            else if (access(folderOf(path).c_str(), W_OK) != 0)
                target.problem = "its folder " + folderOf(path) + " is read-only";
        }
        return target;
    }
    target.kind = Target::Kind::Unusable;
    target.problem = "cannot follow the link " + filePath_;
    return target;
}

SettingsStore::Identity SettingsStore::Identity::of(const struct stat& info)
{
    auto nanoseconds = [](const timespec& time) {
        return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    return {info.st_dev, info.st_ino, info.st_size, nanoseconds(info.st_mtim),
            nanoseconds(info.st_ctim)};
}

SettingsStore::Identity SettingsStore::identityNow() const
{
    struct stat info {};
    if (stat(filePath_.c_str(), &info) != 0)
        return {};
    return Identity::of(info);
}

void SettingsStore::reloadLocked() const
{
    Target target = resolve();
    fileValues_.clear();
    identity_ = identityNow();
    std::string text;
    struct stat info {};
    if (target.kind == Target::Kind::Regular && readRegularFile(target.path, text, info)) {
        // The identity of what was read: a change after the read shows at the next check.
        identity_ = Identity::of(info);
        fileValues_ = ini::Document(text).section(section_);
    }
    if (!target.problem.empty())
        noteProblemLocked(target.problem);
    publishLocked();
}

void SettingsStore::publishLocked() const
{
    auto values = std::make_shared<Values>(fileValues_);
    for (const auto& [name, value] : unsaved_)
        (*values)[name] = value;
    values_.store(std::move(values), std::memory_order_release);
}

void SettingsStore::keepThreadOffDisk()
{
    tOffDisk = true;
}

void SettingsStore::setChangeCheckInterval(std::chrono::milliseconds interval)
{
    checkIntervalMs_ = interval.count();
    nextCheckMs_ = 0;
}

inline void SettingsStore::maybeRefresh() const
{
    if (tOffDisk || coarseMilliseconds() < nextCheckMs_.load(std::memory_order_relaxed))
        return;
    const_cast<SettingsStore*>(this)->refresh();
}

void SettingsStore::refresh()
{
    {
        // A writer at work reloads anyway; a read never waits for it.
        std::unique_lock lock(writeMutex_, std::try_to_lock);
        if (!lock)
            return;
        nextCheckMs_.store(coarseMilliseconds() + checkIntervalMs_, std::memory_order_relaxed);
        if (identityNow() == identity_)
            return;
        reloadLocked();
    }
    reportProblem();
}

void SettingsStore::setOverride(std::string_view name, const std::string& value)
{
    std::lock_guard lock(writeMutex_);
    overrides_[std::string(name)] = value;
}

int SettingsStore::readInt(std::string_view name, int defaultValue) const
{
    int value = 0;
    if (!overrides_.empty()) {
        auto overridden = overrides_.find(name);
        if (overridden != overrides_.end())
            return parseInt(overridden->second, value) ? value : defaultValue;
    }
    maybeRefresh();
    auto values = values_.load(std::memory_order_acquire);
    auto found = values->find(name);
    if (found == values->end() || !parseInt(found->second, value))
        return defaultValue;
    return value;
}

std::string SettingsStore::readString(std::string_view name, const std::string& defaultValue) const
{
    if (!overrides_.empty()) {
        auto overridden = overrides_.find(name);
        if (overridden != overrides_.end())
            return overridden->second;
    }
    maybeRefresh();
    auto values = values_.load(std::memory_order_acquire);
    auto found = values->find(name);
    return found == values->end() ? defaultValue : found->second;
}

int SettingsStore::readInt(const settings::Value& value) const
{
    int fallback = 0;
    if (value.readDefault)
        parseInt(value.readDefault, fallback);
    return readInt(value.name, fallback);
}

std::string SettingsStore::readString(const settings::Value& value) const
{
    return readString(value.name, settings::expandHome(value.readDefault, home_));
}

bool SettingsStore::writeInt(std::string_view name, int value)
{
    return writeString(name, std::to_string(value));
}

bool SettingsStore::writeString(std::string_view name, const std::string& value)
{
    bool saved = true;
    {
        std::lock_guard lock(writeMutex_);
        // An overridden value keeps its value for the run and is never written.
        if (overrides_.find(name) != overrides_.end())
            return true;
        saved = updateLocked(name, [&](const std::string*) { return value; });
    }
    reportProblem();
    return saved;
}

int SettingsStore::claimNext(std::string_view name, int defaultValue, int first)
{
    int claimed = first;
    {
        std::lock_guard lock(writeMutex_);
        auto overridden = overrides_.find(name);
        if (overridden != overrides_.end()) {
            int value = defaultValue;
            parseInt(overridden->second, value);
            return value;
        }
        updateLocked(name, [&](const std::string* current) {
            int value = defaultValue;
            if (current && !parseInt(*current, value))
                value = defaultValue;
            claimed = value < first || value == INT_MAX ? first : value + 1;
            return std::to_string(claimed);
        });
    }
    reportProblem();
    return claimed;
}

bool SettingsStore::updateLocked(std::string_view name,
                                 const std::function<std::string(const std::string*)>& valueFor)
{
    Target target = resolve();
    std::string problem = target.problem;
    if (target.kind != Target::Kind::Unusable && problem.empty()) {
        bool saved = replaceLocked(target, [&](ini::Document& document) {
            // Values an earlier write could not save are this run's changes too.
            for (const auto& [key, value] : unsaved_)
                document.set(section_, key, value);
            ini::Values current = document.section(section_);
            auto found = current.find(name);
            document.set(section_, name,
                         valueFor(found == current.end() ? nullptr : &found->second));
        });
        if (saved) {
            unsaved_.clear();
            publishLocked();
            return true;
        }
        problem = lastError_;
    }
    // Kept for this run only.
    auto found = unsaved_.find(name);
    const std::string* current = nullptr;
    if (found != unsaved_.end()) {
        current = &found->second;
    } else {
        auto stored = fileValues_.find(name);
        if (stored != fileValues_.end())
            current = &stored->second;
    }
    std::string value = valueFor(current);
    unsaved_[std::string(name)] = std::move(value);
    noteProblemLocked(problem);
    publishLocked();
    return false;
}

bool SettingsStore::replaceLocked(const Target& target,
                                  const std::function<void(ini::Document&)>& edit,
                                  bool removeIfEmpty)
{
    const std::string folder = folderOf(target.path);
    if (target.kind == Target::Kind::Missing && !target.throughLink) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    FolderLock lock(folder);
    if (!lock.folderOpen()) {
        lastError_ = cannotWrite(target.path);
        return false;
    }
    if (lock.timedOut()) {
        lastError_ = "another process has kept the settings file " + target.path + " locked";
        return false;
    }
    const std::string prefix = temporaryPrefix(target.path);
    if (!staleTemporariesCleared_) {
        // Under the lock no other writer has a temporary file open: any found was left by a
        // writer that ended half-way.
        staleTemporariesCleared_ = true;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                std::filesystem::remove(entry.path(), error);
        }
    }

    // The file as it is now, written by whichever process came last.
    std::string text;
    struct stat old {};
    bool exists = lstat(target.path.c_str(), &old) == 0;
    if (exists && !readRegularFile(target.path, text, old)) {
        lastError_ = target.path + " could not be read again before it was replaced";
        return false;
    }
    ini::Document document(text);
    edit(document);
    text = document.text();
    if (removeIfEmpty && document.empty()) {
        fileValues_.clear();
        identity_ = {};
        if (unlink(target.path.c_str()) != 0 && errno != ENOENT) {
            lastError_ = "cannot remove the settings file " + target.path + " (" +
                         std::strerror(errno) + ")";
            return false;
        }
        lastError_.clear();
        return true;
    }

    static std::atomic<unsigned> serial{0};
    std::string temporary;
    int fd = -1;
    for (int tries = 0; tries < 100 && fd < 0; ++tries) {
        temporary = folder + "/" + prefix + std::to_string(getpid()) + "-" +
                    std::to_string(serial.fetch_add(1));
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        lastError_ = cannotWrite(target.path);
        return false;
    }
    FileDescriptor file(fd);
    if (exists) {
        // The new file keeps the old one's permissions and owner.
        fchmod(fd, old.st_mode & 07777);
        if (old.st_uid != geteuid() || old.st_gid != getegid()) [[maybe_unused]]
            int ignored = fchown(fd, old.st_uid, old.st_gid);
    }
    if (!writeAll(fd, text) || fsync(fd) != 0 ||
        rename(temporary.c_str(), target.path.c_str()) != 0) {
        lastError_ = cannotWrite(target.path);
        unlink(temporary.c_str());
        return false;
    }
    fsync(lock.fd());
    struct stat info {};
    if (fstat(fd, &info) == 0)
        identity_ = Identity::of(info);
    fileValues_ = document.section(section_);
    lastError_.clear();
    return true;
}

void SettingsStore::noteProblemLocked(const std::string& problem) const
{
    lastError_ = "The settings cannot be saved: " + problem + ".";
    std::lock_guard lock(problemMutex_);
    problem_ = lastError_ + " Changes last until the program ends.";
}

void SettingsStore::reportProblem()
{
    std::function<void(const std::string&)> handler;
    std::string problem;
    {
        std::lock_guard lock(problemMutex_);
        if (problemReported_ || problem_.empty() || !problemHandler_)
            return;
        problemReported_ = true;
        handler = problemHandler_;
        problem = problem_;
    }
    handler(problem);
}

std::string SettingsStore::saveProblem() const
{
    std::lock_guard lock(problemMutex_);
    return problem_;
}

void SettingsStore::onSaveProblem(std::function<void(const std::string&)> handler)
{
    {
        std::lock_guard lock(problemMutex_);
        problemHandler_ = std::move(handler);
    }
    reportProblem();
}

bool SettingsStore::install(int screenWidth, int screenHeight)
{
    bool saved = false;
    {
        std::lock_guard lock(writeMutex_);
        auto installEdit = [&](ini::Document& document) {
            document.removeSection(section_);
            for (const settings::Value* value : settings::installOrder()) {
                std::string text;
                if (value == &settings::XPos)
                    text = std::to_string((screenWidth - settings::kWindowWidth) / 2);
                else if (value == &settings::YPos)
                    text = std::to_string((screenHeight - settings::kWindowHeight) / 2);
                else
                    text = settings::expandHome(value->installDefault, home_);
                document.set(section_, value->name, text);
            }
        };
        Target target = resolve();
        if (target.kind != Target::Kind::Unusable && target.problem.empty()) {
            saved = replaceLocked(target, installEdit);
            if (saved)
                unsaved_.clear();
        } else {
            noteProblemLocked(target.problem);
        }
        if (!saved) {
            ini::Document document;
            installEdit(document);
            fileValues_.clear();
            unsaved_ = document.section(section_);
        }
        publishLocked();
    }
    reportProblem();
    return saved;
}

bool SettingsStore::uninstall()
{
    bool removed = false;
    {
        std::lock_guard lock(writeMutex_);
        Target target = resolve();
        if (target.kind == Target::Kind::Missing) {
            removed = true;
        } else if (target.kind == Target::Kind::Regular && target.problem.empty()) {
            // The store goes with its last section; a link keeps its (empty) target.
            removed = replaceLocked(
                target, [&](ini::Document& document) { document.removeSection(section_); },
                !target.throughLink);
        } else {
            noteProblemLocked(target.problem);
        }
        unsaved_.clear();
        fileValues_.clear();
        publishLocked();
    }
    reportProblem();
    return removed;
}

std::string SettingsStore::lastError() const
{
    std::lock_guard lock(writeMutex_);
    return lastError_;
}
