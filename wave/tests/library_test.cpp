// The shared library as an outside program sees it: loaded by name, every export found, a short
// capture driven through the looked-up functions.
#include <gtest/gtest.h>

#include "engine_helpers.h"
#include "platform/library.h"

using namespace enginetest;

namespace {

std::atomic<int> levelsSeen{0};

intptr_t countLevels(void*, intptr_t)
{
    ++levelsSeen;
    return 0;
}

} // namespace

TEST(BrevonWaveLibrary, ExportsEveryEntryPointByName)
{
    platform::Library wave;
    ASSERT_TRUE(wave.load("Brevon.Wave")) << wave.error();
    for (const char* name : {"WaveInOpenCallBack",
                             "WaveInDataCallBack",
                             "WaveInDataReadyCallBack",
                             "WaveInBufferCallBack",
                             "WaveInStart2",
                             "WaveInStart",
                             "WaveInStop",
                             "WaveInRecordStart",
                             "WaveInRecordPause",
                             "WaveInRecordStop",
                             "WaveInGetGapCount",
                             "WaveInGetDeviceError",
                             "WaveOutOpenCallBack",
                             "WaveOutDoneCallBack",
                             "WaveOutCloseCallBack",
                             "WaveOutFillDataCallBack",
                             "WaveOutPlayStartCallBack",
                             "WMAReaderGetSampleCallBack",
                             "WaveOutOnSampleCallBackProc",
                             "PlayStart2",
                             "PlayStart",
                             "PlayStart3",
                             "PlayPause",
                             "PlayStop",
                             "PlayReset",
                             "GetPlayPosition",
                             "GetPlayTime",
                             "WaveOutGetGapCount"})
        EXPECT_NE(wave.symbol(name), nullptr) << name;
    // Nothing of the engine's insides leaves the library.
    EXPECT_EQ(wave.symbol("_ZN6brevon4wave6waveInEv"), nullptr);
}

TEST(BrevonWaveLibrary, CapturesThroughLookedUpFunctions)
{
    setAudio("virtual:pace=fast");
    platform::Library wave;
    ASSERT_TRUE(wave.load("Brevon.Wave")) << wave.error();
    auto setLevels = wave.function<EngineCallback (*)(EngineCallback)>("WaveInDataCallBack");
    auto start = wave.function<bool (*)(const WAVEFORMATEX*)>("WaveInStart");
    auto stop = wave.function<bool (*)()>("WaveInStop");
    ASSERT_TRUE(setLevels && start && stop);
    EXPECT_EQ(setLevels(countLevels), &countLevels);
    const WAVEFORMATEX format = pcm(44100, 2, 16);
    ASSERT_TRUE(start(&format));
    EXPECT_TRUE(waitUntil([] { return levelsSeen >= 10; }));
    EXPECT_TRUE(stop());
}
