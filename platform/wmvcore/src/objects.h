// Shared pieces of the media runtime: reference counting, sample buffers, media properties and
// the parsed profile.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "wmvcore/wmvcore.h"

namespace wmv {

// Adds an atomic reference count to an interface; the object deletes itself at zero.
template <typename Interface> class RefCounted : public Interface {
public:
    uint32_t AddRef() override { return ++count_; }
    uint32_t Release() override
    {
        uint32_t left = --count_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<uint32_t> count_{1};
};

// A sample buffer: either owned bytes, or a view of bytes that stay valid during a callback.
class Buffer final : public RefCounted<INSSBuffer> {
public:
    explicit Buffer(uint32_t size) : owned_(size), data_(owned_.data()), max_(size) {}
    Buffer(uint8_t* data, uint32_t length) : data_(data), length_(length), max_(length) {}

    HRESULT GetBuffer(uint8_t** data) override;
    HRESULT GetBufferAndLength(uint8_t** data, uint32_t* length) override;
    HRESULT GetMaxLength(uint32_t* length) override;
    HRESULT SetLength(uint32_t length) override;

    const uint8_t* data() const { return data_; }
    uint32_t length() const { return length_; }

private:
    std::vector<uint8_t> owned_;
    uint8_t* data_;
    uint32_t length_ = 0;
    uint32_t max_;
};

// A media type with its format block.
class MediaProps final : public RefCounted<IWMMediaProps> {
public:
    MediaProps(const GUID& major, const GUID& sub, const GUID& formatType,
               std::vector<uint8_t> format, uint32_t sampleSize);
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, uint32_t* size) override;

private:
    GUID major_, sub_, formatType_;
    std::vector<uint8_t> format_;
    uint32_t sampleSize_;
};

// The highest sampling rate and channel count a stream may have (the fastest studio converters,
// a surround layout); beyond them a file or profile is damaged, and its PCM byte rate would no
// longer fit the format's 32 bits.
constexpr uint32_t kLargestSampleRate = 768000;
constexpr uint16_t kMostChannels = 8;

// The PCM media type of 16-bit samples at that rate and channel count (within the limits above).
MediaProps* makePcmProps(uint32_t rate, uint16_t channels);

// What a profile document says about its one audio stream.
struct ProfileData {
    std::string name;
    uint32_t bitrate = 0;
    bool vbr = false;
    uint32_t vbrQuality = 0;
    uint16_t streamNumber = 1;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> codecData;
};

// Format tags of the three kinds of profile.
constexpr uint16_t kTagStandard = 0x0161;
constexpr uint16_t kTagLossless = 0x0163;
constexpr uint16_t kTagVoice = 0x000A;

// Reads a profile document (UTF-16LE text); false with nothing filled when it is not one.
bool parseProfile(const char16_t* text, ProfileData& out);

class Profile final : public RefCounted<IWMProfile> {
public:
    explicit Profile(std::vector<uint32_t> bitrates, std::string name = {}, ProfileData data = {})
        : bitrates_(std::move(bitrates)), name_(std::move(name)), data_(std::move(data))
    {
    }
    HRESULT GetStreamCount(uint32_t* count) override;
    HRESULT GetStreamBitrate(uint32_t index, uint32_t* bitsPerSecond) override;
    HRESULT GetName(char* name, uint32_t* length) override;
    const ProfileData& data() const { return data_; }

private:
    std::vector<uint32_t> bitrates_;
    std::string name_;
    ProfileData data_;
};

class ProfileManager final : public RefCounted<IWMProfileManager> {
public:
    HRESULT LoadProfileByData(const char16_t* text, IWMProfile** profile) override;
};

IWMWriter* createWriter();
IWMReader* createReader();

} // namespace wmv
