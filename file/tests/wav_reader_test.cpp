#include <gtest/gtest.h>

#include "file_test_support.h"

using namespace filetest;

namespace {

// Plays the open WAV file from `offset` through the fill procedure in buffers of `room` bytes.
std::vector<uint8_t> playAll(uint64_t offset = 0, uint32_t room = 4096)
{
    EXPECT_NE(WaveOutPlayStartCallBackProc(&offset, 0), 0);
    std::vector<uint8_t> sound;
    std::vector<uint8_t> buffer(room);
    for (;;) {
        FillRequest request{buffer.data(), room, 0};
        FillWaveDataCallBackProc(&request, 0);
        if (request.length == 0)
            return sound;
        EXPECT_EQ(request.filePosition, GetPosition());
        sound.insert(sound.end(), buffer.begin(), buffer.begin() + request.length);
    }
}

std::vector<uint8_t> samples(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i % 251 + 1);
    return bytes;
}

} // namespace

TEST(WavReader, EveryFixtureOpensOrIsRefusedAsItShould)
{
    struct Case {
        const char* name;
        bool opens;
        uint16_t tag = 0, channels = 0;
        uint32_t rate = 0;
        uint64_t dataSize = 0;
    } cases[] = {
        {"speech-44100-16-stereo.wav", true, WAVE_FORMAT_PCM, 2, 44100, 1024472},
        {"speech-16000-16-mono.wav", true, WAVE_FORMAT_PCM, 1, 16000, 185846},
        {"speech-8000-8-mono-odd.wav", true, WAVE_FORMAT_PCM, 1, 8000, 8001},
        {"speech-44100-24-stereo-extensible.wav", true, WAVE_FORMAT_EXTENSIBLE, 2, 44100, 0},
        {"speech-with-list-chunk.wav", true, WAVE_FORMAT_PCM, 2, 44100, 1024472},
        {"damaged-truncated.wav", true, WAVE_FORMAT_PCM, 2, 44100, 20000 - 44}, // to the end
        {"damaged-no-fmt.wav", false},
        {"damaged-random.wav", false},
        {"empty.wav", false},
        {"no-such-file.wav", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WAVEFORMATEX format{};
        ASSERT_EQ(ReadOpenWaveFile(testsupport::fixture(c.name).c_str(), &format), c.opens);
        if (!c.opens) {
            EXPECT_EQ(ReadCloseFile(), 0);
            continue;
        }
        EXPECT_EQ(+format.wFormatTag, c.tag);
        EXPECT_EQ(+format.nChannels, c.channels);
        EXPECT_EQ(+format.nSamplesPerSec, c.rate);
        if (c.dataSize) {
            EXPECT_EQ(GetDataSize(), c.dataSize);
        }
        EXPECT_EQ(GetAvgBytesPerSec(), +format.nAvgBytesPerSec);
        EXPECT_NE(ReadCloseFile(), 0);
    }
}

TEST(WavReader, ASixteenByteFormatChunkLeavesNoStrayExtraSize)
{
    WAVEFORMATEX format{};
    format.cbSize = 0x5555;
    ASSERT_TRUE(
        ReadOpenWaveFile(testsupport::fixture("speech-44100-16-stereo.wav").c_str(), &format));
    EXPECT_EQ(+format.cbSize, 0);
    EXPECT_EQ(+format.nBlockAlign, 4);
    ReadCloseFile();
}

TEST(WavReader, PlaysTheDataChunkOnlyNotTheChunksAfterIt)
{
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    const auto sound = samples(4000);
    std::vector<uint8_t> chunks;
    putChunk(chunks, "fmt ", formatBytes(format), 16);
    putChunk(chunks, "data", sound, 4000);
    putChunk(chunks, "LIST", {'I', 'N', 'F', 'O', 'I', 'A', 'R', 'T', 2, 0, 0, 0, 'x', 0}, 14);
    putChunk(chunks, "id3 ", std::vector<uint8_t>(100, 0xEE), 100);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "tail.wav", riffWave(chunks));

    WAVEFORMATEX read{};
    ASSERT_TRUE(ReadOpenWaveFile((dir / "tail.wav").c_str(), &read));
    EXPECT_EQ(GetDataSize(), 4000u);
    EXPECT_EQ(playAll(0, 1024), sound);
    // Another playback from a position, then the end again.
    auto rest = playAll(1001, 333);
    EXPECT_EQ(rest, std::vector<uint8_t>(sound.begin() + 1000, sound.end()));
    std::vector<uint8_t> buffer(64);
    FillRequest atEnd{buffer.data(), 64, 0};
    FillWaveDataCallBackProc(&atEnd, 0);
    EXPECT_EQ(atEnd.length, 0u);
    ReadCloseFile();
}

