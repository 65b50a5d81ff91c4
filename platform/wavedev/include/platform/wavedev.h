// The wave device API: capture and playback devices with the semantics of the Windows waveform
// services (open with a callback, prepare / add / write buffers, start, pause, restart, reset,
// close, position). Behind it stand the ALSA devices and the virtual sound card.
#pragma once

#include <cstdint>

#include "platform/records.h"

namespace platform {

using MMRESULT = uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Messages a device sends to its callback.
constexpr uint32_t MM_WOM_OPEN = 0x3BB;
constexpr uint32_t MM_WOM_CLOSE = 0x3BC;
constexpr uint32_t MM_WOM_DONE = 0x3BD; // param1: the returned WAVEHDR*
constexpr uint32_t MM_WIM_OPEN = 0x3BE;
constexpr uint32_t MM_WIM_CLOSE = 0x3BF;
constexpr uint32_t MM_WIM_DATA = 0x3C0; // param1: the returned WAVEHDR*
// Messages of this layer beyond the Windows set: sound was lost (a capture overrun or a playback
// underrun; param1: frames lost, 0 when unknown), and the device failed for good (param1: the
// MMRESULT). After a failure the device returns no more buffers until it is reset.
constexpr uint32_t MM_WIM_GAP = 0x3E0;
constexpr uint32_t MM_WIM_ERROR = 0x3E1;
constexpr uint32_t MM_WOM_GAP = 0x3E2;
constexpr uint32_t MM_WOM_ERROR = 0x3E3;

// Open flags.
constexpr uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr uint32_t CALLBACK_NULL = 0x00000;
constexpr uint32_t CALLBACK_FUNCTION = 0x30000;

// The product name of the virtual sound card (its mixer carries the same name).
constexpr const char* kVirtualCardName = "Dravik Virtual Sound Card";

#pragma pack(push, 1)
// The extended format record: the 18 bytes of WAVEFORMATEX, then 22 bytes when cbSize >= 22.
struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    uint16_t wValidBitsPerSample;
    uint32_t dwChannelMask;
    uint8_t SubFormat[16];
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "WAVEFORMATEXTENSIBLE is 40 bytes");

// The PCM sub-format GUID {00000001-0000-0010-8000-00AA00389B71} as its 16 stored bytes.
constexpr uint8_t KSDATAFORMAT_SUBTYPE_PCM[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Checks that a format is one the devices take: integer PCM (or the extensible record with the
// PCM sub-format), 8, 16, 24 or 32 bits, one or two channels, a consistent block alignment and a
// rate of 1000..384000 Hz. Returns MMSYSERR_NOERROR or WAVERR_BADFORMAT with the reason.
MMRESULT checkWaveFormat(const WAVEFORMATEX* format, const char** reason = nullptr);

struct WAVEINCAPS {
    char szPname[32];
    uint16_t wChannels;
};
struct WAVEOUTCAPS {
    char szPname[32];
    uint16_t wChannels;
};

struct WaveInDevice;
struct WaveOutDevice;
using HWAVEIN = WaveInDevice*;
using HWAVEOUT = WaveOutDevice*;

// The device callback. It runs on a thread of the device layer, possibly inside the call that
// caused the message (open, close, reset); it must not call back into this API.
using WaveInProc = void (*)(HWAVEIN device, uint32_t message, uintptr_t instance, uintptr_t param1,
                            uintptr_t param2);
using WaveOutProc = void (*)(HWAVEOUT device, uint32_t message, uintptr_t instance,
                             uintptr_t param1, uintptr_t param2);

// Devices are numbered 0..count-1; WAVE_MAPPER names the default device. With DRAVIK_AUDIO set
// to "virtual..." the virtual card is device 0 and the mapper, followed by the ALSA cards.
uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCaps(uint32_t deviceId, WAVEINCAPS* caps);
// A refused format gives WAVERR_BADFORMAT; a device that cannot be opened MMSYSERR_ALLOCATED or
// MMSYSERR_NODRIVER. WAVE_FORMAT_QUERY only checks. The callback gets MM_WIM_OPEN before return.
MMRESULT waveInOpen(HWAVEIN* device, uint32_t deviceId, const WAVEFORMATEX* format,
                    WaveInProc callback, uintptr_t instance, uint32_t flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header);
// WAVERR_STILLPLAYING while the header is queued.
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header);
// Queues a prepared buffer; it comes back full (MM_WIM_DATA) or at a reset.
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header);
MMRESULT waveInStart(HWAVEIN device);
// Stops capturing; the buffer being filled comes back with what it holds.
MMRESULT waveInStop(HWAVEIN device);
// Stops capturing and returns every queued buffer before it returns; position back to 0.
MMRESULT waveInReset(HWAVEIN device);
// WAVERR_STILLPLAYING while buffers are queued; otherwise MM_WIM_CLOSE, and the handle is gone.
MMRESULT waveInClose(HWAVEIN device);
// Bytes captured since the open or the last reset.
MMRESULT waveInGetPosition(HWAVEIN device, uint64_t* bytes);
// Whether the device keeps the pace of the sound. Every real device does; the virtual card in
// fast pace does not, and threads that serve it run flat out, so they must not be raised to a
// real-time priority (the system would throttle them and starve everything else).
bool waveInKeepsPace(HWAVEIN device);

uint32_t waveOutGetNumDevs();
MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps);
MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     WaveOutProc callback, uintptr_t instance, uint32_t flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header);
// Queues a prepared buffer for playing; playing begins at once unless the device is paused.
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header);
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);
// Stops playing, returns every queued buffer before it returns, position back to 0. A paused
// device is running again afterwards, so the next write plays.
MMRESULT waveOutReset(HWAVEOUT device);
MMRESULT waveOutClose(HWAVEOUT device);
// Bytes played (heard, as far as the device can tell) since the open or the last reset.
MMRESULT waveOutGetPosition(HWAVEOUT device, uint64_t* bytes);
// Whether the device keeps the pace of the sound (see waveInKeepsPace).
bool waveOutKeepsPace(HWAVEOUT device);

// The sound server ALSA's default device goes through, such as PulseAudio or PipeWire, as its
// control device names it: written into name (at most size bytes with the NUL). False, writing
// nothing, when the default is a card or nothing answers behind it. (With the virtual card on,
// WAVE_MAPPER opens the virtual card instead.)
bool waveGetDefaultServer(char* name, uint32_t size);

// The flags the device layer itself stamps into a returned header: WHDR_DONE set, WHDR_INQUEUE
// cleared; `reserved` holds the steady-clock time of the return in nanoseconds.
uint64_t waveReturnStamp(const WAVEHDR* header);

} // namespace platform
