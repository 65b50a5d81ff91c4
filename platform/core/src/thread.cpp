// Message queues and the threads that own them.
#include "platform/thread.h"

#include <chrono>

namespace platform {

void MessageQueue::post(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
    }
    arrived_.notify_one();
}

void MessageQueue::quit(int exitCode)
{
    post(WM_QUIT, static_cast<uintptr_t>(exitCode), 0);
}

bool MessageQueue::get(Message& out)
{
    return get(out, -1);
}

bool MessageQueue::get(Message& out, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    auto ready = [this] { return !messages_.empty(); };
    if (timeoutMs < 0) {
        arrived_.wait(lock, ready);
    } else if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        out = {};
        return false;
    }
    out = messages_.front();
    messages_.pop_front();
    return out.message != WM_QUIT;
}

bool MessageQueue::peek(Message& out, bool remove)
{
    std::lock_guard lock(mutex_);
    if (messages_.empty())
        return false;
    out = messages_.front();
    if (remove)
        messages_.pop_front();
    return true;
}

size_t MessageQueue::size() const
{
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void MessageQueue::clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
}

MessageThread::~MessageThread()
{
    if (thread_.joinable()) {
        quit();
        join();
    }
}

bool MessageThread::start(Body body)
{
    if (thread_.joinable())
        return false;
    queue_.clear();
    try {
        thread_ = std::thread([this, body = std::move(body)] { body(queue_); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool MessageThread::post(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (!thread_.joinable())
        return false;
    queue_.post(message, wParam, lParam);
    return true;
}

void MessageThread::quit(int exitCode)
{
    if (thread_.joinable())
        queue_.quit(exitCode);
}

void MessageThread::join()
{
    if (thread_.joinable() && !isCurrent())
        thread_.join();
}

} // namespace platform
