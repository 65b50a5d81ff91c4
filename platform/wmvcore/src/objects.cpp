// Sample buffers, media properties, profiles and the profile manager of the media runtime.
#include "objects.h"

#include <charconv>
#include <map>
#include <optional>

extern "C" {
#include <libavutil/log.h>
}

namespace wmv {

HRESULT Buffer::GetBuffer(uint8_t** data)
{
    if (!data)
        return E_POINTER;
    *data = data_;
    return S_OK;
}

HRESULT Buffer::GetBufferAndLength(uint8_t** data, uint32_t* length)
{
    if (!data || !length)
        return E_POINTER;
    *data = data_;
    *length = length_;
    return S_OK;
}

HRESULT Buffer::GetMaxLength(uint32_t* length)
{
    if (!length)
        return E_POINTER;
    *length = max_;
    return S_OK;
}

HRESULT Buffer::SetLength(uint32_t length)
{
    if (length > max_)
        return E_INVALIDARG;
    length_ = length;
    return S_OK;
}

MediaProps::MediaProps(const GUID& major, const GUID& sub, const GUID& formatType,
                       std::vector<uint8_t> format, uint32_t sampleSize)
    : major_(major), sub_(sub), formatType_(formatType), format_(std::move(format)),
      sampleSize_(sampleSize)
{
}

HRESULT MediaProps::GetMediaType(WM_MEDIA_TYPE* type, uint32_t* size)
{
    if (!size)
        return E_POINTER;
    const uint32_t needed = static_cast<uint32_t>(sizeof(WM_MEDIA_TYPE) + format_.size());
    if (!type) {
        *size = needed;
        return S_OK;
    }
    if (*size < needed)
        return E_INVALIDARG;
    *type = WM_MEDIA_TYPE{
        major_, sub_, true, false, sampleSize_, formatType_, static_cast<uint32_t>(format_.size()),
        nullptr};
    if (!format_.empty()) {
        type->pbFormat = reinterpret_cast<uint8_t*>(type + 1);
        std::memcpy(type->pbFormat, format_.data(), format_.size());
    }
    *size = needed;
    return S_OK;
}

MediaProps* makePcmProps(uint32_t rate, uint16_t channels)
{
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = static_cast<uint16_t>(channels * 2);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    wfx.cbSize = 0;
    std::vector<uint8_t> format(sizeof wfx);
    std::memcpy(format.data(), &wfx, sizeof wfx);
    return new MediaProps(WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, WMFORMAT_WaveFormatEx,
                          std::move(format), wfx.nBlockAlign);
}

HRESULT Profile::GetStreamCount(uint32_t* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<uint32_t>(bitrates_.size());
    return S_OK;
}

HRESULT Profile::GetStreamBitrate(uint32_t index, uint32_t* bitsPerSecond)
{
    if (!bitsPerSecond)
        return E_POINTER;
    if (index >= bitrates_.size())
        return E_INVALIDARG;
    *bitsPerSecond = bitrates_[index];
    return S_OK;
}

HRESULT Profile::GetName(char* name, uint32_t* length)
{
    if (!length)
        return E_POINTER;
    const uint32_t needed = static_cast<uint32_t>(name_.size() + 1);
    if (!name) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed)
        return E_INVALIDARG;
    std::memcpy(name, name_.c_str(), needed);
    return S_OK;
}

namespace {

// The document as UTF-8 (the documents are ASCII; anything else is kept as UTF-8).
std::string toUtf8(const char16_t* text)
{
    std::string out;
    if (*text == u'\xFEFF')
        ++text;
    for (; *text; ++text) {
        char32_t c = *text;
        if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

using Attributes = std::map<std::string, std::string>;

// The attributes of the first start tag of that element, or nothing when there is none.
std::optional<Attributes> element(const std::string& doc, const std::string& name)
{
    const std::string open = "<" + name;
    size_t at = 0;
    for (;;) {
        at = doc.find(open, at);
        if (at == std::string::npos)
            return std::nullopt;
        char next = at + open.size() < doc.size() ? doc[at + open.size()] : '\0';
        if (std::isspace(static_cast<unsigned char>(next)) || next == '>' || next == '/')
            break;
        at += open.size();
    }
    const size_t end = doc.find('>', at);
    if (end == std::string::npos)
        return std::nullopt;
    Attributes attributes;
    size_t i = at + open.size();
    while (i < end) {
        while (i < end && (std::isspace(static_cast<unsigned char>(doc[i])) || doc[i] == '/'))
            ++i;
        if (i >= end)
            break;
        size_t eq = doc.find('=', i);
        if (eq == std::string::npos || eq >= end)
            return std::nullopt;
        std::string key = doc.substr(i, eq - i);
        while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back())))
            key.pop_back();
        size_t q = eq + 1;
        while (q < end && std::isspace(static_cast<unsigned char>(doc[q])))
            ++q;
        if (q >= end || (doc[q] != '"' && doc[q] != '\''))
            return std::nullopt;
        size_t close = doc.find(doc[q], q + 1);
        if (close == std::string::npos || close > end)
            return std::nullopt;
        attributes[key] = doc.substr(q + 1, close - q - 1);
        i = close + 1;
    }
    return attributes;
}

