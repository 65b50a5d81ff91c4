// The WMA writer: one per process, configured from a profile document that the program carries
// as a "PRX" resource, fed with PCM buffers whose time stamps run on from each start, with a next
// file started ahead so that a recording that splits goes on in it at once.
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "BrevonWMA.h"
#include "media_type.h"
#include "platform/file_roles.h"
#include "platform/resources.h"
#include "runtime.h"

using namespace wmv;
using brevon_wma::runtime;

// The library's own copy of the profiles, for programs that carry none.
extern "C" const DravikResourceTable brevon_wma_profiles;

namespace {

// Resource names by profile index.
constexpr std::array<const char*, 29> kProfiles = {
    "lossless", "a320",    "a256",     "a192",    "a160",    "a128",     "a96",     "a80",
    "a64",      "a48",     "a48mono",  "a32",     "a32mono", "a20",      "a20mono", "a20voice",
    "a16",      "a16mono", "a16voice", "a12",     "a12mono", "a12voice", "a10mono", "a10voice",
    "a8mono",   "a8voice", "a5mono",   "a5voice", "a4voice"};
constexpr uint32_t kDefaultProfile = 5; // "a128"

// A profile resource that the program does not carry.
constexpr HRESULT kResourceNotFound = static_cast<HRESULT>(0x80070716);

// One runtime writer and the state of the file it writes.
struct Entry {
    IWMWriter* writer = nullptr;
    // Sum of the durations written since the file was started; the stamp of the latest sample.
    uint64_t runningTime = 0;
    bool writing = false;
};

// The process's writer: up to three runtime writers taking turns as the current file (written
// by the recording thread), the next one (started ahead of a split by another thread) and the one
// the last switch finished (completed by another thread). The roles change under the mutex; the
// runtime calls that start and complete files run outside it.
class WMAWriter {
public:
    ~WMAWriter()
    {
        for (Entry& entry : entries)
            if (entry.writer)
                entry.writer->Release();
        if (profile)
            profile->Release();
        if (profileManager)
            profileManager->Release();
    }

    Entry& current() { return entries[static_cast<size_t>(roles.current())]; }

    std::array<Entry, platform::FileRoles::kSlots> entries;
    platform::FileRoles roles;
    // Guards the profile.
    std::mutex mutex;
    IWMProfileManager* profileManager = nullptr;
    // The profile configured last, which every writer takes as it starts a next file.
    IWMProfile* profile = nullptr;
};

// The process's writer. Written by create and delete on the window thread; the recorder orders
// every other call after create and before delete.
WMAWriter* g_writer = nullptr;

// The current writer when it was created successfully; exports refuse to run without one.
IWMWriter* usableWriter()
{
    return g_writer ? g_writer->current().writer : nullptr;
}

HRESULT startFile(Entry& entry, const char* path)
{
    HRESULT hr = entry.writer->SetOutputFilename(path);
    if (failed(hr))
        return hr;
    hr = entry.writer->BeginWriting();
    if (failed(hr))
        return hr;
    entry.writing = true;
    entry.runningTime = 0;
    return S_OK;
}

HRESULT endFile(Entry& entry)
{
    if (!entry.writer || !entry.writing)
        return E_FAIL;
    HRESULT hr = entry.writer->EndWriting();
    if (!failed(hr))
        entry.writing = false;
    return hr;
}

// The profile document of that resource as a NUL-terminated UTF-16 string.
bool loadProfileText(const char* name, std::u16string& text)
{
    // The program carries the profiles; a program of someone else's may not, and then the copy
    // this library carries serves.
    auto resource = platform::findResource(platform::programModule(), name, "PRX");
    if (!resource)
        resource = platform::findResourceIn(&brevon_wma_profiles, name, "PRX");
    if (!resource || resource->size() < 2)
        return false;
    text.assign(resource->size() / 2, u'\0');
    std::memcpy(text.data(), resource->data(), text.size() * 2);
    return true;
}

// Copies the wave format of the writer's last input that has one into format.
HRESULT copyInputFormat(IWMWriter* writer, WAVEFORMATEX* format)
{
    uint32_t inputs = 0;
    HRESULT hr = writer->GetInputCount(&inputs);
    if (failed(hr))
        return hr;
    HRESULT result = E_UNEXPECTED; // no input with a wave format
    for (uint32_t i = 0; i < inputs; ++i) {
        IWMMediaProps* props = nullptr;
        hr = writer->GetInputProps(i, &props);
        if (failed(hr))
            return hr;
        brevon_wma::MediaType media;
        hr = media.read(props);
        const WM_MEDIA_TYPE* type = media.type();
        if (!failed(hr) && type->formattype == WMFORMAT_WaveFormatEx &&
            type->cbFormat >= sizeof(WAVEFORMATEX)) {
            std::memcpy(format, type->pbFormat, sizeof(WAVEFORMATEX));
            result = S_OK;
        }
        props->Release();
    }
    return result;
}

} // namespace

DRAVIK_EXPORT int32_t WMAWriterCreate()
{
    delete g_writer;
    g_writer = new WMAWriter();
    const auto& rt = runtime();
    if (!rt.createProfileManager || !rt.createWriter)
        return brevon_wma::kRuntimeMissing;
    HRESULT hr = rt.createProfileManager(&g_writer->profileManager);
    if (failed(hr))
        return hr;
    hr = rt.createWriter(nullptr, &g_writer->current().writer);
    if (failed(hr))
        g_writer->current().writer = nullptr;
    return hr;
}

