// Brevon.WMA: writes WMA files from PCM with one of 29 encoding profiles carried by the program,
// and reads WMA (and whatever else the media runtime decodes) into PCM paced by the caller's
// clock. One writer (with a next file started ahead) and one reader per process; no handle
// crosses the interface.
#pragma once

#include <cstdint>

#include "platform/export.h"
#include "platform/records.h"

// Writer. Each export but WMAWriterCreate returns 0 on success and the runtime's failure code
// (an HRESULT, negative) otherwise.
DRAVIK_EXPORT int32_t WMAWriterCreate();
DRAVIK_EXPORT void WMAWriterDelete();
// index: 0..28 (anything else chooses "a128"); format receives the PCM input format.
DRAVIK_EXPORT int32_t WMAWriterConfigure(int32_t index, WAVEFORMATEX* format);
DRAVIK_EXPORT int32_t WMAWriterStart(const char* path);
DRAVIK_EXPORT int32_t WMAWriterStop();
// The next file, started ahead so that a recording goes on in it at once when it splits: another
// thread than the writing one starts it, the writing thread makes it the current one with the
// switch (a moment), and another thread then completes the file the switch finished. One next
// file at a time. The switch fails, changing nothing, when no next file is started or the file
// the previous switch finished is not yet completed; the two stops succeed when there is nothing
// to complete (the caller deletes an unused next file).
DRAVIK_EXPORT int32_t WMAWriterStartNext(const char* path);
DRAVIK_EXPORT int32_t WMAWriterSwitchToNext();
DRAVIK_EXPORT int32_t WMAWriterStopFinished();
DRAVIK_EXPORT int32_t WMAWriterStopNext();
// duration: of the buffer, in 100-ns units.
DRAVIK_EXPORT int32_t WMAWriterWriteSample(uint64_t duration, const uint8_t* data, uint32_t length);
DRAVIK_EXPORT int32_t WMAWriterGetStats(WM_WRITER_STATISTICS* stats);

// Reader. The sample callback receives each decoded buffer on the runtime's delivery thread; the
// bytes are valid only during the call. Its result is ignored.
using WMASampleCallback = intptr_t (*)(WMASampleInfo* info, uint64_t* duration);
// The caller's message pump, called about every 10 ms while open and close wait: it handles at
// most one waiting message of the calling thread and returns. data is what was given with it.
using WMAMessagePump = void (*)(void* data);

DRAVIK_EXPORT int32_t WMAReaderCreate();
DRAVIK_EXPORT void WMAReaderDelete();
// Returns its argument.
DRAVIK_EXPORT WMASampleCallback WMAReaderOnSample(WMASampleCallback callback);
// Returns its argument; null: open and close wait without pumping.
DRAVIK_EXPORT WMAMessagePump WMAReaderSetMessagePump(WMAMessagePump pump, void* data);
// 0 when the file is open; the failure code otherwise (nothing of the file is then kept).
DRAVIK_EXPORT int32_t WMAReaderOpen(const char* path);
// 0 and the 18 bytes of the PCM output format; a failure code and nothing written when no file
// is open.
DRAVIK_EXPORT int32_t WMAReaderGetWfx(WAVEFORMATEX* format);
DRAVIK_EXPORT uint32_t WMAReaderGetBitrate();
DRAVIK_EXPORT uint64_t WMAReaderm_cnsFileDuration();
DRAVIK_EXPORT uint64_t WMAReaderm_qwTime();
// start and duration in 100-ns units; duration 0: to the end.
DRAVIK_EXPORT int32_t WMAReaderStart(uint64_t start, uint64_t duration);
DRAVIK_EXPORT int32_t WMAReaderPause();
DRAVIK_EXPORT int32_t WMAReaderResume();
DRAVIK_EXPORT int32_t WMAReaderStop();
DRAVIK_EXPORT int32_t WMAReaderClose();
// Lets the runtime deliver samples up to *time (100-ns units). The second argument is unused.
DRAVIK_EXPORT int32_t WMAReaderGetSampleProc(uint64_t* time, int32_t unused);
