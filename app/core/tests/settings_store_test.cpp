#include <gtest/gtest.h>

#include <QSettings>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "settings/settings_store.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(SettingsStore, MissingValuesReadAsTheCallersDefault)
{
    TempDir dir;
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", dir.path().string());
    EXPECT_EQ(store.readInt("nVOXONOFF", 3), 3);
    EXPECT_EQ(store.readString("sTimedTrackSplit", "60"), "60");
    EXPECT_EQ(store.readInt(settings::nMP3Format), 10);
    EXPECT_EQ(store.readString(settings::AutoSavePrefix), "Brevon");
    EXPECT_FALSE(fs::exists(dir / "Dravik.ini")) << "reading must not create the store";
}

TEST(SettingsStore, AWriteIsSeenAtOnceAndByAStoreOpenedLater)
{
    TempDir dir;
    auto path = (dir / "conf" / "Dravik.ini").string();
    {
        SettingsStore store(path, "1.0", dir.path().string());
        EXPECT_TRUE(store.writeInt("voxlevel", 42));
        EXPECT_TRUE(store.writeString("sWAVFormat", "44100 Hz, 16-bit, stereo"));
        EXPECT_EQ(store.readInt("voxlevel", 10), 42);
    }
    SettingsStore reopened(path, "1.0", dir.path().string());
    EXPECT_EQ(reopened.readInt("voxlevel", 10), 42);
    EXPECT_EQ(reopened.readString("sWAVFormat", ""), "44100 Hz, 16-bit, stereo");
    // Another version's section is another store.
    SettingsStore other(path, "2.0", dir.path().string());
    EXPECT_EQ(other.readInt("voxlevel", 10), 10);
}

TEST(SettingsStore, IntegersThatAreNotNumbersReadAsTheDefault)
{
    TempDir dir;
    auto path = dir / "Dravik.ini";
    writeText(path, "[1.0]\nEncode=abc\nvoxlevel= 17 \nuMxId=99999999999\nNumInst=12x\n"
                    "sWAVFormat=8000 Hz, 8-bit, mono\nSessionNum=-3\n");
    SettingsStore store(path.string(), "1.0", dir.path().string());
    EXPECT_EQ(store.readInt("Encode", 2), 2);
    EXPECT_EQ(store.readInt("voxlevel", 10), 17);
    EXPECT_EQ(store.readInt("uMxId", 0), 0);
    EXPECT_EQ(store.readInt("NumInst", 5), 5);
    EXPECT_EQ(store.readInt("SessionNum", 0), -3);
    // An unquoted text with commas is still one text.
    EXPECT_EQ(store.readString("sWAVFormat", ""), "8000 Hz, 8-bit, mono");
    // A text read as an integer by one reader and as a text by another.
    EXPECT_EQ(store.readString("Encode", ""), "abc");
}

TEST(SettingsStore, DamagedEmptyOrUnreadableFilesFallBackToDefaults)
{
    TempDir dir;
    for (const std::string& content :
         {std::string(), std::string("\x01\x02\xff\xfe[[[=\n\0\0garbage", 18),
          std::string("[1.0\nvoxlevel=\n")}) {
        auto path = dir / "Dravik.ini";
        writeText(path, content);
        SettingsStore store(path.string(), "1.0", dir.path().string());
        EXPECT_EQ(store.readInt("voxlevel", 10), 10);
        EXPECT_EQ(store.readString("TempFolder", "x"), "x");
    }
    if (getuid() != 0) {
        auto path = dir / "locked.ini";
        writeText(path, "[1.0]\nvoxlevel=55\n");
        fs::permissions(path, fs::perms::none);
        SettingsStore store(path.string(), "1.0", dir.path().string());
        EXPECT_EQ(store.readInt("voxlevel", 10), 10);
    }
}

TEST(SettingsStore, AWriteThatCannotReachTheDiskIsReportedAndWritesNothingElsewhere)
{
    TempDir dir;
    // The store's folder is a file: nothing can be created there.
    writeText(dir / "blocker", "");
    auto path = (dir / "blocker" / "Dravik.ini").string();
    SettingsStore store(path, "1.0", dir.path().string());
    EXPECT_FALSE(store.writeInt("voxlevel", 30));
    EXPECT_FALSE(store.lastError().empty());
    // The value still holds for this run.
    EXPECT_EQ(store.readInt("voxlevel", 10), 30);
    size_t entries = 0;
    for ([[maybe_unused]] auto& entry : fs::recursive_directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u) << "nothing may be written beside the store";
}

