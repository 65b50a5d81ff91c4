// Manual- and auto-reset events over a condition variable.
#include "platform/event.h"

#include <chrono>

namespace platform {

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void Event::set()
{
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    // An auto-reset event releases one waiter; a manual one releases them all.
    if (manualReset_)
        changed_.notify_all();
    else
        changed_.notify_one();
}

void Event::reset()
{
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool Event::wait(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    auto isSet = [this] { return set_; };
    if (timeoutMs < 0)
        changed_.wait(lock, isSet);
    else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet))
        return false;
    if (!manualReset_)
        set_ = false;
    return true;
}

bool Event::isSet() const
{
    std::lock_guard lock(mutex_);
    return set_;
}

} // namespace platform