template <typename T>
bool number(const Attributes& attributes, const char* key, T& out, bool required = true)
{
    auto it = attributes.find(key);
    if (it == attributes.end())
        return !required;
    const std::string& text = it->second;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 ||
        static_cast<uint64_t>(value) > static_cast<uint64_t>(static_cast<T>(~T(0))))
        return false;
    out = static_cast<T>(value);
    return true;
}

bool hexBytes(const std::string& text, std::vector<uint8_t>& out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (ec != std::errc() || end != text.data() + i + 2)
            return false;
        out.push_back(static_cast<uint8_t>(value));
    }
    return true;
}

bool sameGuidText(const std::string& text, const GUID& guid)
{
    char expected[40];
    std::snprintf(expected, sizeof expected, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                  guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    if (text.size() != std::strlen(expected))
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != expected[i])
            return false;
    return true;
}

} // namespace

bool parseProfile(const char16_t* text, ProfileData& out)
{
    if (!text)
        return false;
    const std::string doc = toUtf8(text);
    auto profile = element(doc, "profile");
    auto stream = element(doc, "streamconfig");
    auto wave = element(doc, "waveformatex");
    if (!profile || !stream || !wave)
        return false;
    ProfileData data;
    auto name = profile->find("name");
    if (name != profile->end())
        data.name = name->second;
    auto major = stream->find("majortype");
    if (major == stream->end() || !sameGuidText(major->second, WMMEDIATYPE_Audio))
        return false;
    uint32_t vbr = 0;
    if (!number(*stream, "bitrate", data.bitrate) ||
        !number(*stream, "streamnumber", data.streamNumber, false) ||
        !number(*stream, "vbrenabled", vbr, false) ||
        !number(*stream, "vbrquality", data.vbrQuality, false))
        return false;
    data.vbr = vbr != 0;
    if (!number(*wave, "wFormatTag", data.formatTag) ||
        !number(*wave, "nChannels", data.channels) ||
        !number(*wave, "nSamplesPerSec", data.samplesPerSec) ||
        !number(*wave, "nAvgBytesPerSec", data.avgBytesPerSec) ||
        !number(*wave, "nBlockAlign", data.blockAlign) ||
        !number(*wave, "wBitsPerSample", data.bitsPerSample))
        return false;
    auto codec = wave->find("codecdata");
    if (codec != wave->end() && !hexBytes(codec->second, data.codecData))
        return false;
    if (data.channels == 0 || data.channels > kMostChannels || data.samplesPerSec == 0 ||
        data.samplesPerSec > kLargestSampleRate)
        return false;
    out = std::move(data);
    return true;
}

HRESULT ProfileManager::LoadProfileByData(const char16_t* text, IWMProfile** profile)
{
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    if (!text)
        return E_INVALIDARG;
    ProfileData data;
    if (!parseProfile(text, data))
        return NS_E_INVALID_DATA;
    std::string name = data.name;
    *profile = new Profile({data.bitrate}, std::move(name), std::move(data));
    return S_OK;
}

} // namespace wmv

namespace {

// FFmpeg's own messages would reach the program's terminal; the runtime reports through its
// results instead.
void quietFfmpeg()
{
    static const bool done = [] {
        av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    (void)done;
}

} // namespace

DRAVIK_EXPORT wmv::HRESULT WMCreateProfileManager(wmv::IWMProfileManager** manager)
{
    if (!manager)
        return wmv::E_POINTER;
    *manager = new wmv::ProfileManager();
    return wmv::S_OK;
}

DRAVIK_EXPORT wmv::HRESULT WMCreateWriter(void*, wmv::IWMWriter** writer)
{
    if (!writer)
        return wmv::E_POINTER;
    quietFfmpeg();
    *writer = wmv::createWriter();
    return *writer ? wmv::S_OK : wmv::E_OUTOFMEMORY;
}

DRAVIK_EXPORT wmv::HRESULT WMCreateReader(void*, uint32_t rights, wmv::IWMReader** reader)
{
    if (!reader)
        return wmv::E_POINTER;
    *reader = nullptr;
    if (!(rights & wmv::WMT_RIGHT_PLAYBACK))
        return wmv::E_INVALIDARG;
    quietFfmpeg();
    *reader = wmv::createReader();
    return *reader ? wmv::S_OK : wmv::E_OUTOFMEMORY;
}
