// The engine on ALSA's own code path without sound hardware: the default PCM is a file plugin
// over the null plugin, capturing from a raw file and playing into another.
#include <gtest/gtest.h>

#include <fstream>

#include "engine_helpers.h"
#include "testsupport/testsupport.h"

using namespace enginetest;

namespace {

std::mutex capturedMutex;
std::vector<uint8_t> captured;
std::atomic<int> closes{0};
std::vector<uint8_t> source;
size_t sourceAt = 0;

intptr_t keepBlock(void* buffer, intptr_t)
{
    auto* header = static_cast<WAVEHDR*>(buffer);
    std::lock_guard lock(capturedMutex);
    captured.insert(captured.end(), header->lpData, header->lpData + header->dwBytesRecorded);
    return 0;
}

intptr_t fill(void* request, intptr_t)
{
    auto* f = static_cast<FillRequest*>(request);
    const size_t n = std::min<size_t>(f->length, source.size() - sourceAt);
    std::memcpy(f->buffer, source.data() + sourceAt, n);
    sourceAt += n;
    f->length = uint32_t(n);
    return 0;
}

intptr_t countClose(void*, intptr_t)
{
    ++closes;
    return 0;
}

class AlsaEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("DRAVIK_AUDIO");
        // Only this test's callbacks: the engine is one per process.
        WaveInOpenCallBack(nullptr);
        WaveInDataCallBack(nullptr);
        WaveInDataReadyCallBack(nullptr);
        WaveOutOpenCallBack(nullptr);
        WaveOutDoneCallBack(nullptr);
        input.resize(20 * 7056);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = uint8_t(i * 31 + i / 777);
        testsupport::writeFile(dir / "in.raw", input);
        wavetest::useAlsaFilePlugin(dir.path());
        baseline = threadCount();
    }
    void TearDown() override
    {
        WaveInStop();
        PlayStop();
        unsetenv("ALSA_CONFIG_PATH");
        EXPECT_EQ(settledThreadCount(baseline), baseline);
    }

    testsupport::TempDir dir;
    std::vector<uint8_t> input;
    size_t baseline = 0;
    const WAVEFORMATEX cd = pcm(44100, 2, 16);
};

} // namespace

TEST_F(AlsaEngine, CapturesTheFilePluginsInputUnchanged)
{
    captured.clear();
    WaveInDataReadyCallBack(keepBlock);
    WaveInRecordStart();
    ASSERT_TRUE(WaveInStart(&cd));
    ASSERT_TRUE(waitUntil([] {
        std::lock_guard lock(capturedMutex);
        return captured.size() >= 10 * 7056;
    }));
    WaveInRecordStop();
    WaveInStop();
    WaveInDataReadyCallBack(nullptr);
    std::lock_guard lock(capturedMutex);
    EXPECT_TRUE(std::equal(captured.begin(), captured.begin() + 10 * 7056, input.begin()));
}

TEST_F(AlsaEngine, PlaysAPullSourceIntoTheFilePlugin)
{
    source.assign(input.begin(), input.begin() + 12 * 7056 + 1000);
    sourceAt = 0;
    closes = 0;
    WaveOutFillDataCallBack(fill);
    WaveOutCloseCallBack(countClose);
    WaveOutPlayStartCallBack(nullptr);
    WMAReaderGetSampleCallBack(nullptr);
    PlayStart(0, 0, &cd, 7056);
    ASSERT_TRUE(waitUntil([] { return closes == 1; }));
    EXPECT_EQ(testsupport::readFile(dir / "out.raw"), source);
    WaveOutFillDataCallBack(nullptr);
    WaveOutCloseCallBack(nullptr);
}
