// The C exports of Brevon.Wave: each forwards to the module's one capture or playback engine.
#include "BrevonWave.h"
#include "wave_in.h"
#include "wave_out.h"

using brevon::wave::waveIn;
using brevon::wave::waveOut;

namespace {

uint64_t joined(uint32_t low, uint32_t high)
{
    return uint64_t(high) << 32 | low;
}

} // namespace

DRAVIK_EXPORT EngineCallback WaveInOpenCallBack(EngineCallback callback)
{
    return waveIn().setOpenCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveInDataCallBack(EngineCallback callback)
{
    return waveIn().setLevelCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveInDataReadyCallBack(EngineCallback callback)
{
    return waveIn().setDataCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveInBufferCallBack(EngineCallback callback)
{
    return waveIn().setBufferCallback(callback);
}

DRAVIK_EXPORT bool WaveInStart2(uint32_t deviceId, const WAVEFORMATEX* format)
{
    return waveIn().start(deviceId, format);
}

DRAVIK_EXPORT bool WaveInStart(const WAVEFORMATEX* format)
{
    return WaveInStart2(WAVE_MAPPER, format);
}

DRAVIK_EXPORT bool WaveInStop()
{
    return waveIn().stop();
}

DRAVIK_EXPORT bool WaveInRecordStart()
{
    waveIn().recordStart();
    return true;
}

DRAVIK_EXPORT bool WaveInRecordPause()
{
    waveIn().recordPause();
    return true;
}

DRAVIK_EXPORT bool WaveInRecordStop()
{
    waveIn().recordStop();
    return true;
}

DRAVIK_EXPORT uint32_t WaveInGetGapCount()
{
    return waveIn().gapCount();
}

DRAVIK_EXPORT uint32_t WaveInGetDeviceError()
{
    return waveIn().deviceError();
}

DRAVIK_EXPORT EngineCallback WaveOutOpenCallBack(EngineCallback callback)
{
    return waveOut().setOpenCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveOutDoneCallBack(EngineCallback callback)
{
    return waveOut().setLevelCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveOutCloseCallBack(EngineCallback callback)
{
    return waveOut().setCloseCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveOutFillDataCallBack(EngineCallback callback)
{
    return waveOut().setFillCallback(callback);
}

DRAVIK_EXPORT EngineCallback WaveOutPlayStartCallBack(EngineCallback callback)
{
    return waveOut().setPlayStartCallback(callback);
}

DRAVIK_EXPORT EngineCallback WMAReaderGetSampleCallBack(EngineCallback callback)
{
    return waveOut().setReaderCallback(callback);
}

DRAVIK_EXPORT intptr_t WaveOutOnSampleCallBackProc(const WMASampleInfo* sample, const uint64_t*)
{
    waveOut().onSample(sample);
    return 0;
}

DRAVIK_EXPORT bool PlayStart2(uint32_t deviceId, uint32_t startLow, uint32_t startHigh,
                              const WAVEFORMATEX* format, uint32_t fillBufferSize)
{
    waveOut().startPull(deviceId, joined(startLow, startHigh), format, fillBufferSize);
    return true;
}

DRAVIK_EXPORT bool PlayStart(uint32_t startLow, uint32_t startHigh, const WAVEFORMATEX* format,
                             uint32_t fillBufferSize)
{
    return PlayStart2(WAVE_MAPPER, startLow, startHigh, format, fillBufferSize);
}

DRAVIK_EXPORT bool PlayStart3(uint32_t startLow, uint32_t startHigh, uint32_t, uint32_t,
                              const WAVEFORMATEX* format, uint32_t durationLow,
                              uint32_t durationHigh)
{
    waveOut().startPush(joined(startLow, startHigh), format, joined(durationLow, durationHigh));
    return true;
}

DRAVIK_EXPORT bool PlayPause()
{
    waveOut().pause();
    return true;
}

DRAVIK_EXPORT bool PlayStop()
{
    waveOut().stop();
    return true;
}

DRAVIK_EXPORT bool PlayReset()
{
    waveOut().reset();
    return true;
}

DRAVIK_EXPORT uint64_t GetPlayPosition()
{
    return waveOut().playPosition();
}

DRAVIK_EXPORT int64_t GetPlayTime()
{
    return waveOut().playTime();
}

DRAVIK_EXPORT uint32_t WaveOutGetGapCount()
{
    return waveOut().gapCount();
}
