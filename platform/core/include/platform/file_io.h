// Reads and writes that finish what they start: a call the system interrupted (EINTR) is made
// again and a short transfer goes on, so a caller sees only the end of the file or a real error.
// Every read and write loop of ours over a file descriptor goes through these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct IoResult {
    size_t bytes = 0; // moved before the end of the file or the failure
    int error = 0;    // errno of the failure; 0 when there was none
    bool ok() const { return error == 0; }
};

// Reads until count bytes are in or the file ends (fewer bytes without an error: the end).
IoResult readAll(int fd, void* buffer, size_t count);
// The same from offset, leaving the file position alone.
IoResult readAllAt(int fd, void* buffer, size_t count, int64_t offset);
// Writes all count bytes; a write that moves nothing and reports nothing counts as a full disk.
IoResult writeAll(int fd, const void* buffer, size_t count);
// The same at offset, leaving the file position alone.
IoResult writeAllAt(int fd, const void* buffer, size_t count, int64_t offset);

} // namespace platform
