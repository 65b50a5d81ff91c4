#include <gtest/gtest.h>

#include <thread>

#include "file_test_support.h"

using namespace filetest;

namespace {

std::vector<uint8_t> blockOf(uint8_t value, size_t bytes = 3528)
{
    return std::vector<uint8_t>(bytes, value);
}

// The sound bytes of a finished WAV file, checked against its header.
std::vector<uint8_t> soundOf(const std::filesystem::path& path)
{
    auto bytes = testsupport::readFile(path);
    if (bytes.size() < 46)
        return {};
    EXPECT_EQ(u32(bytes, 42), bytes.size() - 46) << path;
    EXPECT_EQ(u32(bytes, 4), bytes.size() - 8) << path;
    return std::vector<uint8_t>(bytes.begin() + 46, bytes.end());
}

} // namespace

TEST(NextFile, ASwitchGoesOnInTheFileOpenedAheadAndTheFinishedOneIsCompletedElsewhere)
{
    testsupport::TempDir dir;
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    const auto a = (dir / "a.wav").string(), b = (dir / "b.wav").string();
    const auto one = blockOf(1), two = blockOf(2);

    ASSERT_TRUE(WriteOpenWaveFile(a.c_str(), format));
    EXPECT_FALSE(WriteSwitchToNextFile()); // nothing opened ahead: the recording stays put
    const uint64_t storedBefore = GetWritePosition();
    ASSERT_TRUE(writeBlock(one.data(), 3528));
    bool opened = false;
    std::thread([&] { opened = WriteOpenNextWaveFile(b.c_str(), format); }).join();
    ASSERT_TRUE(opened);
    EXPECT_FALSE(WriteOpenNextWaveFile((dir / "c.wav").c_str(), format)); // one at a time
    ASSERT_TRUE(writeBlock(one.data(), 3528));
    ASSERT_TRUE(WriteSwitchToNextFile());

    // The finished file is completed on another thread while the next one is written.
    bool completed = false;
    std::thread closer([&] { completed = WriteCloseFinishedFile(); });
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(writeBlock(two.data(), 3528));
    closer.join();
    ASSERT_TRUE(completed);
    ASSERT_TRUE(WriteCloseFile());

    EXPECT_EQ(soundOf(a), blockOf(1, 2 * 3528));
    EXPECT_EQ(soundOf(b), blockOf(2, 3 * 3528));
    EXPECT_EQ(GetWritePosition() - storedBefore, 5u * 3528);
}

TEST(NextFile, ASecondSwitchWaitsForTheFirstFinishedFileAndAnUnusedNextFileIsClosedWhole)
{
    testsupport::TempDir dir;
    const WAVEFORMATEX format = pcmFormat(1, 8000, 16);
    const auto block = blockOf(7, 640);
    ASSERT_TRUE(WriteOpenWaveFile((dir / "1.wav").c_str(), format));
    ASSERT_TRUE(writeBlock(block.data(), 640));
    ASSERT_TRUE(WriteOpenNextWaveFile((dir / "2.wav").c_str(), format));
    ASSERT_TRUE(WriteSwitchToNextFile());
    ASSERT_TRUE(writeBlock(block.data(), 640));
    ASSERT_TRUE(WriteOpenNextWaveFile((dir / "3.wav").c_str(), format));
    // 1.wav is not completed yet: switching now would leave two files to complete.
    EXPECT_FALSE(WriteSwitchToNextFile());
    ASSERT_TRUE(writeBlock(block.data(), 640));
    ASSERT_TRUE(WriteCloseFinishedFile());
    EXPECT_TRUE(WriteCloseFinishedFile()); // nothing left to complete
    ASSERT_TRUE(WriteSwitchToNextFile());
    ASSERT_TRUE(WriteCloseFinishedFile());
    ASSERT_TRUE(WriteOpenNextWaveFile((dir / "4.wav").c_str(), format));
    ASSERT_TRUE(WriteCloseNextFile());
    EXPECT_TRUE(WriteCloseNextFile());
    EXPECT_FALSE(WriteSwitchToNextFile());
    ASSERT_TRUE(WriteCloseFile());

    EXPECT_EQ(soundOf(dir / "1.wav").size(), 640u);
    EXPECT_EQ(soundOf(dir / "2.wav").size(), 1280u);
    EXPECT_EQ(soundOf(dir / "3.wav").size(), 0u);
    EXPECT_EQ(soundOf(dir / "4.wav").size(), 0u);
}

TEST(NextFile, ANextFileThatCannotBeCreatedIsRefusedAndTheCurrentOneGoesOn)
{
    testsupport::TempDir dir;
    const WAVEFORMATEX format = pcmFormat(1, 8000, 16);
    const auto block = blockOf(3, 640);
    ASSERT_TRUE(WriteOpenWaveFile((dir / "a.wav").c_str(), format));
    EXPECT_FALSE(WriteOpenNextWaveFile((dir / "missing" / "b.wav").c_str(), format));
    EXPECT_FALSE(WriteOpenNextMP3File((dir / "missing" / "b.mp3").c_str(), format, 128));
    EXPECT_FALSE(WriteSwitchToNextFile());
    ASSERT_TRUE(writeBlock(block.data(), 640));
    ASSERT_TRUE(WriteCloseFile());
    EXPECT_EQ(soundOf(dir / "a.wav").size(), 640u);
}