TEST(SettingsStore, AWriteToADamagedFileKeepsWhatCouldBeReadAndLeavesNoTemporaryFile)
{
    TempDir dir;
    auto path = dir / "Dravik.ini";
    writeText(path, "[2.0]\nkeep=1\n[1.0\nbroken");
    SettingsStore store(path.string(), "1.0", dir.path().string());
    EXPECT_TRUE(store.writeInt("voxlevel", 30)) << store.lastError();
    SettingsStore reopened(path.string(), "1.0", dir.path().string());
    EXPECT_EQ(reopened.readInt("voxlevel", 10), 30);
    SettingsStore other(path.string(), "2.0", dir.path().string());
    EXPECT_EQ(other.readInt("keep", 0), 1);
    // The file is replaced whole, never rewritten in place.
    size_t entries = 0;
    for ([[maybe_unused]] auto& entry : fs::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(SettingsStore, ConcurrentReadsAndWritesNeverTearOrLag)
{
    TempDir dir;
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", dir.path().string());
    // Values the writer sets always pair a number with its text, so a torn read shows.
    store.writeInt("nVOXONOFF", 0);
    store.writeString("VoxToleranceTime", "0");
    std::atomic<bool> done{false};
    std::atomic<int> lastWritten{0};
    std::atomic<long> reads{0};
    std::atomic<int> faults{0};
    std::thread reader([&] {
        while (!done) {
            int seenBefore = lastWritten.load();
            int value = store.readInt("nVOXONOFF", -1);
            std::string text = store.readString("VoxToleranceTime", "");
            // A value is never older than the last write completed before the read began.
            if (value < seenBefore)
                ++faults;
            if (text.empty() || std::stoi(text) < seenBefore)
                ++faults;
            for (int i = 0; i < 4; ++i)
                (void)store.readInt("voxlevel", 10);
            ++reads;
        }
    });
    for (int i = 1; i <= 200; ++i) {
        store.writeInt("nVOXONOFF", i);
        store.writeString("VoxToleranceTime", std::to_string(i));
        lastWritten = i;
    }
    done = true;
    reader.join();
    EXPECT_EQ(faults, 0);
    EXPECT_GT(reads, 0);
    SettingsStore reopened((dir / "Dravik.ini").string(), "1.0", dir.path().string());
    EXPECT_EQ(reopened.readInt("nVOXONOFF", -1), 200);
}

TEST(SettingsStore, InstallWritesTheDefaultsInOrderIntoAFreshSection)
{
    TempDir dir;
    auto path = dir / "Dravik.ini";
    writeText(path, "[0.9]\nvoxlevel=1\n[1.0]\nvoxlevel=77\nNumInst=5\n");
    SettingsStore store(path.string(), "1.0", "/home/user");
    ASSERT_TRUE(store.install(1920, 1050));
    EXPECT_EQ(store.readInt("voxlevel", 0), 10);
    EXPECT_EQ(store.readInt("NumInst", -1), -1) << "the old section is gone";
    EXPECT_EQ(store.readString("TempFolder", ""), "/home/user/Brevon/Temp");
    EXPECT_EQ(store.readString("SaveFolder", ""), "/home/user/Brevon/Dravik");
    EXPECT_EQ(store.readInt("XPos", 0), (1920 - 256) / 2);
    EXPECT_EQ(store.readInt("YPos", 0), (1050 - 182) / 2);
    EXPECT_EQ(store.readString("VoxToleranceTime", ""), "1.0");
    EXPECT_EQ(store.readInt("Encode", -1), 2);
    // The other version's section survives.
    SettingsStore older(path.string(), "0.9", "/home/user");
    EXPECT_EQ(older.readInt("voxlevel", 0), 1);

    QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
    file.beginGroup("1.0");
    QStringList written;
    for (const settings::Value* value : settings::installOrder())
        written << value->name;
    QStringList keys = file.childKeys();
    keys.sort();
    written.sort();
    EXPECT_EQ(keys, written) << "exactly the install defaults are written";
}

TEST(SettingsStore, InstallPositionTruncatesTowardsZeroOnASmallScreen)
{
    TempDir dir;
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", "/h");
    store.install(255, 181);
    EXPECT_EQ(store.readInt("XPos", 9), 0);
    EXPECT_EQ(store.readInt("YPos", 9), 0);
}

TEST(SettingsStore, UninstallRemovesTheSectionAndTheStoreOnlyWhenNothingElseIsLeft)
{
    TempDir dir;
    auto path = dir / "Dravik.ini";
    writeText(path, "[0.9]\nvoxlevel=1\n[1.0]\nvoxlevel=77\n");
    SettingsStore store(path.string(), "1.0", "/h");
    EXPECT_TRUE(store.uninstall());
    EXPECT_EQ(store.readInt("voxlevel", 10), 10);
    ASSERT_TRUE(fs::exists(path));
    SettingsStore older(path.string(), "0.9", "/h");
    EXPECT_TRUE(older.uninstall());
    EXPECT_FALSE(fs::exists(path));
}

TEST(SettingsStore, OverridesShadowTheStoreForTheRunAndAreNeverWritten)
{
    TempDir dir;
    auto path = (dir / "Dravik.ini").string();
    SettingsStore store(path, "1.0", dir.path().string());
    store.writeInt("voxlevel", 20);
    store.setOverride("voxlevel", "55");
    store.setOverride("TempFolder", "/elsewhere");
    EXPECT_EQ(store.readInt("voxlevel", 10), 55);
    EXPECT_EQ(store.readString("TempFolder", ""), "/elsewhere");
    EXPECT_TRUE(store.writeInt("voxlevel", 60));
    EXPECT_EQ(store.readInt("voxlevel", 10), 55);
    SettingsStore reopened(path, "1.0", dir.path().string());
    EXPECT_EQ(reopened.readInt("voxlevel", 10), 20);
    EXPECT_EQ(reopened.readString("TempFolder", "none"), "none");
}
