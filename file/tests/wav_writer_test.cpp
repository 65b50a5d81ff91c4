#include <gtest/gtest.h>

#include "file_test_support.h"
#include "wav_writer.h"

using namespace filetest;

TEST(WavWriter, WritesTheHeaderAsTabledAndExactSizesAtTheClose)
{
    testsupport::TempDir dir;
    auto path = (dir / "take.wav").string();
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    ASSERT_TRUE(WriteOpenWaveFile(path.c_str(), format));
    std::vector<uint8_t> block(7056);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(writeBlock(block.data(), 7056));
    ASSERT_TRUE(WriteCloseFile());

    auto bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 46u + 21168);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32(bytes, 4), 21206u);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(bytes, 16), 18u);
    EXPECT_EQ(std::memcmp(bytes.data() + 20, &format, 18), 0);
    EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 42), "data");
    EXPECT_EQ(u32(bytes, 42), 21168u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), bytes.begin() + 46 + 7056));
}

TEST(WavWriter, OddDataGetsAPadByteCountedOnlyInTheRiffSize)
{
    testsupport::TempDir dir;
    auto path = (dir / "odd.wav").string();
    WAVEFORMATEX format = pcmFormat(1, 8000, 8);
    format.cbSize = 0;
    ASSERT_TRUE(WriteOpenWaveFile(path.c_str(), format));
    std::vector<uint8_t> block(8001, 0x80);
    ASSERT_TRUE(writeBlock(block.data(), 8001));
    ASSERT_TRUE(WriteCloseFile());
    auto bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 8048u);
    EXPECT_EQ(u32(bytes, 42), 8001u);
    EXPECT_EQ(u32(bytes, 4), 8040u);
    EXPECT_EQ(bytes.back(), 0);
}

TEST(WavWriter, HeaderSizesFollowTheRecordingOncePerSecond)
{
    testsupport::TempDir dir;
    auto path = (dir / "live.wav").string();
    ASSERT_TRUE(WriteOpenWaveFile(path.c_str(), pcmFormat(1, 8000, 8))); // 8000 bytes a second
    std::vector<uint8_t> block(320, 0x90);
    for (int i = 0; i < 60; ++i) // 2.4 s
        ASSERT_TRUE(writeBlock(block.data(), 320));
    // A copy taken now stands for a file left behind by a crash.
    auto cut = testsupport::readFile(path);
    ASSERT_EQ(cut.size(), 46u + 19200);
    EXPECT_EQ(u32(cut, 42), 16000u); // sizes as of the last whole second
    EXPECT_EQ(u32(cut, 4), 38u + 16000);
    testsupport::writeFile(dir / "cut.wav", cut);
    WAVEFORMATEX read{};
    ASSERT_TRUE(ReadOpenWaveFile((dir / "cut.wav").c_str(), &read));
    EXPECT_EQ(GetDataSize(), 16000u);
    ReadCloseFile();

    ASSERT_TRUE(WriteCloseFile());
    auto done = testsupport::readFile(path);
    EXPECT_EQ(u32(done, 42), 19200u);
    EXPECT_EQ(u32(done, 4), 38u + 19200);
}

TEST(WavWriter, WriteFailuresAreReportedAndTheFileStaysPlayable)
{
    testsupport::TempDir dir;
    auto path = (dir / "full.wav").string();
    ASSERT_TRUE(WriteOpenWaveFile(path.c_str(), pcmFormat(1, 8000, 8)));
    std::vector<uint8_t> block(1000, 0x70);
    {
        testsupport::FileSizeLimit limit(46 + 4500);
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(writeBlock(block.data(), 1000));
        EXPECT_FALSE(writeBlock(block.data(), 1000)); // only half of it would fit
        EXPECT_FALSE(writeBlock(block.data(), 1000));
    }
    EXPECT_TRUE(WriteCloseFile());
    auto bytes = testsupport::readFile(path);
    EXPECT_EQ(bytes.size(), 46u + 4000);
    EXPECT_EQ(u32(bytes, 42), 4000u);
    EXPECT_EQ(u32(bytes, 4), 38u + 4000);

    EXPECT_FALSE(WriteOpenWaveFile((dir / "no" / "folder.wav").c_str(), pcmFormat(1, 8000, 8)));
    EXPECT_FALSE(WriteOpenWaveFile("/dev/full", pcmFormat(1, 8000, 8)));
    EXPECT_FALSE(writeBlock(block.data(), 1000)); // nothing is open
}

TEST(WavWriter, RefusesBlocksPastTheSizeLimitAndKeepsWhatItHas)
{
    // The limit keeps the RIFF size (38 + data + pad) within 32 bits, odd data included.
    constexpr uint64_t max = file::WavWriter::kMaxDataBytes;
    EXPECT_LE(38 + max + (max & 1), 0xFFFFFFFFull);
    EXPECT_GT(38 + (max + 1) + ((max + 1) & 1), 0xFFFFFFFFull);

    testsupport::TempDir dir;
    auto path = (dir / "limit.wav").string();
    file::WavWriter writer(2500);
    ASSERT_TRUE(writer.open(path.c_str(), pcmFormat(1, 8000, 8)));
    std::vector<uint8_t> block(1000, 1);
    EXPECT_TRUE(writer.write(block.data(), 1000));
    EXPECT_TRUE(writer.write(block.data(), 1000));
    EXPECT_FALSE(writer.write(block.data(), 1000));
    EXPECT_TRUE(writer.write(block.data(), 500));
    EXPECT_FALSE(writer.write(block.data(), 1));
    EXPECT_TRUE(writer.close());
    auto bytes = testsupport::readFile(path);
    EXPECT_EQ(bytes.size(), 46u + 2500);
    EXPECT_EQ(u32(bytes, 42), 2500u);
}

TEST(WavWriter, CountersOutliveEachFileAndOpeningAnotherCompletesTheFirst)
{
    testsupport::TempDir dir;
    const uint64_t before = GetWaveInPosition();
    std::vector<uint8_t> block(1000, 3);
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    ASSERT_TRUE(WriteOpenWaveFile((dir / "one.wav").c_str(), format));
    ASSERT_TRUE(writeBlock(block.data(), 1000));
    // Opened again without a close: the first file is completed, not abandoned.
    ASSERT_TRUE(WriteOpenWaveFile((dir / "two.wav").c_str(), format));
    EXPECT_EQ(u32(testsupport::readFile(dir / "one.wav"), 42), 1000u);
    ASSERT_TRUE(writeBlock(block.data(), 1000));
    ASSERT_TRUE(WriteCloseFile());
    EXPECT_EQ(GetWaveInPosition() - before, 2000u);
    EXPECT_EQ(GetWritePosition(), GetWaveInPosition());
    EXPECT_EQ(GetWaveInTime(), static_cast<int64_t>(GetWaveInPosition() * 100 / 176400));
}
