#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/system.h"

using namespace platform;

namespace {

// The nice value of the calling thread (Linux keeps one per thread).
int threadNice()
{
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

} // namespace

TEST(FreeDiskBytes, ReadsTheFolderFileSystemAndRefusesAMissingFolder)
{
    auto free = freeDiskBytes("/tmp");
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(freeDiskBytes("/no/such/folder/anywhere").has_value());
}

TEST(Priority, ARaisedThreadRunsRealTimeOrNicerThanBefore)
{
    std::thread worker([] {
        const int niceBefore = threadNice();
        const bool raised = raiseCurrentThreadToTimeCritical();
        int policy = 0;
        sched_param param{};
        ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
        const bool realTime =
            policy == SCHED_RR && param.sched_priority == sched_get_priority_max(SCHED_RR);
        if (raised) {
            EXPECT_TRUE(realTime || threadNice() < niceBefore);
        } else {
            // Refused: the thread is left exactly as it was.
            EXPECT_EQ(policy, SCHED_OTHER);
            EXPECT_EQ(threadNice(), niceBefore);
        }
    });
    worker.join();
}

TEST(Priority, TheProcessPriorityIsTheNiceValueGrantedOrLeftAsItWas)
{
    // On its own thread, so the test program's other threads keep their priority.
    std::thread worker([] {
        const int before = threadNice();
        if (!setProcessPriority(ProcessPriority::High)) {
            EXPECT_EQ(threadNice(), before);
            return;
        }
        EXPECT_EQ(threadNice(), -10);
        // Lowering the priority back is always permitted.
        EXPECT_TRUE(setProcessPriority(ProcessPriority::Normal));
        EXPECT_EQ(threadNice(), 0);
    });
    worker.join();
}

TEST(Priority, AThreadRaisedToHighStaysInTheNormalClass)
{
    std::thread worker([] {
        const int niceBefore = threadNice();
        const bool raised = raiseCurrentThreadToHigh();
        int policy = -1;
        sched_param param{};
        ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
        EXPECT_EQ(policy, SCHED_OTHER);
        if (raised) {
            EXPECT_LT(threadNice(), niceBefore);
        } else {
            EXPECT_EQ(threadNice(), niceBefore);
        }
    });
    worker.join();
}
