#include <gtest/gtest.h>

#include <cstring>

#include "platform/mmio.h"
#include "testsupport/testsupport.h"

using namespace platform;

namespace {

uint32_t wordAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

void appendChunk(std::vector<uint8_t>& out, const char* id, std::vector<uint8_t> data,
                 uint32_t sizeField)
{
    out.insert(out.end(), id, id + 4);
    for (int b = 0; b < 4; ++b)
        out.push_back(static_cast<uint8_t>(sizeField >> (8 * b)));
    out.insert(out.end(), data.begin(), data.end());
}

} // namespace

TEST(Mmio, AscendingWritesSizesAndThePadByteAfterOddData)
{
    testsupport::TempDir dir;
    auto path = (dir / "a.riff").string();
    HMMIO file = mmioOpen(path.c_str(), MMIO_CREATE | MMIO_WRITE | MMIO_EXCLUSIVE);
    ASSERT_NE(file, nullptr);
    MMCKINFO riff;
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioCreateChunk(file, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
    MMCKINFO data;
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioCreateChunk(file, &data, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(data.dwDataOffset, 20u);
    const char payload[] = "abcde";
    ASSERT_EQ(mmioWrite(file, payload, 5), 5);
    // A size refreshed mid-way is visible in the header while the chunk is still open.
    ASSERT_EQ(mmioUpdateChunkSize(file, &data), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioSeek(file, 0, MMIO_SEEK_CUR), 25);
    EXPECT_EQ(wordAt(testsupport::readFile(path), 16), 5u);
    ASSERT_EQ(mmioAscend(file, &data, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(file, &riff, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioClose(file), MMSYSERR_NOERROR);

    auto bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 26u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(wordAt(bytes, 4), 18u); // form type + data header + 5 bytes + pad
    EXPECT_EQ(wordAt(bytes, 16), 5u);
    EXPECT_EQ(bytes[25], 0);
}

TEST(Mmio, FindsChunksPastOthersAndStaysInsideTheParent)
{
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    appendChunk(body, "LIST", {'I', 'N', 'F', 'O', 1, 2, 3}, 7);
    body.push_back(0); // pad of the odd LIST chunk
    appendChunk(body, "data", {9, 8, 7, 6}, 4);
    std::vector<uint8_t> file;
    appendChunk(file, "RIFF", body, static_cast<uint32_t>(body.size()));
    appendChunk(file, "junk", {1, 2}, 2); // outside the RIFF chunk
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "b.riff", file);

    HMMIO h = mmioOpen((dir / "b.riff").c_str(), MMIO_READ);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff;
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    MMCKINFO data;
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioDescend(h, &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(data.cksize, 4u);
    uint8_t read[4] = {};
    EXPECT_EQ(mmioRead(h, read, 4), 4);
    EXPECT_EQ(read[0], 9);
    EXPECT_EQ(read[3], 6);

    ASSERT_EQ(mmioSeek(h, 12, MMIO_SEEK_SET), 12);
    MMCKINFO junk;
    junk.ckid = mmioFOURCC('j', 'u', 'n', 'k');
    EXPECT_EQ(mmioDescend(h, &junk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    mmioClose(h);
}

TEST(Mmio, DamagedSizesEndTheSearchWithoutLooping)
{
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    appendChunk(body, "fmt ", {1, 2, 3, 4}, 0xFFFFFFF0u); // runs far past the end of the file
    appendChunk(body, "data", {1, 2}, 2);
    std::vector<uint8_t> file;
    appendChunk(file, "RIFF", body, 0xFFFFFFFFu);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "c.riff", file);

    HMMIO h = mmioOpen((dir / "c.riff").c_str(), MMIO_READ);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff;
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    MMCKINFO data;
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    EXPECT_EQ(mmioDescend(h, &data, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    mmioClose(h);

    testsupport::writeFile(dir / "short.riff", {'R', 'I', 'F', 'F', 4, 0});
    h = mmioOpen((dir / "short.riff").c_str(), MMIO_READ);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);
    mmioClose(h);
}

TEST(Mmio, AFailedWriteLeavesPositionAndLengthAsTheyWere)
{
    testsupport::TempDir dir;
    auto path = (dir / "full.bin").string();
    HMMIO h = mmioOpen(path.c_str(), MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> block(600, 0x55);
    {
        testsupport::FileSizeLimit limit(1000);
        EXPECT_EQ(mmioWrite(h, block.data(), 600), 600);
        EXPECT_EQ(mmioWrite(h, block.data(), 600), -1);
    }
    EXPECT_EQ(mmioSeek(h, 0, MMIO_SEEK_CUR), 600);
    EXPECT_EQ(mmioSeek(h, 0, MMIO_SEEK_END), 600);
    mmioClose(h);
    EXPECT_EQ(testsupport::readFile(path).size(), 600u);

    EXPECT_EQ(mmioOpen((dir / "no" / "such" / "folder.bin").c_str(), MMIO_CREATE | MMIO_WRITE),
              nullptr);
}
