#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "mpeg_header.h"
#include "testsupport/testsupport.h"

using codec::parseHeader;

namespace {

// The search as a byte-at-a-time reader does it: back one byte after a 0xFF that is not
// followed by a sync byte, so that byte is examined again.
int64_t referenceSearch(const std::vector<uint8_t>& bytes, size_t start)
{
    size_t i = start;
    while (i < bytes.size()) {
        uint8_t b = bytes[i++];
        if (b != 0xFF)
            continue;
        if (i >= bytes.size())
            return -1;
        if (bytes[i++] >= 0xE0)
            return static_cast<int64_t>(i - 2);
        --i;
    }
    return -1;
}

int openFile(const std::filesystem::path& path)
{
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

} // namespace

TEST(MpegHeader, SampleRateComesFromTheWholeSamplingField)
{
    struct Case {
        uint8_t b1, b2, b3;
        int kbps, rate, channels;
    } cases[] = {
        {0xFB, 0x90, 0x44, 128, 44100, 2}, // MPEG-1, joint stereo
        {0xFB, 0x70, 0x44, 96, 44100, 2},  // 96 kbit/s is still 44100 Hz
        {0xFB, 0x94, 0xC4, 128, 48000, 1},
        {0xFB, 0x98, 0x00, 128, 32000, 2},
        {0xF3, 0x80, 0xC4, 64, 22050, 1}, // MPEG-2
        {0xF3, 0x48, 0xC4, 32, 16000, 1}, // 32 kbit/s is still 16000 Hz
        {0xF3, 0x84, 0x80, 64, 24000, 2}, // dual channel counts as 2
        {0xE3, 0x18, 0xC4, 8, 8000, 1},   // MPEG-2.5
        {0xE3, 0x10, 0x00, 8, 11025, 2},
        {0xE2, 0x14, 0x00, 8, 12000, 2}, // the protection bit does not matter
    };
    for (const auto& c : cases) {
        const uint8_t bytes[4] = {0xFF, c.b1, c.b2, c.b3};
        auto header = parseHeader(bytes);
        ASSERT_TRUE(header) << std::hex << int(c.b1) << " " << int(c.b2);
        EXPECT_EQ(header->kbps, c.kbps) << std::hex << int(c.b2);
        EXPECT_EQ(header->sampleRate, c.rate) << std::hex << int(c.b2);
        EXPECT_EQ(header->channels, c.channels);
    }
}

TEST(MpegHeader, RefusesReservedVersionOtherLayersAndUnusableRates)
{
    const uint8_t refused[][4] = {
        {0xFF, 0xEB, 0x90, 0x44}, // reserved version
        {0xFF, 0xFD, 0x90, 0x44}, // Layer II
        {0xFF, 0xFF, 0x90, 0x44}, // Layer I
        {0xFF, 0xF9, 0x90, 0x44}, // reserved layer
        {0xFF, 0xFB, 0x00, 0x44}, // free format
        {0xFF, 0xFB, 0xF0, 0x44}, // bad bit-rate index
        {0xFF, 0xFB, 0x9C, 0x44}, // reserved sampling frequency
    };
    for (const auto& bytes : refused)
        EXPECT_FALSE(parseHeader(bytes)) << std::hex << int(bytes[1]) << " " << int(bytes[2]);
}

TEST(MpegHeader, BlockSearchFindsWhatAByteSearchFinds)
{
    testsupport::TempDir dir;
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        // Mostly 0xFF and small values, so that near misses and block edges are frequent.
        std::vector<uint8_t> bytes(9000 + random() % 4000);
        for (auto& b : bytes)
            b = random() % 8 == 0 ? 0xFF : static_cast<uint8_t>(random() % 0xE0);
        size_t syncAt = random() % (bytes.size() - 1);
        if (round % 3 == 0)
            syncAt = 4095; // the pair straddles the first block edge
        if (round % 3 != 2) {
            bytes[syncAt] = 0xFF;
            bytes[syncAt + 1] = static_cast<uint8_t>(0xE0 + random() % 32);
        }
        testsupport::writeFile(dir / "search.bin", bytes);
        int fd = openFile(dir / "search.bin");
        ASSERT_GE(fd, 0);
        size_t start = round % 4 == 0 ? 0 : random() % 100;
        EXPECT_EQ(codec::findFrameSync(fd, static_cast<int64_t>(start)),
                  referenceSearch(bytes, start))
            << "round " << round;
        close(fd);
    }
}

TEST(MpegHeader, Id3v2TagLengthIsReadFromItsSyncSafeSize)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "tag.bin", {'I', 'D', '3', 3, 0, 0, 0, 0, 0x02, 0x01, 0xFF});
    int fd = openFile(dir / "tag.bin");
    EXPECT_EQ(codec::id3v2TagLength(fd), 10 + 257);
    close(fd);
    testsupport::writeFile(dir / "footer.bin", {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 0x10});
    fd = openFile(dir / "footer.bin");
    EXPECT_EQ(codec::id3v2TagLength(fd), 10 + 16 + 10);
    close(fd);
    testsupport::writeFile(dir / "none.bin", {'I', 'D', '3', 3, 0, 0, 0x80, 0, 0, 0});
    fd = openFile(dir / "none.bin");
    EXPECT_EQ(codec::id3v2TagLength(fd), 0);
    close(fd);
}
