// Process and thread priority (best effort) and free disk space.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum class ProcessPriority { Normal, High, Realtime };

// Raises or lowers the process's priority as far as the system permits; false when the system
// refused (the priority is then left as it was). Never an error the user needs to see.
bool setProcessPriority(ProcessPriority priority);
// Gives the calling thread the highest priority the system grants (real-time round-robin where
// permitted, otherwise the lowest nice value allowed); false when nothing could be raised.
bool raiseCurrentThreadToTimeCritical();
// Gives the calling thread the lowest nice value the system allows, in the normal scheduling
// class: for a thread that may run flat out (one that serves a device running as fast as it is
// asked), which at a real-time priority would be throttled by the system and starve the rest.
// False when nothing could be raised.
bool raiseCurrentThreadToHigh();

// Bytes available to the user on the file system that holds folder; empty when it cannot be read.
std::optional<uint64_t> freeDiskBytes(const std::string& folder);

} // namespace platform
