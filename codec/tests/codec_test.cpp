#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "BrevonCodec.h"
#include "testsupport/testsupport.h"

namespace {

// A file descriptor that closes itself; the conversion is cleaned up with it.
struct OpenFile {
    explicit OpenFile(const std::filesystem::path& path)
        : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
    }
    ~OpenFile()
    {
        CleanUpAcmFileConvert();
        if (fd >= 0)
            close(fd);
    }
    int fd;
};

struct SetUp {
    bool ok = false;
    uint32_t chunk = 0;
    uint32_t pcmChunk = 0;
    WAVEFORMATEX pcm{};
};

SetUp setUp(int fd, uint32_t chunksPerSecond = 11)
{
    SetUp s;
    s.chunk = chunksPerSecond;
    s.ok = AcmFileConvert(fd, &s.chunk, &s.pcm, &s.pcmChunk);
    return s;
}

std::filesystem::path headerFile(const testsupport::TempDir& dir, std::vector<uint8_t> prefix,
                                 std::vector<uint8_t> header)
{
    prefix.insert(prefix.end(), header.begin(), header.end());
    prefix.resize(prefix.size() + 2000, 0);
    testsupport::writeFile(dir / "h.mp3", prefix);
    return dir / "h.mp3";
}

// Decodes the whole file chunk by chunk as the file library does, then drains the decoder.
size_t decodedBytes(int fd, const SetUp& s)
{
    std::vector<uint8_t> compressed(s.chunk);
    std::vector<uint8_t> pcm(s.pcmChunk);
    size_t total = 0;
    for (;;) {
        ssize_t n = read(fd, compressed.data(), compressed.size());
        uint32_t delivered = 0;
        Decompress(n > 0 ? compressed.data() : nullptr, n > 0 ? static_cast<uint32_t>(n) : 0,
                   pcm.data(), &delivered);
        EXPECT_LE(delivered, s.pcmChunk);
        total += delivered;
        if (n <= 0 && delivered == 0)
            return total;
    }
}

} // namespace

