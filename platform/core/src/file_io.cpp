// The one retry loop for interrupted and short reads and writes.
#include "platform/file_io.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// Runs step(done) until count bytes moved, the step reports the end (0 for a read) or a failure;
// an interrupted step is simply made again.
template <typename Step> IoResult transfer(size_t count, bool writing, Step step)
{
    IoResult result;
    while (result.bytes < count) {
        const ssize_t n = step(result.bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.error = errno;
            break;
        }
        if (n == 0) {
            if (writing)
                result.error = ENOSPC;
            break;
        }
        result.bytes += static_cast<size_t>(n);
    }
    return result;
}

} // namespace

IoResult readAll(int fd, void* buffer, size_t count)
{
    auto* bytes = static_cast<uint8_t*>(buffer);
    return transfer(count, false,
                    [&](size_t done) { return ::read(fd, bytes + done, count - done); });
}

IoResult readAllAt(int fd, void* buffer, size_t count, int64_t offset)
{
    auto* bytes = static_cast<uint8_t*>(buffer);
    return transfer(count, false, [&](size_t done) {
        return ::pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
    });
}

IoResult writeAll(int fd, const void* buffer, size_t count)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return transfer(count, true,
                    [&](size_t done) { return ::write(fd, bytes + done, count - done); });
}

IoResult writeAllAt(int fd, const void* buffer, size_t count, int64_t offset)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return transfer(count, true, [&](size_t done) {
        return ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
    });
}

} // namespace platform
