// Take file names and moves.
#include "take_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/file_io.h"

namespace takefiles {

const char* extension(int encoding)
{
    switch (encoding) {
    case 0:
        return ".wma";
    case 1:
        return ".mp3";
    case 3:
        return ".flac";
    case 4:
        return ".opus";
    default:
        return ".wav";
    }
}

std::optional<int> playableEncoding(const std::string& path)
{
    auto endsWith = [&path](const char* ending) {
        const size_t length = std::strlen(ending);
        return path.size() >= length &&
               strcasecmp(path.c_str() + path.size() - length, ending) == 0;
    };
    if (endsWith("wav"))
        return 2;
    if (endsWith("wma"))
        return 0;
    if (endsWith("mp3"))
        return 1;
    if (endsWith("flac"))
        return 3;
    if (endsWith("opus") || endsWith("ogg"))
        return 4;
    return std::nullopt;
}

std::string temporaryName(long long counter, int encoding)
{
    long long n = counter % 10000;
    if (n < 0)
        n += 10000;
    char name[32];
    std::snprintf(name, sizeof name, "tmp%.4lld%s", n, extension(encoding));
    return name;
}

std::string autoSaveSuffix(int mode, const std::tm& segmentStart, int sessionNumber,
                           int segmentCount)
{
    char suffix[64] = "";
    if (mode == 1)
        std::strftime(suffix, sizeof suffix, " %Y-%m-%d-%H-%M-%S", &segmentStart);
    else if (mode == 2)
        std::snprintf(suffix, sizeof suffix, " %d-%.4d", sessionNumber, segmentCount);
    return suffix;
}

std::string safePrefix(const std::string& prefix)
{
    std::string name;
    // Control characters (a line break would split every line that names the file) go too.
    for (char c : prefix) {
        if (c != '/' && c != '\\' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            name += c;
    }
    // A name that starts with dots could be "." or ".." or a hidden file.
    size_t start = name.find_first_not_of('.');
    name = start == std::string::npos ? std::string() : name.substr(start);
    return name.empty() ? std::string("Brevon") : name;
}

std::string distinctPath(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error)))
        return path;
    fs::path original(path);
    std::string stem = (original.parent_path() / original.stem()).string();
    std::string ext = original.extension().string();
    for (int i = 2;; ++i) {
        std::string candidate = stem + " (" + std::to_string(i) + ")" + ext;
        if (!fs::exists(fs::symlink_status(candidate, error)))
            return candidate;
    }
}

int renameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the no-replace rename: a hard link refuses an existing name too.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP)
        return errno;
    // Neither (some network shares): a plain rename after a last look.
    if (access(to.c_str(), F_OK) == 0)
        return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

namespace {

// Makes a folder's entries durable. A file system that cannot sync a folder (EINVAL) keeps them
// as well as it can; any other failure is an error.
int syncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    if (close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

// The copy is written under a hidden name beside its destination and named only once it is
// complete and on the disk: a copy cut short (the program killed, the stick pulled) never looks
// like a saved take, and the take itself stays in the temporary folder.
std::string copyThenDelete(const std::string& from, const std::string& to, bool* exists)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "cannot read " + from + ": " + std::strerror(errno);
    std::filesystem::path target(to);
    std::string partialTemplate =
        (target.parent_path() / ('.' + target.filename().string() + ".part-XXXXXX")).string();
    int out = mkostemp(partialTemplate.data(), O_CLOEXEC);
    if (out < 0) {
        std::string why = "cannot create " + to + ": " + std::strerror(errno);
        close(in);
        return why;
    }
    fchmod(out, 0644);
    // Held while it is written, so that a recovery at another program's start leaves it alone.
    flock(out, LOCK_EX | LOCK_NB);
    const std::string& partial = partialTemplate;
    std::string error;
    char buffer[1 << 16];
    for (;;) {
        platform::IoResult got = platform::readAll(in, buffer, sizeof buffer);
        if (!got.ok()) {
            error = "cannot read " + from + ": " + std::strerror(got.error);
            break;
        }
        if (got.bytes == 0)
            break;
        platform::IoResult put = platform::writeAll(out, buffer, got.bytes);
        if (!put.ok()) {
            error = "cannot write " + to + ": " + std::strerror(put.error);
            break;
        }
    }
    if (error.empty() && fsync(out) != 0)
        error = "cannot write " + to + ": " + std::strerror(errno);
    if (close(out) != 0 && error.empty())
        error = "cannot write " + to + ": " + std::strerror(errno);
    close(in);
    if (error.empty()) {
        if (int published = renameNoReplace(partial, to); published != 0) {
            error = "cannot create " + to + ": " + std::strerror(published);
            if (exists && published == EEXIST)
                *exists = true;
        }
    }
    if (!error.empty()) {
        unlink(partial.c_str());
        return error;
    }
    // The new name reaches the disk before the take leaves the temporary folder; when it cannot
    // be made sure of, the copy goes and the take stays.
    if (int synced = syncFolder(target.parent_path().string()); synced != 0) {
        unlink(to.c_str());
        return "cannot write " + to + ": " + std::strerror(synced);
    }
    unlink(from.c_str());
    return {};
}

} // namespace

