#include <gtest/gtest.h>

#include <thread>

#include "platform/system.h"

using namespace platform;

TEST(FreeDiskBytes, ReadsTheFolderFileSystemAndRefusesAMissingFolder)
{
    auto free = freeDiskBytes("/tmp");
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(freeDiskBytes("/no/such/folder/anywhere").has_value());
}

TEST(Priority, RaisingIsBestEffortAndNeverFails)
{
    // Whether the system grants it depends on the user's rights; the call must simply return.
    std::thread worker([] { (void)raiseCurrentThreadToTimeCritical(); });
    worker.join();
    (void)setProcessPriority(ProcessPriority::High);
    (void)setProcessPriority(ProcessPriority::Normal);
    SUCCEED();
}
