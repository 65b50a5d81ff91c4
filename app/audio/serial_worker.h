// A thread that runs the jobs posted to it one after another, in the order they were posted.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class SerialWorker {
public:
    SerialWorker();
    // Runs every job still posted, then ends the thread.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Queues a job (any thread); never waits for one to run.
    void post(std::function<void()> job);
    // Waits until every job posted before has run.
    void waitUntilIdle();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;
    bool ending_ = false;
    std::thread thread_;
};
