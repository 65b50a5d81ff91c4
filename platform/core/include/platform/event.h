// Events for hand-offs between threads: manual-reset (stays set until reset) or auto-reset
// (a successful wait clears it), waited on for a bounded time.
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // True when the event was set within timeoutMs (negative: wait for ever).
    bool wait(int timeoutMs);
    bool isSet() const;

private:
    const bool manualReset_;
    bool set_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};

} // namespace platform
