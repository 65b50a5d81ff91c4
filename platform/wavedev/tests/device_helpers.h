// Test helpers for the wave device layer: a callback that records the device's messages, formats
// and the DRAVIK_AUDIO switch.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wavedev.h"
#include "wave_test_support.h"

namespace wavedevtest {

struct Received {
    uint32_t message;
    uintptr_t param1;
};

// Collects every message a device sends; waits for a number of them.
class MessageLog {
public:
    static void inProc(platform::HWAVEIN, uint32_t message, uintptr_t instance, uintptr_t p1,
                       uintptr_t)
    {
        reinterpret_cast<MessageLog*>(instance)->add(message, p1);
    }
    static void outProc(platform::HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t p1,
                        uintptr_t)
    {
        reinterpret_cast<MessageLog*>(instance)->add(message, p1);
    }
    uintptr_t instance() { return reinterpret_cast<uintptr_t>(this); }

    void add(uint32_t message, uintptr_t p1)
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, p1});
        changed_.notify_all();
    }
    // Waits until count messages of this kind have come (at most timeoutMs).
    bool waitFor(uint32_t message, size_t count, int timeoutMs = 5000)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return countLocked(message) >= count; });
    }
    size_t count(uint32_t message)
    {
        std::lock_guard lock(mutex_);
        return countLocked(message);
    }
    std::vector<Received> all()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    size_t countLocked(uint32_t message) const
    {
        size_t n = 0;
        for (auto& m : messages_)
            n += m.message == message;
        return n;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Received> messages_;
};

using wavetest::pcm;

// Sets DRAVIK_AUDIO for one test and restores the previous value.
class AudioSetting {
public:
    explicit AudioSetting(const std::string& value)
    {
        if (const char* old = std::getenv("DRAVIK_AUDIO"))
            old_ = old, had_ = true;
        if (value.empty())
            unsetenv("DRAVIK_AUDIO");
        else
            setenv("DRAVIK_AUDIO", value.c_str(), 1);
    }
    ~AudioSetting()
    {
        if (had_)
            setenv("DRAVIK_AUDIO", old_.c_str(), 1);
        else
            unsetenv("DRAVIK_AUDIO");
    }

private:
    std::string old_;
    bool had_ = false;
};

// A buffer with its header.
struct TestBuffer {
    explicit TestBuffer(size_t bytes) : data(bytes, 0)
    {
        header.lpData = data.data();
        header.dwBufferLength = uint32_t(bytes);
    }
    std::vector<char> data;
    WAVEHDR header{};
};

} // namespace wavedevtest
