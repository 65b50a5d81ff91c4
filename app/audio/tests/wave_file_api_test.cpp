#include <gtest/gtest.h>

#include "platform/library.h"
#include "wave_file_api.h"

namespace {

platform::Library loadStub()
{
    platform::Library stub;
    EXPECT_TRUE(stub.load("DravikEntryPointStub")) << stub.error();
    return stub;
}

} // namespace

TEST(WaveFileApi, BindingTheRealLibrariesFillsEveryListedEntryPoint)
{
    EngineLibraries engine;
    ASSERT_TRUE(engine.bind()) << engine.error;
    EXPECT_TRUE(engine.error.empty());
#define DRAVIK_EXPECT_WAVE(name) EXPECT_NE(engine.wave.name, nullptr) << #name;
#define DRAVIK_EXPECT_FILE(name) EXPECT_NE(engine.file.name, nullptr) << #name;
    DRAVIK_WAVE_ENTRY_POINTS(DRAVIK_EXPECT_WAVE)
    DRAVIK_FILE_ENTRY_POINTS(DRAVIK_EXPECT_FILE)
#undef DRAVIK_EXPECT_WAVE
#undef DRAVIK_EXPECT_FILE
}

TEST(WaveFileApi, ALibraryLackingOneEntryPointIsRefusedByItsName)
{
    EngineLibraries engine;
    engine.waveLibrary = loadStub();
    ASSERT_TRUE(engine.waveLibrary.loaded());
    EXPECT_FALSE(engine.bind());
    EXPECT_FALSE(engine.bound);
    EXPECT_NE(engine.error.find("WaveInGetGapCount"), std::string::npos) << engine.error;
    EXPECT_NE(engine.error.find("DravikEntryPointStub"), std::string::npos) << engine.error;
    // Only the missing one is named; the entries the stub has were found.
    EXPECT_EQ(engine.error.find("WaveInStart"), std::string::npos) << engine.error;
    // Nothing of a refused table can be called.
    EXPECT_EQ(engine.wave.WaveInStart, nullptr);
    EXPECT_EQ(engine.wave.PlayReset, nullptr);
}

TEST(WaveFileApi, TheWrongLibraryIsRefusedWithEveryMissingName)
{
    platform::Library stub = loadStub();
    FileApi api;
    std::string error;
    EXPECT_FALSE(bindFileApi(stub, api, error));
    EXPECT_NE(error.find("WriteOpenMP3File"), std::string::npos) << error;
    EXPECT_NE(error.find("GetBitRate"), std::string::npos) << error;

    platform::Library none;
    WaveApi wave;
    EXPECT_FALSE(bindWaveApi(none, wave, error));
    EXPECT_FALSE(error.empty());
}
