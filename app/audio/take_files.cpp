// Take file names and moves.
#include "take_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    default:
        return ".wav";
    }
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
    for (char c : prefix) {
        if (c != '/' && c != '\\' && c != '\0')
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

namespace {

// Gives the complete copy its name without replacing a file of that name: a hard link where the
// file system has them, else a rename that refuses to replace (FAT and exFAT sticks have no
// links), else a plain rename after a last look.
int publish(const std::string& partial, const std::string& to)
{
    if (link(partial.c_str(), to.c_str()) == 0) {
        unlink(partial.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    if (renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (access(to.c_str(), F_OK) == 0)
        return EEXIST;
    return rename(partial.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The copy is written under a hidden name beside its destination and named only once it is
// complete and on the disk: a copy cut short (the program killed, the stick pulled) never looks
// like a saved take, and the take itself stays in the temporary folder.
std::string copyThenDelete(const std::string& from, const std::string& to)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "cannot read " + from + ": " + std::strerror(errno);
    std::filesystem::path target(to);
    std::string partialTemplate =
        (target.parent_path() / ("." + target.filename().string() + ".part-XXXXXX")).string();
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
        if (int published = publish(partial, to); published != 0)
            error = "cannot create " + to + ": " + std::strerror(published);
    }
    if (!error.empty()) {
        unlink(partial.c_str());
        return error;
    }
    // The new name reaches the disk before the take leaves the temporary folder.
    int folder = open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    unlink(from.c_str());
    return {};
}

} // namespace

std::string moveFile(const std::string& from, const std::string& to)
{
    // link + unlink rather than rename, so that an existing destination is never replaced.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return {};
    }
    int linkError = errno;
    if (linkError == EXDEV || linkError == EPERM || linkError == ENOTSUP)
        return copyThenDelete(from, to);
    return "cannot move " + from + " to " + to + ": " + std::strerror(linkError);
}

} // namespace takefiles
