// Recovery's look at a temporary folder beyond what killed recordings leave (those are tested
// through dravik-cli and the window): a FLAC take whose STREAMINFO was never completed, cut off
// mid-frame; and the files a scan must never touch.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "BrevonWMA.h"
#include "take_recovery.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

TEST(TakeRecovery, AFlacTakeCutOffMidFrameGetsItsSampleCountFromItsWholeFrames)
{
    testsupport::TempDir dir;
    std::vector<uint8_t> bytes = testsupport::readFile(testsupport::fixture("speech.flac"));
    ASSERT_GT(bytes.size(), 4000u);
    // As the writer leaves it until its close: no sample count, no signature; and the last
    // frame half written.
    bytes[8 + 13] &= 0xF0;
    std::fill(bytes.begin() + 8 + 14, bytes.begin() + 8 + 34, 0);
    bytes.resize(bytes.size() - 1500);
    const fs::path take = dir / "tmp0004.flac";
    testsupport::writeFile(take, bytes);

    takerecovery::ScanOptions options;
    options.measure = false;
    takerecovery::Found found = takerecovery::scan(dir.path().string(), "", options);
    ASSERT_EQ(found.takes.size(), 1u);
    const takerecovery::Take& mended = found.takes[0];
    EXPECT_EQ(mended.encoding, "FLAC");
    EXPECT_TRUE(mended.repaired);
    EXPECT_LT(fs::file_size(take), bytes.size());
    found.takes.clear();

    // The reader now knows the length, and it is what the file holds: 44100 Hz, 256118 samples
    // whole, less the frame or two cut off.
    WMAReaderCreate();
    ASSERT_EQ(WMAReaderOpen(take.c_str()), 0);
    const uint64_t duration = WMAReaderm_cnsFileDuration();
    WMAReaderClose();
    WMAReaderDelete();
    EXPECT_EQ(static_cast<int64_t>(duration / 100000), mended.hundredths);
    EXPECT_GT(duration, 50'000'000u);
    EXPECT_LT(duration, 256118ull * 10'000'000 / 44100);
}

TEST(TakeRecovery, LinksAndOtherNamesAreNeverTouchedAndEmptyTakesGo)
{
    testsupport::TempDir dir;
    const fs::path outside = dir / "outside";
    fs::create_directories(outside);
    testsupport::writeFile(outside / "precious.wav", {});
    fs::create_directories(dir / "Temp");
    const fs::path temp = dir / "Temp";
    // A link named as a take, to an empty file elsewhere, is neither followed nor removed.
    fs::create_symlink(outside / "precious.wav", temp / "tmp0001.wav");
    testsupport::writeFile(temp / "notes.wav", {});
    testsupport::writeFile(temp / "tmp01.wav", {});
    testsupport::writeFile(temp / "tmp0002.wav", {});
    // An empty file just made may be a recorder's that is not locked yet: it stays for now.
    testsupport::writeFile(temp / "tmp0004.wma", {});
    const timespec old[2] = {{time(nullptr) - 60, 0}, {time(nullptr) - 60, 0}};
    utimensat(AT_FDCWD, (temp / "tmp0002.wav").c_str(), old, 0);
    fs::create_directories(temp / "tmp0003.mp3");

    takerecovery::Found found = takerecovery::scan(temp.string(), "");
    EXPECT_TRUE(found.takes.empty());
    EXPECT_EQ(found.removed, std::vector<std::string>{(temp / "tmp0002.wav").string()});
    EXPECT_TRUE(fs::exists(outside / "precious.wav"));
    EXPECT_TRUE(fs::is_symlink(temp / "tmp0001.wav"));
    EXPECT_TRUE(fs::exists(temp / "notes.wav"));
    EXPECT_TRUE(fs::exists(temp / "tmp01.wav"));
    EXPECT_TRUE(fs::is_directory(temp / "tmp0003.mp3"));
    EXPECT_TRUE(fs::exists(temp / "tmp0004.wma"));
}