TEST(Codec, SetsUpFromTheFirstFrameHeader)
{
    testsupport::TempDir dir;
    OpenFile file(headerFile(dir, {}, {0xFF, 0xFB, 0x90, 0x44}));
    auto s = setUp(file.fd);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(g_nMP3BitRate, 128000);
    EXPECT_EQ(g_nMP3Channels, 2);
    EXPECT_EQ(s.chunk, 1454u);
    EXPECT_EQ(+s.pcm.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(+s.pcm.nChannels, 2);
    EXPECT_EQ(+s.pcm.nSamplesPerSec, 44100u);
    EXPECT_EQ(+s.pcm.wBitsPerSample, 16);
    EXPECT_GE(s.pcmChunk, 4u * 4608); // room for the frames a chunk can complete
    EXPECT_EQ(GetAvgBytesPerSecOfCompressedBuffer(), 16000u);
    EXPECT_EQ(GetAvgBytesPerSecOfDecompressedBuffer(), 16000u);
    EXPECT_EQ(lseek(file.fd, 0, SEEK_CUR), 0);
}

TEST(Codec, ChunksPerSecondOutOfRangeUseEighteen)
{
    testsupport::TempDir dir;
    OpenFile file(headerFile(dir, {}, {0xFF, 0xFB, 0x90, 0x44}));
    EXPECT_EQ(setUp(file.fd, 0).chunk, 16000u / 18);
    EXPECT_EQ(setUp(file.fd, 33).chunk, 16000u / 18);
    EXPECT_EQ(setUp(file.fd, 32).chunk, 16000u / 32);
    EXPECT_EQ(setUp(file.fd, 1).chunk, 16000u);
}

TEST(Codec, JunkBeforeTheFrameIsSkippedAndTheFileLeftAtTheFrame)
{
    testsupport::TempDir dir;
    OpenFile file(headerFile(dir, {1, 2, 0xFF, 0x10, 0xFF, 0xFF, 0xF3}, // FF FF is a sync pair
                             {0x80, 0xC4, 0x00}));
    auto s = setUp(file.fd);
    // FF FF F3 is taken as the frame, and FF FF reads as Layer I: refused, as a byte search does.
    EXPECT_FALSE(s.ok);

    OpenFile second(headerFile(dir, {1, 2, 0xFF, 0x10, 0x00}, {0xFF, 0xF3, 0x80, 0xC4}));
    s = setUp(second.fd);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(lseek(second.fd, 0, SEEK_CUR), 5);
    EXPECT_EQ(+s.pcm.nSamplesPerSec, 22050u);
    EXPECT_EQ(+s.pcm.nChannels, 1);
    EXPECT_EQ(g_nMP3BitRate, 64000);
}

TEST(Codec, RefusesFilesWithoutAUsableLayerThreeFrame)
{
    testsupport::TempDir dir;
    const std::vector<std::vector<uint8_t>> headers = {
        {0xFF, 0xEB, 0x90, 0x44}, {0xFF, 0xFD, 0x90, 0x44}, {0xFF, 0xFB, 0x00, 0x44},
        {0xFF, 0xFB, 0xF0, 0x44}, {0xFF, 0xFB, 0x9C, 0x44}, {0x00, 0x10, 0x20, 0x30}};
    for (const auto& header : headers) {
        OpenFile file(headerFile(dir, {}, header));
        auto s = setUp(file.fd);
        EXPECT_FALSE(s.ok) << std::hex << int(header[1]) << " " << int(header[2]);
    }
    testsupport::writeFile(dir / "cut.mp3", {0, 0, 0xFF, 0xFB, 0x90}); // header cut short
    OpenFile cut(dir / "cut.mp3");
    EXPECT_FALSE(setUp(cut.fd).ok);
    OpenFile none(dir / "missing.mp3");
    EXPECT_FALSE(setUp(none.fd).ok);
    // Clean-up after a failure, twice, is harmless.
    CleanUpAcmFileConvert();
    CleanUpAcmFileConvert();
}

TEST(Codec, FixturesSetUpWithTheirFormatsAndDecodeToTheirLength)
{
    struct Case {
        const char* name;
        int rate, channels, bitRate;
        uint32_t chunk;
        size_t frames; // sample frames of the file's duration
        size_t frameSamples;
    } cases[] = {
        {"speech-mpeg1-128k-joint.mp3", 44100, 2, 128000, 1454, 1024472, 1152},
        {"speech-mpeg1-48k-mono.mp3", 44100, 1, 48000, 545, 258048, 1152},
        {"speech-mpeg2-64k-22050.mp3", 22050, 1, 64000, 727, 128059, 576},
        {"speech-mpeg25-8k-8000.mp3", 8000, 1, 8000, 90, 47808, 576},
        {"speech-vbr-xing.mp3", 44100, 2, 128000, 1454, 1024472, 1152},
        {"speech-id3v2.mp3", 44100, 2, 128000, 1454, 1024472, 1152},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenFile file(testsupport::fixture(c.name));
        auto s = setUp(file.fd);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(+s.pcm.nSamplesPerSec, static_cast<uint32_t>(c.rate));
        EXPECT_EQ(+s.pcm.nChannels, c.channels);
        EXPECT_EQ(g_nMP3BitRate, c.bitRate);
        EXPECT_EQ(s.chunk, c.chunk);
        size_t frames = decodedBytes(file.fd, s) / s.pcm.nBlockAlign;
        EXPECT_NEAR(static_cast<double>(frames), static_cast<double>(c.frames),
                    static_cast<double>(c.frameSamples));
    }
}

TEST(Codec, LayerTwoAndRandomBytesAreRefused)
{
    for (const char* name :
         {"speech-layer2.mp2", "speech-layer2-named.mp3", "damaged-random.mp3"}) {
        OpenFile file(testsupport::fixture(name));
        EXPECT_FALSE(setUp(file.fd).ok) << name;
    }
}
