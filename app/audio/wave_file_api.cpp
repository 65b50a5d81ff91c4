// Looking up the engine's and the file library's entry points.
#include "wave_file_api.h"

namespace {

template <typename F>
void lookUp(platform::Library& library, const char* name, F& entry, std::string& error)
{
    entry = library.function<F>(name);
    if (!entry && error.empty())
        error = library.error();
}

} // namespace

#define LOOK_UP(name) lookUp(library, #name, api.name, error)

namespace {

bool bindWaveApi(platform::Library& library, WaveApi& api, std::string& error)
{
    error.clear();
    if (!library.loaded() && !library.load("Brevon.Wave")) {
        error = library.error();
        return false;
    }
    LOOK_UP(WaveInOpenCallBack);
    LOOK_UP(WaveInDataCallBack);
    LOOK_UP(WaveInDataReadyCallBack);
    LOOK_UP(WaveInStart);
    LOOK_UP(WaveInStart2);
    LOOK_UP(WaveInStop);
    LOOK_UP(WaveInRecordStart);
    LOOK_UP(WaveInRecordPause);
    LOOK_UP(WaveInRecordStop);
    LOOK_UP(WaveInGetGapCount);
    LOOK_UP(WaveInGetDeviceError);
    LOOK_UP(PlayStart3);
    LOOK_UP(WaveOutOnSampleCallBackProc);
    LOOK_UP(WMAReaderGetSampleCallBack);
    LOOK_UP(WaveOutOpenCallBack);
    LOOK_UP(WaveOutDoneCallBack);
    LOOK_UP(WaveOutFillDataCallBack);
    LOOK_UP(WaveOutPlayStartCallBack);
    LOOK_UP(WaveOutCloseCallBack);
    LOOK_UP(PlayStart);
    LOOK_UP(PlayPause);
    LOOK_UP(PlayStop);
    LOOK_UP(PlayReset);
    return error.empty();
}

bool bindFileApi(platform::Library& library, FileApi& api, std::string& error)
{
    error.clear();
    if (!library.loaded() && !library.load("Brevon.File")) {
        error = library.error();
        return false;
    }
    LOOK_UP(WriteOpenMP3File);
    LOOK_UP(WriteOpenWaveFile);
    LOOK_UP(WriteWaveDataCallBackProc);
    LOOK_UP(WriteCloseFile);
    LOOK_UP(GetWritePosition);
    LOOK_UP(GetWaveInPosition);
    LOOK_UP(GetWaveInTime);
    LOOK_UP(ReadOpenWaveFile);
    LOOK_UP(ReadCloseFile);
    LOOK_UP(GetDataSize);
    LOOK_UP(WaveOutPlayStartCallBackProc);
    LOOK_UP(FillWaveDataCallBackProc);
    LOOK_UP(ReadOpenMP3File);
    LOOK_UP(FillMP3DataCallBackProc);
    LOOK_UP(GetAvgBytesPerSec);
    LOOK_UP(GetBitRate);
    return error.empty();
}

#undef LOOK_UP

} // namespace

bool EngineLibraries::bind()
{
    std::string waveError;
    std::string fileError;
    bool waveBound = bindWaveApi(waveLibrary, wave, waveError);
    bool fileBound = bindFileApi(fileLibrary, file, fileError);
    bound = waveBound && fileBound;
    error = !waveBound ? waveError : !fileBound ? fileError : std::string();
    return bound;
}