TEST(WavReader, PlayStartLandsOnAWholeSampleFrame)
{
    testsupport::TempDir dir;
    auto path = (dir / "own.wav").string();
    ASSERT_TRUE(WriteOpenWaveFile(path.c_str(), pcmFormat(2, 44100, 16)));
    auto sound = samples(8000);
    ASSERT_TRUE(writeBlock(sound.data(), 8000));
    ASSERT_TRUE(WriteCloseFile());
    WAVEFORMATEX format{};
    ASSERT_TRUE(ReadOpenWaveFile(path.c_str(), &format));
    uint64_t offset = 1001;
    EXPECT_NE(WaveOutPlayStartCallBackProc(&offset, 0), 0);
    EXPECT_EQ(GetPosition(), 46u + 1000);
    EXPECT_EQ(GetRemain(), static_cast<int64_t>(GetDataSize()) - static_cast<int64_t>(1046));
    ReadCloseFile();

    // Behind a LIST chunk the data starts at 110.
    ASSERT_TRUE(
        ReadOpenWaveFile(testsupport::fixture("speech-with-list-chunk.wav").c_str(), &format));
    EXPECT_NE(WaveOutPlayStartCallBackProc(&offset, 0), 0);
    EXPECT_EQ(GetPosition(), 110u + 1000);
    ReadCloseFile();
}

TEST(WavReader, RefusesDamagedFormatsAndMissingChunksWithoutCrashing)
{
    const WAVEFORMATEX good = pcmFormat(2, 44100, 16);
    auto withFormat = [](WAVEFORMATEX f) {
        std::vector<uint8_t> chunks;
        putChunk(chunks, "fmt ", formatBytes(f), 16);
        putChunk(chunks, "data", std::vector<uint8_t>(400, 1), 400);
        return riffWave(chunks);
    };
    WAVEFORMATEX noChannels = good, noAlign = good, noRate = good;
    noChannels.nChannels = 0;
    noAlign.nBlockAlign = 0;
    noRate.nAvgBytesPerSec = 0;
    std::vector<uint8_t> formatPastEnd;
    putChunk(formatPastEnd, "fmt ", formatBytes(good), 0x7FFFFFF0);
    std::vector<uint8_t> noData;
    putChunk(noData, "fmt ", formatBytes(good), 16);
    putChunk(noData, "LIST", {'I', 'N', 'F', 'O'}, 4);
    std::vector<uint8_t> shortFormat;
    putChunk(shortFormat, "fmt ", {1, 0, 2, 0}, 4);
    putChunk(shortFormat, "data", {1, 2, 3, 4}, 4);

    const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"no channels", withFormat(noChannels)},
        {"no block alignment", withFormat(noAlign)},
        {"no byte rate", withFormat(noRate)},
        {"format past the end", riffWave(formatPastEnd)},
        {"no data chunk", riffWave(noData)},
        {"short format", riffWave(shortFormat)},
        {"not WAVE", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}},
    };
    testsupport::TempDir dir;
    for (const auto& [name, bytes] : files) {
        testsupport::writeFile(dir / "bad.wav", bytes);
        WAVEFORMATEX format{};
        EXPECT_FALSE(ReadOpenWaveFile((dir / "bad.wav").c_str(), &format)) << name;
    }
    // With nothing open, the procedures deliver nothing.
    std::vector<uint8_t> buffer(16);
    FillRequest request{buffer.data(), 16, 0};
    FillWaveDataCallBackProc(&request, 0);
    EXPECT_EQ(request.length, 0u);
}

TEST(WavReader, ADataSizeOfZeroOrPastTheEndPlaysToTheEndOfTheFile)
{
    const auto sound = samples(1200);
    testsupport::TempDir dir;
    for (uint32_t sizeField : {0u, 0x7FFFFFFFu}) {
        std::vector<uint8_t> chunks;
        putChunk(chunks, "fmt ", formatBytes(pcmFormat(1, 8000, 16)), 16);
        chunks.insert(chunks.end(), {'d', 'a', 't', 'a'});
        for (int b = 0; b < 4; ++b)
            chunks.push_back(static_cast<uint8_t>(sizeField >> (8 * b)));
        chunks.insert(chunks.end(), sound.begin(), sound.end());
        testsupport::writeFile(dir / "cut.wav", riffWave(chunks));
        WAVEFORMATEX format{};
        ASSERT_TRUE(ReadOpenWaveFile((dir / "cut.wav").c_str(), &format)) << sizeField;
        EXPECT_EQ(GetDataSize(), 1200u);
        EXPECT_EQ(playAll(), sound);
        ReadCloseFile();
    }
}
