// The entry points of the wave engine and the file library that the recorder and the player look
// up by name. A set is complete only when every entry point was found; nothing is ever called
// through one that was not.
#pragma once

#include <string>

#include "BrevonFile.h"
#include "BrevonWave.h"
#include "platform/library.h"

#define DRAVIK_ENTRY(name) decltype(&::name) name = nullptr

struct WaveApi {
    // Capture.
    DRAVIK_ENTRY(WaveInOpenCallBack);
    DRAVIK_ENTRY(WaveInDataCallBack);
    DRAVIK_ENTRY(WaveInDataReadyCallBack);
    DRAVIK_ENTRY(WaveInStart);
    DRAVIK_ENTRY(WaveInStart2);
    DRAVIK_ENTRY(WaveInStop);
    DRAVIK_ENTRY(WaveInRecordStart);
    DRAVIK_ENTRY(WaveInRecordPause);
    DRAVIK_ENTRY(WaveInRecordStop);
    DRAVIK_ENTRY(WaveInGetGapCount);
    DRAVIK_ENTRY(WaveInGetDeviceError);
    // Playback.
    DRAVIK_ENTRY(PlayStart3);
    DRAVIK_ENTRY(WaveOutOnSampleCallBackProc);
    DRAVIK_ENTRY(WMAReaderGetSampleCallBack);
    DRAVIK_ENTRY(WaveOutOpenCallBack);
    DRAVIK_ENTRY(WaveOutDoneCallBack);
    DRAVIK_ENTRY(WaveOutFillDataCallBack);
    DRAVIK_ENTRY(WaveOutPlayStartCallBack);
    DRAVIK_ENTRY(WaveOutCloseCallBack);
    DRAVIK_ENTRY(PlayStart);
    DRAVIK_ENTRY(PlayPause);
    DRAVIK_ENTRY(PlayStop);
    DRAVIK_ENTRY(PlayReset);
};

struct FileApi {
    // Writing.
    DRAVIK_ENTRY(WriteOpenMP3File);
    DRAVIK_ENTRY(WriteOpenWaveFile);
    DRAVIK_ENTRY(WriteWaveDataCallBackProc);
    DRAVIK_ENTRY(WriteCloseFile);
    DRAVIK_ENTRY(GetWritePosition);
    DRAVIK_ENTRY(GetWaveInPosition);
    DRAVIK_ENTRY(GetWaveInTime);
    // Reading.
    DRAVIK_ENTRY(ReadOpenWaveFile);
    DRAVIK_ENTRY(ReadCloseFile);
    DRAVIK_ENTRY(GetDataSize);
    DRAVIK_ENTRY(WaveOutPlayStartCallBackProc);
    DRAVIK_ENTRY(FillWaveDataCallBackProc);
    DRAVIK_ENTRY(ReadOpenMP3File);
    DRAVIK_ENTRY(FillMP3DataCallBackProc);
    DRAVIK_ENTRY(GetAvgBytesPerSec);
    DRAVIK_ENTRY(GetBitRate);
};

#undef DRAVIK_ENTRY

// Brevon.Wave and Brevon.File loaded from the program's folder with every entry point looked up,
// as the recorder and the player each hold them.
struct EngineLibraries {
    platform::Library waveLibrary;
    platform::Library fileLibrary;
    WaveApi wave;
    FileApi file;
    // Both libraries and all their entry points were found; otherwise error says what is missing.
    bool bound = false;
    std::string error;

    bool bind();
};
