// Threads with a message queue, in the manner of a Windows thread: messages are posted to the
// thread, which takes them with get (blocking) or peek; a quit message ends its loop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_USER = 0x0400;

struct Message {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// A queue of messages for one consumer thread. Any thread may post; one thread takes.
class MessageQueue {
public:
    void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Posts WM_QUIT with the exit code in wParam.
    void quit(int exitCode = 0);
    // Waits for the next message; false when it is WM_QUIT (which is taken and returned in out).
    bool get(Message& out);
    // Waits at most timeoutMs (negative: for ever); false on time-out or WM_QUIT, with out.message
    // set to 0 on time-out.
    bool get(Message& out, int timeoutMs);
    // Looks at the next message without waiting; takes it when remove is true.
    bool peek(Message& out, bool remove);
    size_t size() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Message> messages_;
};

// A thread that runs a body with its own message queue. The queue exists before the thread
// starts, so nothing posted right after start is lost.
class MessageThread {
public:
    using Body = std::function<void(MessageQueue&)>;

    MessageThread() = default;
    ~MessageThread();
    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;

    // False when a thread is already running or could not be created.
    bool start(Body body);
    // False when no thread was started.
    bool post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    void quit(int exitCode = 0);
    // Waits for the thread to end; never from the thread itself.
    void join();
    bool joinable() const { return thread_.joinable(); }
    bool isCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }
    MessageQueue& queue() { return queue_; }

private:
    MessageQueue queue_;
    std::thread thread_;
};

} // namespace platform
