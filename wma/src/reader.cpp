// The WMA reader: one per process. Opens a file through the runtime's asynchronous reader, waits
// for it while the caller's messages keep moving, and passes decoded PCM of the audio output to
// the registered callback as the caller's clock releases it, then an empty buffer at the end.
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "BrevonWMA.h"
#include "media_type.h"
#include "platform/event.h"
#include "runtime.h"

using namespace wmv;
using brevon_wma::runtime;

namespace {

constexpr uint64_t kStartLead = 10'000'000; // one second released when playback starts
// Open and close wait at most this long for the runtime's report, so that a runtime that never
// answers cannot hold the caller for ever.
constexpr int kWaitLimitMs = 30'000;
constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x800705B4);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);

// The caller's message pump, set by the program before it opens files.
std::atomic<WMAMessagePump> g_pump{nullptr};
std::atomic<void*> g_pumpData{nullptr};

// The one sample record of the process, filled anew for every buffer on the delivery thread.
WMASampleInfo g_sampleInfo{};

class WMAReader final : public IWMReaderCallback {
public:
    ~WMAReader()
    {
        // The runtime's thread ends inside the last Release; only then may this object go.
        if (reader)
            reader->Release();
    }

    HRESULT open(const char* path);
    HRESULT close();
    void forgetFile()
    {
        outputFormat.clear();
        m_cnsFileDuration = 0;
        bitrate = 0;
        audioOutput = -1;
    }

    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, void* context) override;
    HRESULT OnSample(uint32_t output, uint64_t sampleTime, uint64_t sampleDuration, uint32_t flags,
                     INSSBuffer* sample, void* context) override;

    std::vector<uint8_t> outputFormat;
    uint64_t m_cnsFileDuration = 0;
    uint64_t requestedDuration = 0;
    std::atomic<uint64_t> requestedStart{0};
    std::atomic<uint64_t> m_qwTime{0};
    // The end of the last buffer delivered (the delivery thread's).
    uint64_t deliveredEnd = 0;
    // Set on the window thread while nothing plays; read on the delivery thread.
    std::atomic<WMASampleCallback> sampleCallback{nullptr};
    uint32_t bitrate = 0;
    std::atomic<int32_t> audioOutput{-1};
    // Signalled by the runtime's thread for the opened, stopped and closed reports; the flags say
    // which of them came, the result what it carried.
    platform::Event done{false, false};
    std::atomic<bool> opened{false};
    std::atomic<bool> closed{false};
    std::atomic<HRESULT> statusResult{S_OK};
    IWMReader* reader = nullptr;
    std::string path;
    // Window thread only: waits in progress, and a deletion asked for by a message they pumped.
    int waiting = 0;
    bool deleteWhenDone = false;

private:
    bool waitFor(const std::atomic<bool>& flag);
    HRESULT readAttributes();
    HRESULT findAudioOutput();
};

// The process's reader; create and delete run on the window thread, the clock procedure on the
// playback thread reads it.
std::atomic<WMAReader*> g_reader{nullptr};

// Waits for the flag while handing the caller's pump one round about every 10 ms. A pumped
// message may delete the reader: the wait then ends at once and the deletion follows it.
bool WMAReader::waitFor(const std::atomic<bool>& flag)
{
    ++waiting;
    bool arrived = false;
    for (int waited = 0; waited < kWaitLimitMs && !deleteWhenDone; waited += 10) {
        if (WMAMessagePump pump = g_pump.load())
            pump(g_pumpData.load());
        done.wait(10);
        if (flag) {
            arrived = true;
            break;
        }
    }
    --waiting;
    return arrived;
}

HRESULT WMAReader::open(const char* newPath)
{
    // Nothing of the previous file is kept once another is asked for.
    close();
    forgetFile();
    path = newPath;
    opened = false;
    done.reset();
    HRESULT hr = reader->Open(path.c_str(), this, nullptr);
    if (!failed(hr))
        hr = waitFor(opened) ? statusResult.load() : kTimedOut;
    if (!failed(hr)) {
        IWMProfile* profile = nullptr;
        hr = reader->GetProfile(&profile);
        if (!failed(hr)) {
            uint32_t rate = 0;
            if (!failed(profile->GetStreamBitrate(0, &rate)))
                bitrate = rate;
            profile->Release();
        }
    }
    if (!failed(hr))
        hr = reader->SetUserProvidedClock(true);
    if (!failed(hr))
        hr = readAttributes();
    if (!failed(hr))
        hr = findAudioOutput();
    if (failed(hr)) {
        close();
        forgetFile();
    }
    return hr;
}

