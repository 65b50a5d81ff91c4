// The media runtime (libwmvcore.so): a profile manager that reads profile documents, a writer that
// encodes PCM into ASF files, and an asynchronous reader that decodes any file FFmpeg knows and
// delivers PCM on its own thread, gated by a clock the caller advances.
//
// The objects are reached through the abstract classes below; the three entry points at the end
// are the only exports. Every object is reference counted: Release() drops the caller's reference.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/export.h"
#include "platform/records.h"

namespace wmv {

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
// An attribute the file does not carry.
constexpr HRESULT ASF_E_NOTFOUND = static_cast<HRESULT>(0xC00D07F0);
// The call does not fit the object's state (not open, not writing, no profile).
constexpr HRESULT NS_E_INVALID_REQUEST = static_cast<HRESULT>(0xC00D002B);
// The file cannot be opened or created.
constexpr HRESULT NS_E_FILE_OPEN_FAILED = static_cast<HRESULT>(0xC00D001D);
// The file or profile document is not in a form this runtime understands.
constexpr HRESULT NS_E_INVALID_DATA = static_cast<HRESULT>(0xC00D002F);
// The file holds no stream this runtime can decode.
constexpr HRESULT NS_E_NO_STREAM = static_cast<HRESULT>(0xC00D0BB9);
// Writing to the file failed (disk full, device gone).
constexpr HRESULT NS_E_FILE_WRITE = static_cast<HRESULT>(0xC00D0020);

inline bool failed(HRESULT hr)
{
    return hr < 0;
}

struct GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
    bool operator==(const GUID& other) const
    {
        return std::memcmp(this, &other, sizeof(GUID)) == 0;
    }
};

// {73647561-0000-0010-8000-00AA00389B71} and friends.
constexpr GUID WMMEDIATYPE_Audio = {0x73647561, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};
constexpr GUID WMMEDIATYPE_Video = {0x73646976, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};
constexpr GUID WMMEDIATYPE_Other = {0x7364696F, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};
constexpr GUID WMMEDIASUBTYPE_PCM = {0x00000001, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};
constexpr GUID WMFORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID WMFORMAT_None = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// A media type; the format block (cbFormat bytes at pbFormat) follows the record in the same
// caller-supplied buffer.
struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    bool bFixedSizeSamples;
    bool bTemporalCompression;
    uint32_t lSampleSize;
    GUID formattype;
    uint32_t cbFormat;
    uint8_t* pbFormat;
};

enum WMT_STATUS : int32_t {
    WMT_ERROR = 0,
    WMT_OPENED = 1,
    WMT_EOF = 4,
    WMT_MISSING_CODEC = 10,
    WMT_STARTED = 11,
    WMT_STOPPED = 12,
    WMT_CLOSED = 13,
};

enum WMT_ATTR_DATATYPE : int32_t {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1, // UTF-8, NUL-terminated
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3, // 4 bytes
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
};

// The rights a reader is created with; playback is the only one.
constexpr uint32_t WMT_RIGHT_PLAYBACK = 1;

class IRefCounted {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~IRefCounted() = default;
};

// A sample's bytes.
class INSSBuffer : public IRefCounted {
public:
    virtual HRESULT GetBuffer(uint8_t** data) = 0;
    virtual HRESULT GetBufferAndLength(uint8_t** data, uint32_t* length) = 0;
    virtual HRESULT GetMaxLength(uint32_t* length) = 0;
    virtual HRESULT SetLength(uint32_t length) = 0;
};

// The media type of a writer's input or a reader's output. GetMediaType with a null type asks for
// the size; then it fills a buffer of at least that size.
class IWMMediaProps : public IRefCounted {
public:
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, uint32_t* size) = 0;
};

// A loaded encoding profile (one stream), or the profile of an open file.
class IWMProfile : public IRefCounted {
public:
    virtual HRESULT GetStreamCount(uint32_t* count) = 0;
    virtual HRESULT GetStreamBitrate(uint32_t index, uint32_t* bitsPerSecond) = 0;
    // The profile's name attribute, UTF-8 (size query with a null buffer, as for attributes).
    virtual HRESULT GetName(char* name, uint32_t* length) = 0;
};

