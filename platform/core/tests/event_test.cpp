#include <gtest/gtest.h>

#include <thread>

#include "platform/event.h"

using platform::Event;

TEST(Event, AutoResetReleasesOneWaitAndClears)
{
    Event event(false);
    EXPECT_FALSE(event.wait(10));
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(10));
}

TEST(Event, ManualResetStaysSetUntilReset)
{
    Event event(true, true);
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(0));
    event.reset();
    EXPECT_FALSE(event.wait(10));
}

TEST(Event, WaitReturnsWhenAnotherThreadSets)
{
    Event event(false);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.set();
    });
    EXPECT_TRUE(event.wait(1000));
    setter.join();
}

TEST(Event, ManualResetReleasesEveryWaiter)
{
    Event event(true);
    std::atomic<int> released{0};
    std::thread a([&] { released += event.wait(1000); });
    std::thread b([&] { released += event.wait(1000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.set();
    a.join();
    b.join();
    EXPECT_EQ(released, 2);
}