DRAVIK_EXPORT void WMAWriterDelete()
{
    delete g_writer;
    g_writer = nullptr;
}

DRAVIK_EXPORT int32_t WMAWriterConfigure(int32_t index, WAVEFORMATEX* format)
{
    IWMWriter* writer = usableWriter();
    if (!writer || !g_writer->profileManager)
        return E_UNEXPECTED;
    if (!format)
        return E_INVALIDARG;
    const uint32_t chosen = static_cast<uint32_t>(index) < kProfiles.size()
                                ? static_cast<uint32_t>(index)
                                : kDefaultProfile;
    std::u16string text;
    if (!loadProfileText(kProfiles[chosen], text))
        return kResourceNotFound;
    IWMProfile* profile = nullptr;
    HRESULT hr = g_writer->profileManager->LoadProfileByData(text.c_str(), &profile);
    if (failed(hr))
        return hr;
    hr = writer->SetProfile(profile);
    if (failed(hr)) {
        profile->Release();
        return hr;
    }
    // The other writers take it when they start their next file.
    std::lock_guard lock(g_writer->mutex);
    if (g_writer->profile)
        g_writer->profile->Release();
    g_writer->profile = profile;
    return copyInputFormat(writer, format);
}

DRAVIK_EXPORT int32_t WMAWriterStart(const char* path)
{
    if (!usableWriter())
        return E_UNEXPECTED;
    if (!path || !*path)
        return E_INVALIDARG;
    return startFile(g_writer->current(), path);
}

DRAVIK_EXPORT int32_t WMAWriterStop()
{
    if (!usableWriter())
        return E_FAIL;
    return endFile(g_writer->current());
}

DRAVIK_EXPORT int32_t WMAWriterStartNext(const char* path)
{
    if (!usableWriter() || !g_writer->profile)
        return E_UNEXPECTED;
    if (!path || !*path)
        return E_INVALIDARG;
    // A writer still writing (its last file could not be completed) is not used again.
    const int index = g_writer->roles.claimNext(
        [](int i) { return !g_writer->entries[static_cast<size_t>(i)].writing; });
    if (index < 0)
        return NS_E_INVALID_REQUEST; // a next file already, or no writer free
    Entry& entry = g_writer->entries[static_cast<size_t>(index)];
    HRESULT hr = S_OK;
    if (!entry.writer) {
        hr = runtime().createWriter(nullptr, &entry.writer);
        if (failed(hr))
            entry.writer = nullptr;
    }
    // The profile configured last, whatever this writer had before: a next file in another
    // format than the capture's would garble the sound.
    if (!failed(hr))
        hr = entry.writer->SetProfile(g_writer->profile);
    if (!failed(hr))
        hr = startFile(entry, path);
    g_writer->roles.endClaimNext(index, !failed(hr));
    return hr;
}

DRAVIK_EXPORT int32_t WMAWriterSwitchToNext()
{
    if (!g_writer)
        return E_UNEXPECTED;
    if (!g_writer->roles.switchToNext())
        return NS_E_INVALID_REQUEST;
    return S_OK;
}

// Ends the file of the entry in a role, leaving the role free afterwards.
static int32_t endRole(platform::FileRoles::Role role)
{
    if (!g_writer)
        return E_UNEXPECTED;
    const int index = g_writer->roles.claim(role);
    if (index < 0)
        return S_OK;
    Entry& entry = g_writer->entries[static_cast<size_t>(index)];
    HRESULT hr = entry.writing ? endFile(entry) : S_OK;
    g_writer->roles.release(role, index);
    return hr;
}

DRAVIK_EXPORT int32_t WMAWriterStopFinished()
{
    return endRole(platform::FileRoles::Role::Finished);
}

DRAVIK_EXPORT int32_t WMAWriterStopNext()
{
    return endRole(platform::FileRoles::Role::Next);
}

DRAVIK_EXPORT int32_t WMAWriterWriteSample(uint64_t duration, const uint8_t* data, uint32_t length)
{
    IWMWriter* writer = usableWriter();
    if (!writer || !g_writer->current().writing)
        return NS_E_INVALID_REQUEST;
    if (!data && length > 0)
        return E_INVALIDARG;
    INSSBuffer* sample = nullptr;
    HRESULT hr = writer->AllocateSample(length, &sample);
    if (failed(hr))
        return hr;
    uint8_t* bytes = nullptr;
    hr = sample->GetBuffer(&bytes);
    if (!failed(hr)) {
        if (length > 0)
            std::memcpy(bytes, data, length);
        sample->SetLength(length);
        // Stamped with the time at the buffer's end: the first buffer carries its own duration.
        Entry& entry = g_writer->current();
        entry.runningTime += duration;
        hr = writer->WriteSample(0, entry.runningTime, 0, sample);
    }
    sample->Release();
    return hr;
}

DRAVIK_EXPORT int32_t WMAWriterGetStats(WM_WRITER_STATISTICS* stats)
{
    if (!stats)
        return E_INVALIDARG;
    IWMWriter* writer = usableWriter();
    if (!writer)
        return E_UNEXPECTED;
    return writer->GetStatistics(1, stats);
}