class IWMProfileManager : public IRefCounted {
public:
    // text: a profile document, UTF-16LE, NUL-terminated, an optional byte-order mark first.
    virtual HRESULT LoadProfileByData(const char16_t* text, IWMProfile** profile) = 0;
};

class IWMWriter : public IRefCounted {
public:
    virtual HRESULT SetProfile(IWMProfile* profile) = 0;
    virtual HRESULT GetInputCount(uint32_t* count) = 0;
    virtual HRESULT GetInputProps(uint32_t input, IWMMediaProps** props) = 0;
    virtual HRESULT SetOutputFilename(const char* path) = 0;
    virtual HRESULT BeginWriting() = 0;
    virtual HRESULT EndWriting() = 0;
    virtual HRESULT AllocateSample(uint32_t size, INSSBuffer** sample) = 0;
    // time: the sample's time stamp in 100-ns units.
    virtual HRESULT WriteSample(uint32_t input, uint64_t time, uint32_t flags,
                                INSSBuffer* sample) = 0;
    virtual HRESULT GetStatistics(uint16_t streamNumber, WM_WRITER_STATISTICS* stats) = 0;
};

// What the reader calls on its own thread. Neither call may wait for the thread that opens,
// starts or closes the reader.
class IWMReaderCallback {
public:
    virtual HRESULT OnStatus(WMT_STATUS status, HRESULT hr, void* context) = 0;
    virtual HRESULT OnSample(uint32_t output, uint64_t sampleTime, uint64_t sampleDuration,
                             uint32_t flags, INSSBuffer* sample, void* context) = 0;

protected:
    ~IWMReaderCallback() = default;
};

// An asynchronous reader. Open, Start, Stop and Close return at once and report their end through
// OnStatus (WMT_OPENED, WMT_STARTED, WMT_STOPPED, WMT_CLOSED; WMT_EOF when the file has been
// delivered; WMT_ERROR when reading fails midway). Samples arrive through OnSample on the reader's
// thread; with the user-provided clock no sample reaches past the time last given to DeliverTime.
// No callback runs once Close has reported WMT_CLOSED or the last Release has returned.
class IWMReader : public IRefCounted {
public:
    virtual HRESULT Open(const char* path, IWMReaderCallback* callback, void* context) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetOutputCount(uint32_t* count) = 0;
    virtual HRESULT GetOutputProps(uint32_t output, IWMMediaProps** props) = 0;
    // duration 0: to the end.
    virtual HRESULT Start(uint64_t start, uint64_t duration, float rate, void* context) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Resume() = 0;
    virtual HRESULT SetUserProvidedClock(bool userClock) = 0;
    virtual HRESULT DeliverTime(uint64_t time) = 0;
    virtual HRESULT GetProfile(IWMProfile** profile) = 0;
    // Header attributes by name on stream 0: Title, Author, Copyright (strings), Duration,
    // FileSize (QWORD), Seekable, Broadcast (BOOL). value null: length receives the size needed.
    virtual HRESULT GetAttributeByName(uint16_t stream, const char* name, WMT_ATTR_DATATYPE* type,
                                       uint8_t* value, uint16_t* length) = 0;
};

} // namespace wmv

// The entry points, found by name by the libraries that load the runtime.
DRAVIK_EXPORT wmv::HRESULT WMCreateProfileManager(wmv::IWMProfileManager** manager);
DRAVIK_EXPORT wmv::HRESULT WMCreateWriter(void* certificate, wmv::IWMWriter** writer);
DRAVIK_EXPORT wmv::HRESULT WMCreateReader(void* certificate, uint32_t rights,
                                          wmv::IWMReader** reader);

using WMCreateProfileManagerFn = decltype(&WMCreateProfileManager);
using WMCreateWriterFn = decltype(&WMCreateWriter);
using WMCreateReaderFn = decltype(&WMCreateReader);
