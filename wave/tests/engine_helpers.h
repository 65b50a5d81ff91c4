// Test helpers for the engine: callbacks that count and record what the engine hands over, the
// virtual card switch, formats and the number of threads in the process.
#pragma once

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BrevonWave.h"
#include "wave_test_support.h"

namespace enginetest {

using wavetest::dataChunk;
using wavetest::pcm;

inline size_t threadCount()
{
    size_t n = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Waits until condition holds, at most timeoutMs.
template <typename Condition> bool waitUntil(Condition condition, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The thread count once it has come down to expected: a joined thread may still be listed by the
// system for a moment after the join returns.
inline size_t settledThreadCount(size_t expected)
{
    waitUntil([&] { return threadCount() <= expected; }, 1000);
    return threadCount();
}

// Threads of this process that run in a real-time scheduling class.
inline size_t realTimeThreadCount()
{
    size_t n = 0;
    for (auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        const int policy = sched_getscheduler(std::stoi(entry.path().filename().string()));
        n += policy == SCHED_RR || policy == SCHED_FIFO;
    }
    return n;
}

// Threads of this process whose nice value is below the normal 0.
inline size_t raisedThreadCount()
{
    size_t n = 0;
    for (auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        errno = 0;
        const int nice =
            getpriority(PRIO_PROCESS, id_t(std::stoi(entry.path().filename().string())));
        n += errno == 0 && nice < 0;
    }
    return n;
}

// Whether the system lets this process give a thread a real-time priority.
inline bool realTimeGranted()
{
    bool granted = false;
    std::thread probe([&] {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_RR);
        granted = pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
    });
    probe.join();
    return granted;
}

inline void setAudio(const std::string& value)
{
    setenv("DRAVIK_AUDIO", value.c_str(), 1);
}

} // namespace enginetest
