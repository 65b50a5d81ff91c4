// Helpers of the WMA library's tests: a sample callback that records what arrives, waits with
// time-outs, and ffprobe's view of a file.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "BrevonWMA.h"

namespace wmatest {

constexpr uint64_t kSecond = 10'000'000;

// What the reader's sample callback received.
class Delivery {
public:
    static Delivery& instance()
    {
        static Delivery delivery;
        return delivery;
    }

    static intptr_t callback(WMASampleInfo* info, uint64_t* duration)
    {
        Delivery& d = instance();
        std::lock_guard lock(d.mutex_);
        ++d.calls_;
        if (d.first_ == UINT64_MAX)
            d.first_ = info->sampleTime;
        d.end_ = std::max(d.end_, info->sampleTime + *duration);
        d.pcm_.insert(d.pcm_.end(), info->data, info->data + info->byteCount);
        d.changed_.notify_all();
        return 0;
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        calls_ = 0;
        first_ = UINT64_MAX;
        end_ = 0;
        pcm_.clear();
    }

    // Waits until the audio delivered reaches end or nothing arrives for quietMs; the end reached.
    uint64_t waitEnd(uint64_t end, int quietMs = 2000)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (end_ >= end)
                return end_;
            const size_t seen = calls_;
            if (!changed_.wait_for(lock, std::chrono::milliseconds(quietMs),
                                   [&] { return calls_ != seen; }))
                return end_;
        }
    }

    uint64_t end()
    {
        std::lock_guard lock(mutex_);
        return end_;
    }
    uint64_t first()
    {
        std::lock_guard lock(mutex_);
        return first_;
    }
    size_t calls()
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<uint8_t> pcm()
    {
        std::lock_guard lock(mutex_);
        return pcm_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t calls_ = 0;
    uint64_t first_ = UINT64_MAX;
    uint64_t end_ = 0;
    std::vector<uint8_t> pcm_;
};

// A fresh reader whose samples go to Delivery; deleted at the end of the test.
class ReaderFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(WMAReaderCreate(), 0);
        WMAReaderOnSample(&Delivery::callback);
        Delivery::instance().clear();
    }
    void TearDown() override
    {
        WMAReaderDelete();
        WMAReaderSetMessagePump(nullptr, nullptr);
    }

    // Starts at start and waits for the one-second lead to arrive (to within one sample at
    // 8000 Hz: the clock cuts on a sample boundary).
    void startAndWaitForLead(uint64_t start)
    {
        ASSERT_EQ(WMAReaderStart(start, 0), 0);
        Delivery::instance().waitEnd(start + kSecond - kSecond / 8000);
    }
};

// What ffprobe says about the first audio stream: "codec,rate,channels"; empty without ffprobe.
inline std::string probe(const std::filesystem::path& path)
{
    const std::string command = "ffprobe -v error -select_streams a:0 -show_entries "
                                "stream=codec_name,sample_rate,channels -of csv=p=0 '" +
                                path.string() + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    char line[256] = {};
    std::string out = std::fgets(line, sizeof line, pipe) ? line : "";
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

inline bool haveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace wmatest