std::string moveFile(const std::string& from, const std::string& to, bool* exists)
{
    // link + unlink rather than rename, so that an existing destination is never replaced.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return {};
    }
    int linkError = errno;
    if (linkError == EXDEV || linkError == EPERM || linkError == ENOTSUP)
        return copyThenDelete(from, to, exists);
    if (exists && linkError == EEXIST)
        *exists = true;
    return "cannot move " + from + " to " + to + ": " + std::strerror(linkError);
}

std::string moveToDistinctPath(const std::string& from, const std::string& to, std::string& saved)
{
    std::string error;
    // Each try takes a name nobody had a moment ago; another recorder may take it first.
    for (int tries = 0; tries < 1000; ++tries) {
        saved = distinctPath(to);
        bool exists = false;
        error = moveFile(from, saved, &exists);
        if (!exists)
            return error;
    }
    return error;
}

TakeLock::~TakeLock()
{
    if (fd_ >= 0)
        close(fd_);
}

bool TakeLock::unlinked() const
{
    struct stat info {};
    return fd_ >= 0 && fstat(fd_, &info) == 0 && info.st_nlink == 0;
}

namespace {

bool nameExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string hiddenPath(const std::string& folder, const std::string& name)
{
    return folder + "/." + name;
}

} // namespace

ClaimedFile claimTemporaryFile(const std::string& folder, long long counter, int encoding,
                               bool hidden)
{
    ClaimedFile claim;
    claim.error = EEXIST;
    for (int tries = 0; tries < 10000; ++tries) {
        counter = counter >= INT32_MAX ? 0 : counter + 1;
        std::string name = temporaryName(counter, encoding);
        std::string plain = folder + "/" + name;
        std::string secret = hiddenPath(folder, name);
        const std::string& created = hidden ? secret : plain;
        if (nameExists(hidden ? plain : secret))
            continue;
        int fd = open(created.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            claim.error = errno;
            claim.counter = counter;
            claim.name = name;
            claim.path = plain;
            claim.openedAs = created;
            return claim;
        }
        // A file just created by us: only a recovery looking at the folder can hold its lock,
        // and it lets go of a file without sound at once; the take never goes unlocked.
        flock(fd, LOCK_EX);
        claim.counter = counter;
        claim.name = name;
        claim.path = plain;
        claim.openedAs = created;
        claim.lock = std::make_shared<TakeLock>(fd);
        claim.error = 0;
        return claim;
    }
    return claim;
}

bool publishTemporaryFile(ClaimedFile& claim, int encoding, int& error)
{
    const std::string folder = std::filesystem::path(claim.path).parent_path().string();
    long long counter = claim.counter;
    std::string name = claim.name;
    std::string target = claim.path;
    for (int tries = 0; tries < 10000; ++tries) {
        error = renameNoReplace(claim.openedAs, target);
        if (error == 0) {
            claim.counter = counter;
            claim.name = name;
            claim.path = target;
            claim.openedAs = target;
            return true;
        }
        if (error != EEXIST)
            return false;
        // Another recorder took the name meanwhile: the next one that is free in both forms.
        do {
            counter = counter >= INT32_MAX ? 0 : counter + 1;
            name = temporaryName(counter, encoding);
            target = folder + "/" + name;
        } while (nameExists(hiddenPath(folder, name)) && ++tries < 10000);
    }
    return false;
}

SharedTakeLock restoreUnlinked(const TakeLock& lock, const std::string& path, std::string& error)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    int out = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    flock(out, LOCK_EX);
    auto restored = std::make_shared<TakeLock>(out);
    error.clear();
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        ssize_t got = pread(lock.fd(), buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            break;
        }
        if (got == 0)
            break;
        platform::IoResult put = platform::writeAll(out, buffer, static_cast<size_t>(got));
        if (!put.ok()) {
            error = std::strerror(put.error);
            break;
        }
        at += got;
    }
    if (error.empty() && fsync(out) != 0)
        error = std::strerror(errno);
    if (!error.empty()) {
        unlink(path.c_str());
        error = "cannot write " + path + ": " + error;
        return nullptr;
    }
    return restored;
}

} // namespace takefiles
