#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "mpeg_header.h"
#include "testsupport/testsupport.h"

using codec::parseHeader;

namespace {

// Filler that holds no sync: 0xFF is frequent, so near misses are everywhere, but it is never
// followed by a byte of 0xE0 or more. A search over it finds only what a test plants.
std::vector<uint8_t> syncFree(size_t size, std::mt19937& random)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        const bool afterFF = i > 0 && bytes[i - 1] == 0xFF;
        bytes[i] = !afterFF && random() % 6 == 0 ? 0xFF : static_cast<uint8_t>(random() % 0xE0);
    }
    return bytes;
}

// Puts a sync pair (0xFF, then 0xE0 or more) at `at`, not preceded by another 0xFF.
void plantSync(std::vector<uint8_t>& bytes, size_t at, std::mt19937& random)
{
    if (at > 0 && bytes[at - 1] == 0xFF)
        bytes[at - 1] = 0;
    bytes[at] = 0xFF;
    bytes[at + 1] = static_cast<uint8_t>(0xE0 + random() % 32);
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

TEST(MpegHeader, BlockSearchFindsTheSyncWhereverItLies)
{
    // The search reads 4096-byte blocks from its start, so the block edge lies at start + 4096.
    struct Case {
        const char* what;
        size_t size;
        int64_t start;
        int64_t plantedAt; // -1: nothing planted
    } cases[] = {
        {"straddling the first block edge", 9000, 0, 4095},
        {"straddling the edge of a search that starts late", 9000, 37, 37 + 4095},
        {"straddling the second block edge", 9000, 0, 2 * 4096 - 1},
        {"at the last possible byte", 9001, 0, 9001 - 2},
        {"at the last possible byte of a file of whole blocks", 8192, 0, 8192 - 2},
        {"straddling the edge of a file one byte past it", 4097, 0, 4095},
        {"at the start", 9000, 0, 0},
        {"at the first byte searched", 9000, 100, 100},
        {"nowhere", 9000, 0, -1},
    };
    testsupport::TempDir dir;
    std::mt19937 random(7);
    for (const auto& c : cases) {
        auto bytes = syncFree(c.size, random);
        if (c.plantedAt >= 0)
            plantSync(bytes, static_cast<size_t>(c.plantedAt), random);
        testsupport::writeFile(dir / "search.bin", bytes);
        int fd = openFile(dir / "search.bin");
        ASSERT_GE(fd, 0);
        EXPECT_EQ(codec::findFrameSync(fd, c.start), c.plantedAt) << c.what;
        close(fd);
    }
}

TEST(MpegHeader, BlockSearchIgnoresNearMissesAndWhatLiesBeforeItsStart)
{
    testsupport::TempDir dir;
    std::mt19937 random(11);
    auto search = [&](const std::vector<uint8_t>& bytes, int64_t start) {
        testsupport::writeFile(dir / "search.bin", bytes);
        int fd = openFile(dir / "search.bin");
        int64_t found = codec::findFrameSync(fd, start);
        close(fd);
        return found;
    };
    // A 0xFF at the end of the first block that the next block's first byte does not complete.
    auto bytes = syncFree(9000, random);
    bytes[4094] = 0;
    bytes[4095] = 0xFF;
    bytes[4096] = 0x10;
    plantSync(bytes, 6000, random);
    EXPECT_EQ(search(bytes, 0), 6000);
    // A lone 0xFF as the file's last byte is no sync.
    bytes = syncFree(5000, random);
    bytes[4998] = 0;
    bytes[4999] = 0xFF;
    EXPECT_EQ(search(bytes, 0), -1);
    // A sync that begins one byte before the start is not found.
    bytes = syncFree(9000, random);
    plantSync(bytes, 4000, random);
    EXPECT_EQ(search(bytes, 4001), -1);
    EXPECT_EQ(search(bytes, 4000), 4000);
    // Past the end of the file.
    EXPECT_EQ(search(bytes, 9000), -1);
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