HRESULT WMAReader::readAttributes()
{
    for (const char* name :
         {"Title", "Author", "Copyright", "Duration", "FileSize", "Seekable", "Broadcast"}) {
        WMT_ATTR_DATATYPE type{};
        uint16_t length = 0;
        HRESULT hr = reader->GetAttributeByName(0, name, &type, nullptr, &length);
        if (hr == ASF_E_NOTFOUND)
            continue;
        if (failed(hr))
            return hr;
        std::vector<uint8_t> value(length);
        hr = reader->GetAttributeByName(0, name, &type, value.data(), &length);
        if (hr == ASF_E_NOTFOUND)
            continue;
        if (failed(hr))
            return hr;
        if (std::strcmp(name, "Duration") == 0 && type == WMT_TYPE_QWORD && length == 8)
            std::memcpy(&m_cnsFileDuration, value.data(), 8);
    }
    return S_OK;
}

HRESULT WMAReader::findAudioOutput()
{
    uint32_t outputs = 0;
    HRESULT hr = reader->GetOutputCount(&outputs);
    if (failed(hr))
        return hr;
    for (uint32_t i = 0; i < outputs; ++i) {
        IWMMediaProps* props = nullptr;
        hr = reader->GetOutputProps(i, &props);
        if (failed(hr))
            return hr;
        brevon_wma::MediaType media;
        hr = media.read(props);
        props->Release();
        if (failed(hr))
            return hr;
        const WM_MEDIA_TYPE* type = media.type();
        // An audio output without a wave format cannot be played; look further.
        if (type->majortype == WMMEDIATYPE_Audio && type->cbFormat >= sizeof(WAVEFORMATEX)) {
            outputFormat.assign(type->pbFormat, type->pbFormat + type->cbFormat);
            audioOutput = static_cast<int32_t>(i);
            return S_OK;
        }
    }
    return E_UNEXPECTED;
}

HRESULT WMAReader::close()
{
    closed = false;
    HRESULT hr = reader->Close();
    if (failed(hr))
        return hr;
    // Unlike a stopped report, only the closed one says the file is let go.
    return waitFor(closed) ? statusResult.load() : kTimedOut;
}

