// The entry points of Brevon.Wave and Brevon.File that the recorder and the player call, listed
// once: the tables of wave_file_api.h and their binder are both made from these lists, so an
// entry point added here is a field and is looked up. Each list applies X to every name.
#pragma once

#define DRAVIK_WAVE_ENTRY_POINTS(X)                                                                \
    /* Capture. */                                                                                 \
    X(WaveInOpenCallBack)                                                                          \
    X(WaveInDataCallBack)                                                                          \
    X(WaveInDataReadyCallBack)                                                                     \
    X(WaveInBufferCallBack)                                                                        \
    X(WaveInStart)                                                                                 \
    X(WaveInStart2)                                                                                \
    X(WaveInStop)                                                                                  \
    X(WaveInRecordStart)                                                                           \
    X(WaveInRecordPause)                                                                           \
    X(WaveInRecordStop)                                                                            \
    X(WaveInGetGapCount)                                                                           \
    X(WaveInGetDeviceError)                                                                        \
    /* Playback. */                                                                                \
    X(PlayStart3)                                                                                  \
    X(WaveOutOnSampleCallBackProc)                                                                 \
    X(WMAReaderGetSampleCallBack)                                                                  \
    X(WaveOutOpenCallBack)                                                                         \
    X(WaveOutDoneCallBack)                                                                         \
    X(WaveOutFillDataCallBack)                                                                     \
    X(WaveOutPlayStartCallBack)                                                                    \
    X(WaveOutCloseCallBack)                                                                        \
    X(PlayStart)                                                                                   \
    X(PlayPause)                                                                                   \
    X(PlayStop)                                                                                    \
    X(PlayReset)

#define DRAVIK_FILE_ENTRY_POINTS(X)                                                                \
    /* Writing. */                                                                                 \
    X(WriteOpenMP3File)                                                                            \
    X(WriteOpenWaveFile)                                                                           \
    X(WriteWaveDataCallBackProc)                                                                   \
    X(WriteCloseFile)                                                                              \
    X(WriteOpenNextWaveFile)                                                                       \
    X(WriteOpenNextMP3File)                                                                        \
    X(WriteOpenFLACFile)                                                                           \
    X(WriteOpenOpusFile)                                                                           \
    X(WriteOpenNextFLACFile)                                                                       \
    X(WriteOpenNextOpusFile)                                                                       \
    X(WriteSwitchToNextFile)                                                                       \
    X(WriteCloseFinishedFile)                                                                      \
    X(WriteCloseNextFile)                                                                          \
    X(GetWritePosition)                                                                            \
    X(GetWaveInPosition)                                                                           \
    X(GetWaveInTime)                                                                               \
    /* Reading. */                                                                                 \
    X(ReadOpenWaveFile)                                                                            \
    X(ReadCloseFile)                                                                               \
    X(GetDataSize)                                                                                 \
    X(WaveOutPlayStartCallBackProc)                                                                \
    X(FillWaveDataCallBackProc)                                                                    \
    X(ReadOpenMP3File)                                                                             \
    X(FillMP3DataCallBackProc)                                                                     \
    X(GetAvgBytesPerSec)                                                                           \
    X(GetBitRate)
