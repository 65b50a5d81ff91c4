// The read file over POSIX calls.
#include "read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_io.h"

namespace file {

bool ReadFile::open(const char* path)
{
    close();
    if (!path)
        return false;
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

bool ReadFile::close()
{
    if (fd_ < 0)
        return false;
    ::close(fd_);
    fd_ = -1;
    return true;
}

uint32_t ReadFile::read(uint8_t* buffer, uint32_t count)
{
    if (fd_ < 0)
        return 0;
    return static_cast<uint32_t>(platform::readAll(fd_, buffer, count).bytes);
}

bool ReadFile::seek(uint64_t offset)
{
    return fd_ >= 0 && offset <= INT64_MAX && lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

uint64_t ReadFile::position() const
{
    off_t at = fd_ >= 0 ? lseek(fd_, 0, SEEK_CUR) : 0;
    return at > 0 ? static_cast<uint64_t>(at) : 0;
}

uint64_t ReadFile::length() const
{
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0 || info.st_size < 0)
        return 0;
    return static_cast<uint64_t>(info.st_size);
}

} // namespace file
