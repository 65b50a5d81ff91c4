#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/thread.h"

using namespace platform;

TEST(MessageThread, DeliversPostedMessagesInOrderAndEndsOnQuit)
{
    std::vector<Message> seen;
    int exitCode = -1;
    MessageThread thread;
    ASSERT_TRUE(thread.start([&](MessageQueue& queue) {
        Message m;
        while (queue.get(m))
            seen.push_back(m);
        exitCode = static_cast<int>(m.wParam);
    }));
    // Posted at once after start: nothing may be lost before the body begins to wait.
    for (uint32_t i = 0; i < 100; ++i)
        ASSERT_TRUE(thread.post(WM_USER + i, i, -static_cast<intptr_t>(i)));
    thread.quit(7);
    thread.join();
    ASSERT_EQ(seen.size(), 100u);
    for (uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i].message, WM_USER + i);
        EXPECT_EQ(seen[i].wParam, i);
        EXPECT_EQ(seen[i].lParam, -static_cast<intptr_t>(i));
    }
    EXPECT_EQ(exitCode, 7);
}

TEST(MessageThread, RefusesASecondStartAndPostsWhenNotRunning)
{
    MessageThread thread;
    EXPECT_FALSE(thread.post(WM_USER));
    std::atomic<bool> release{false};
    ASSERT_TRUE(thread.start([&](MessageQueue& queue) {
        Message m;
        while (queue.get(m)) {
        }
        release = true;
    }));
    EXPECT_FALSE(thread.start([](MessageQueue&) {}));
    thread.quit();
    thread.join();
    EXPECT_TRUE(release);
    // After the join it can run again.
    EXPECT_TRUE(thread.start([](MessageQueue&) {}));
    thread.join();
}

TEST(MessageQueue, PeekLeavesOrTakesAndGetTimesOut)
{
    MessageQueue queue;
    Message m;
    EXPECT_FALSE(queue.peek(m, true));
    EXPECT_FALSE(queue.get(m, 20));
    EXPECT_EQ(m.message, 0u);

    queue.post(WM_USER + 1, 11, 12);
    ASSERT_TRUE(queue.peek(m, false));
    EXPECT_EQ(m.message, WM_USER + 1);
    EXPECT_EQ(queue.size(), 1u);
    ASSERT_TRUE(queue.peek(m, true));
    EXPECT_EQ(queue.size(), 0u);

    queue.quit(3);
    EXPECT_FALSE(queue.get(m, 20));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
}

TEST(MessageThread, DestructorEndsARunningThread)
{
    std::atomic<bool> ended{false};
    {
        MessageThread thread;
        thread.start([&](MessageQueue& queue) {
            Message m;
            while (queue.get(m)) {
            }
            ended = true;
        });
    }
    EXPECT_TRUE(ended);
}
