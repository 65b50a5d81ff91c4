// Brevon.Wave: the wave device engine. Capture from an input device in 40-ms blocks with a level
// meter, and playback fed by a fill procedure (pull) or by a media reader (push). Plain C
// functions without handles; every callback runs on a worker thread of the engine.
#pragma once

#include <cstdint>

#include "platform/export.h"
#include "platform/records.h"

// Capture. Callback setters return their argument.
DRAVIK_EXPORT EngineCallback WaveInOpenCallBack(EngineCallback callback);
// The level callback: (LevelBlock*, 0) for every returned buffer.
DRAVIK_EXPORT EngineCallback WaveInDataCallBack(EngineCallback callback);
// The data callback: (WAVEHDR*, 0) for every returned buffer while recording and not paused.
DRAVIK_EXPORT EngineCallback WaveInDataReadyCallBack(EngineCallback callback);
// The buffer callback: (WAVEHDR*, 0) for every returned buffer, recording or not, before its
// level callback; the samples are valid only during the call.
DRAVIK_EXPORT EngineCallback WaveInBufferCallBack(EngineCallback callback);
// Opens and starts the input device; false when it could not be opened and started, or when a
// device is already open (stop it first).
DRAVIK_EXPORT bool WaveInStart2(uint32_t deviceId, const WAVEFORMATEX* format);
DRAVIK_EXPORT bool WaveInStart(const WAVEFORMATEX* format);
// Stops and closes the device; returns once the worker thread has ended. Never from a callback.
DRAVIK_EXPORT bool WaveInStop();
DRAVIK_EXPORT bool WaveInRecordStart();
DRAVIK_EXPORT bool WaveInRecordPause();
DRAVIK_EXPORT bool WaveInRecordStop();
// Sound lost by the input device since the last start (overruns, a device that failed): the
// number of gaps, and the device's failure code (0 while it works).
DRAVIK_EXPORT uint32_t WaveInGetGapCount();
DRAVIK_EXPORT uint32_t WaveInGetDeviceError();

// Playback. Callback setters return their argument.
DRAVIK_EXPORT EngineCallback WaveOutOpenCallBack(EngineCallback callback);
// The level callback: (LevelBlock*, 0) for every played block, position in 100-ns units.
DRAVIK_EXPORT EngineCallback WaveOutDoneCallBack(EngineCallback callback);
DRAVIK_EXPORT EngineCallback WaveOutCloseCallBack(EngineCallback callback);
// Pull mode: the fill callback gets (FillRequest*, 0); the play-start callback gets (uint64_t*
// byte offset, 0).
DRAVIK_EXPORT EngineCallback WaveOutFillDataCallBack(EngineCallback callback);
DRAVIK_EXPORT EngineCallback WaveOutPlayStartCallBack(EngineCallback callback);
// Push mode when set: called with (uint64_t* time, 0), a time of 0 meaning enough is queued.
DRAVIK_EXPORT EngineCallback WMAReaderGetSampleCallBack(EngineCallback callback);
// Push mode: queues the sample's bytes for playback. The duration is not used.
DRAVIK_EXPORT intptr_t WaveOutOnSampleCallBackProc(const WMASampleInfo* sample,
                                                   const uint64_t* duration);
// Starts pull-mode playback at start offset (100-ns units). Returns true even when nothing
// started; the open callback tells of a playback.
DRAVIK_EXPORT bool PlayStart2(uint32_t deviceId, uint32_t startLow, uint32_t startHigh,
                              const WAVEFORMATEX* format, uint32_t fillBufferSize);
DRAVIK_EXPORT bool PlayStart(uint32_t startLow, uint32_t startHigh, const WAVEFORMATEX* format,
                             uint32_t fillBufferSize);
// Starts push-mode playback on the wave mapper; the two pairs of 32-bit values are not used.
DRAVIK_EXPORT bool PlayStart3(uint32_t startLow, uint32_t startHigh, uint32_t unused1,
                              uint32_t unused2, const WAVEFORMATEX* format, uint32_t durationLow,
                              uint32_t durationHigh);
DRAVIK_EXPORT bool PlayPause();
DRAVIK_EXPORT bool PlayStop();
DRAVIK_EXPORT bool PlayReset();
DRAVIK_EXPORT uint64_t GetPlayPosition();
DRAVIK_EXPORT int64_t GetPlayTime();
// Sound lost by the output device (underruns, a device that failed) since the last open.
DRAVIK_EXPORT uint32_t WaveOutGetGapCount();
