// Helpers of the runtime's tests: profile documents, a file written through the writer, and a
// reader callback that records what arrives.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event.h"
#include "wmvcore/wmvcore.h"

namespace wmvtest {

using namespace wmv;

// A one-stream audio profile document in UTF-16.
inline std::u16string profileDocument(int tag, int channels, int rate, int bitrate)
{
    const std::string text =
        "<profile version=\"589824\" storageformat=\"1\" name=\"test\" description=\"\">"
        "<streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\" "
        "bitrate=\"" +
        std::to_string(bitrate) +
        "\">"
        "<wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\">"
        "<waveformatex wFormatTag=\"" +
        std::to_string(tag) + "\" nChannels=\"" + std::to_string(channels) +
        "\" nSamplesPerSec=\"" + std::to_string(rate) +
        "\" nAvgBytesPerSec=\"1000\" nBlockAlign=\"100\" wBitsPerSample=\"16\" codecdata=\"\"/>"
        "</wmmediatype></streamconfig></profile>";
    return std::u16string(text.begin(), text.end());
}

inline IWMProfile* loadProfile(int tag, int channels, int rate, int bitrate)
{
    IWMProfileManager* manager = nullptr;
    EXPECT_EQ(WMCreateProfileManager(&manager), S_OK);
    IWMProfile* profile = nullptr;
    EXPECT_EQ(
        manager->LoadProfileByData(profileDocument(tag, channels, rate, bitrate).c_str(), &profile),
        S_OK);
    manager->Release();
    return profile;
}

inline HRESULT writeSamples(IWMWriter* writer, const std::vector<int16_t>& pcm, size_t chunkBytes)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    uint64_t time = 0;
    for (size_t at = 0; at < total; at += chunkBytes) {
        const auto length = static_cast<uint32_t>(std::min(chunkBytes, total - at));
        INSSBuffer* sample = nullptr;
        EXPECT_EQ(writer->AllocateSample(length, &sample), S_OK);
        uint8_t* data = nullptr;
        sample->GetBuffer(&data);
        std::memcpy(data, bytes + at, length);
        sample->SetLength(length);
        time += 1;
        HRESULT hr = writer->WriteSample(0, time, 0, sample);
        sample->Release();
        if (failed(hr))
            return hr;
    }
    return S_OK;
}

// Writes pcm (interleaved) into path with a profile of that kind.
inline void writeFile(const std::filesystem::path& path, int tag, int channels, int rate,
                      int bitrate, const std::vector<int16_t>& pcm, size_t chunkBytes = 4410)
{
    IWMWriter* writer = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    IWMProfile* profile = loadProfile(tag, channels, rate, bitrate);
    ASSERT_EQ(writer->SetProfile(profile), S_OK);
    profile->Release();
    ASSERT_EQ(writer->SetOutputFilename(path.c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(writeSamples(writer, pcm, chunkBytes), S_OK);
    ASSERT_EQ(writer->EndWriting(), S_OK);
    writer->Release();
}

// Records statuses and samples; tests wait on its events with time-outs.
class Recorder : public IWMReaderCallback {
public:
    struct Sample {
        uint32_t output;
        uint64_t time;
        uint64_t duration;
        uint32_t bytes;
    };

    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, void*) override
    {
        std::lock_guard lock(mutex_);
        statuses_.push_back({status, hr});
        changed_.notify_all();
        return S_OK;
    }

    HRESULT OnSample(uint32_t output, uint64_t time, uint64_t duration, uint32_t,
                     INSSBuffer* sample, void*) override
    {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        sample->GetBufferAndLength(&data, &length);
        std::lock_guard lock(mutex_);
        samples_.push_back({output, time, duration, length});
        pcm_.insert(pcm_.end(), data, data + length);
        changed_.notify_all();
        return S_OK;
    }

    // The result of the first report of that status within timeoutMs; E_FAIL-like sentinel when
    // none came.
    bool waitStatus(WMT_STATUS status, HRESULT* hr = nullptr, int timeoutMs = 10000)
    {
        std::unique_lock lock(mutex_);
        bool found = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (auto& s : statuses_)
                if (s.first == status)
                    return true;
            return false;
        });
        if (found && hr)
            for (auto& s : statuses_)
                if (s.first == status) {
                    *hr = s.second;
                    break;
                }
        return found;
    }

    bool hasStatus(WMT_STATUS status) { return waitStatus(status, nullptr, 0); }

    // Waits until the delivered audio of output reaches end (100-ns units) or nothing new
    // arrives for quietMs; the end reached.
    uint64_t waitDelivered(uint32_t output, uint64_t end, int quietMs = 2000)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            const size_t seen = samples_.size();
            if (deliveredEndLocked(output) >= end)
                break;
            if (!changed_.wait_for(lock, std::chrono::milliseconds(quietMs),
                                   [&] { return samples_.size() != seen; }))
                break;
        }
        return deliveredEndLocked(output);
    }

    uint64_t deliveredEnd(uint32_t output)
    {
        std::lock_guard lock(mutex_);
        return deliveredEndLocked(output);
    }

    std::vector<Sample> samples()
    {
        std::lock_guard lock(mutex_);
        return samples_;
    }
    std::vector<uint8_t> pcm()
    {
        std::lock_guard lock(mutex_);
        return pcm_;
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        samples_.clear();
        pcm_.clear();
        statuses_.clear();
    }

private:
    uint64_t deliveredEndLocked(uint32_t output) const
    {
        uint64_t end = 0;
        for (const Sample& s : samples_)
            if (s.output == output)
                end = std::max(end, s.time + s.duration);
        return end;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<WMT_STATUS, HRESULT>> statuses_;
    std::vector<Sample> samples_;
    std::vector<uint8_t> pcm_;
};

// A reader with its recorder, opened on a file; opened() says whether the open succeeded.
class OpenReader {
public:
    explicit OpenReader(const std::filesystem::path& path)
    {
        EXPECT_EQ(WMCreateReader(nullptr, WMT_RIGHT_PLAYBACK, &reader), S_OK);
        EXPECT_EQ(reader->Open(path.c_str(), &recorder, nullptr), S_OK);
        EXPECT_TRUE(recorder.waitStatus(WMT_OPENED, &openResult));
    }
    ~OpenReader()
    {
        if (reader)
            reader->Release();
    }
    bool opened() const { return openResult == S_OK; }

    uint64_t qword(const char* name)
    {
        WMT_ATTR_DATATYPE type{};
        uint64_t value = 0;
        uint16_t length = 8;
        if (reader->GetAttributeByName(0, name, &type, reinterpret_cast<uint8_t*>(&value),
                                       &length) != S_OK)
            return 0;
        return value;
    }

    IWMReader* reader = nullptr;
    Recorder recorder;
    HRESULT openResult = E_FAIL;
};

} // namespace wmvtest