HRESULT WMAReader::OnStatus(WMT_STATUS status, HRESULT hr, void*)
{
    switch (status) {
    case WMT_OPENED:
        statusResult = hr;
        opened = true;
        done.set();
        break;
    case WMT_STARTED:
        m_qwTime = requestedStart.load();
        deliveredEnd = requestedStart.load();
        reader->DeliverTime(requestedStart + kStartLead);
        break;
    case WMT_STOPPED:
        statusResult = hr;
        done.set();
        break;
    case WMT_CLOSED:
        statusResult = hr;
        closed = true;
        done.set();
        break;
    case WMT_EOF:
        // Everything is delivered: an empty buffer at the end time says so, so that the engine
        // ends the playback when its last block has played instead of waiting for more.
        if (WMASampleCallback callback = sampleCallback.load()) {
            static uint8_t none = 0;
            g_sampleInfo = WMASampleInfo{&none, 0, deliveredEnd};
            uint64_t duration = 0;
            callback(&g_sampleInfo, &duration);
        }
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT WMAReader::OnSample(uint32_t output, uint64_t sampleTime, uint64_t sampleDuration, uint32_t,
                            INSSBuffer* sample, void*)
{
    if (static_cast<int32_t>(output) != audioOutput)
        return S_OK;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    HRESULT hr = sample->GetBufferAndLength(&data, &length);
    if (failed(hr))
        return hr;
    g_sampleInfo = WMASampleInfo{data, length, sampleTime};
    deliveredEnd = sampleTime + sampleDuration;
    if (WMASampleCallback callback = sampleCallback.load())
        callback(&g_sampleInfo, &sampleDuration);
    return S_OK;
}

// The reader when its runtime reader exists.
WMAReader* usableReader()
{
    WMAReader* reader = g_reader.load();
    return reader && reader->reader ? reader : nullptr;
}

} // namespace

DRAVIK_EXPORT int32_t WMAReaderCreate()
{
    WMAReaderDelete();
    auto* reader = new WMAReader();
    g_reader = reader;
    const auto& rt = runtime();
    if (!rt.createReader)
        return brevon_wma::kRuntimeMissing;
    HRESULT hr = rt.createReader(nullptr, WMT_RIGHT_PLAYBACK, &reader->reader);
    if (failed(hr))
        reader->reader = nullptr;
    return hr;
}

DRAVIK_EXPORT void WMAReaderDelete()
{
    WMAReader* reader = g_reader.exchange(nullptr);
    if (reader && reader->waiting > 0) {
        reader->deleteWhenDone = true; // the open or close under way deletes it when it returns
        return;
    }
    delete reader;
}

namespace {

// Ends an open or close during which the reader was deleted.
HRESULT finishWait(WMAReader* reader, HRESULT hr)
{
    if (reader->deleteWhenDone && reader->waiting == 0) {
        delete reader;
        return E_ABORT;
    }
    return hr;
}

} // namespace

DRAVIK_EXPORT WMASampleCallback WMAReaderOnSample(WMASampleCallback callback)
{
    if (WMAReader* reader = g_reader.load())
        reader->sampleCallback = callback;
    return callback;
}

DRAVIK_EXPORT WMAMessagePump WMAReaderSetMessagePump(WMAMessagePump pump, void* data)
{
    g_pumpData = data;
    g_pump = pump;
    return pump;
}

DRAVIK_EXPORT int32_t WMAReaderOpen(const char* path)
{
    if (!path || !*path)
        return E_INVALIDARG;
    WMAReader* reader = usableReader();
    if (!reader)
        return E_UNEXPECTED;
    return finishWait(reader, reader->open(path));
}

DRAVIK_EXPORT int32_t WMAReaderGetWfx(WAVEFORMATEX* format)
{
    WMAReader* reader = usableReader();
    if (!format)
        return E_INVALIDARG;
    if (!reader || reader->outputFormat.size() < sizeof(WAVEFORMATEX))
        return NS_E_INVALID_REQUEST;
    std::memcpy(format, reader->outputFormat.data(), sizeof(WAVEFORMATEX));
    return S_OK;
}

DRAVIK_EXPORT uint32_t WMAReaderGetBitrate()
{
    WMAReader* reader = g_reader.load();
    return reader ? reader->bitrate : 0;
}

DRAVIK_EXPORT uint64_t WMAReaderm_cnsFileDuration()
{
    WMAReader* reader = g_reader.load();
    return reader ? reader->m_cnsFileDuration : 0;
}

DRAVIK_EXPORT uint64_t WMAReaderm_qwTime()
{
    WMAReader* reader = g_reader.load();
    return reader ? reader->m_qwTime.load() : 0;
}

DRAVIK_EXPORT int32_t WMAReaderStart(uint64_t start, uint64_t duration)
{
    WMAReader* reader = usableReader();
    if (!reader)
        return E_UNEXPECTED;
    reader->requestedStart = start;
    reader->requestedDuration = duration;
    return reader->reader->Start(start, duration, 1.0f, nullptr);
}

DRAVIK_EXPORT int32_t WMAReaderPause()
{
    WMAReader* reader = usableReader();
    return reader ? reader->reader->Pause() : E_UNEXPECTED;
}

DRAVIK_EXPORT int32_t WMAReaderResume()
{
    WMAReader* reader = usableReader();
    return reader ? reader->reader->Resume() : E_UNEXPECTED;
}

DRAVIK_EXPORT int32_t WMAReaderStop()
{
    WMAReader* reader = usableReader();
    return reader ? reader->reader->Stop() : E_UNEXPECTED;
}

DRAVIK_EXPORT int32_t WMAReaderClose()
{
    WMAReader* reader = usableReader();
    if (!reader)
        return E_UNEXPECTED;
    HRESULT hr = reader->close();
    reader->forgetFile();
    return finishWait(reader, hr);
}

DRAVIK_EXPORT int32_t WMAReaderGetSampleProc(uint64_t* time, int32_t)
{
    if (!time)
        return E_POINTER;
    WMAReader* reader = usableReader();
    return reader ? reader->reader->DeliverTime(*time) : E_UNEXPECTED;
}
