// Priorities through setpriority / sched_setscheduler, free space through statvfs.
#include "platform/system.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool setProcessPriority(ProcessPriority priority)
{
    int nice = 0;
    switch (priority) {
    case ProcessPriority::Normal:
        nice = 0;
        break;
    case ProcessPriority::High:
        nice = -10;
        break;
    case ProcessPriority::Realtime:
        nice = -20;
        break;
    }
    return setpriority(PRIO_PROCESS, 0, nice) == 0;
}

bool raiseCurrentThreadToTimeCritical()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0)
        return true;
    // Without real-time rights, lower this thread's nice value as far as the limit allows.
    return raiseCurrentThreadToHigh();
}

bool raiseCurrentThreadToHigh()
{
    auto tid = static_cast<id_t>(syscall(SYS_gettid));
    for (int nice = -20; nice < 0; ++nice) {
        if (setpriority(PRIO_PROCESS, tid, nice) == 0)
            return true;
    }
    return false;
}

std::optional<uint64_t> freeDiskBytes(const std::string& folder)
{
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
}

} // namespace platform
