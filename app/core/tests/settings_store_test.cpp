#include <gtest/gtest.h>

#include <QSettings>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
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

namespace {

std::string readText(const fs::path& path)
{
    auto bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body in a child process (a second copy of the program as far as the store can tell)
// and waits for it; true when the child ended with status 0.
template <typename Body> bool inAnotherProcess(Body body)
{
    pid_t child = fork();
    if (child == 0)
        _exit(body() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

TEST(SettingsStore, ALinkIsFollowedAndItsTargetReplacedInItsOwnFolder)
{
    TempDir dir;
    fs::create_directories(dir / "conf");
    fs::create_directories(dir / "data");
    writeText(dir / "data" / "real.ini", "; kept\n[0.9]\nvoxlevel=1\n[1.0]\nvoxlevel=5\n");
    fs::permissions(dir / "data" / "real.ini", fs::perms(0640));
    fs::create_symlink("../data/real.ini", dir / "conf" / "Dravik.ini");
    SettingsStore store((dir / "conf" / "Dravik.ini").string(), "1.0", dir.path().string());
    EXPECT_EQ(store.readInt("voxlevel", 0), 5);
    EXPECT_TRUE(store.writeInt("voxlevel", 40)) << store.lastError();
    EXPECT_TRUE(store.saveProblem().empty());

    ASSERT_TRUE(fs::is_symlink(dir / "conf" / "Dravik.ini")) << "the link is kept";
    EXPECT_EQ(fs::read_symlink(dir / "conf" / "Dravik.ini"), "../data/real.ini");
    EXPECT_EQ(readText(dir / "data" / "real.ini"),
              "; kept\n[0.9]\nvoxlevel=1\n[1.0]\nvoxlevel=40\n");
    EXPECT_EQ(fs::status(dir / "data" / "real.ini").permissions(), fs::perms(0640));
    EXPECT_EQ(entriesOf(dir / "conf"), std::vector<std::string>{"Dravik.ini"});
    EXPECT_EQ(entriesOf(dir / "data"), std::vector<std::string>{"real.ini"});
}

TEST(SettingsStore, ADeviceAFifoOrAFolderIsNeverReplacedAndTheProblemIsToldOnce)
{
    TempDir dir;
    ASSERT_EQ(mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0666), 0);
    fs::create_directories(dir / "folder.ini");
    fs::create_symlink(dir / "null", dir / "link.ini");
    for (const char* name : {"link.ini", "fifo", "folder.ini"}) {
        SCOPED_TRACE(name);
        SettingsStore store((dir / name).string(), "1.0", dir.path().string());
        // The problem is known before anything is written, so the program can say so at once.
        EXPECT_NE(store.saveProblem(), "");
        int told = 0;
        store.onSaveProblem([&](const std::string& problem) {
            ++told;
            EXPECT_NE(problem.find("cannot be saved"), std::string::npos) << problem;
        });
        EXPECT_EQ(store.readInt("voxlevel", 10), 10);
        EXPECT_FALSE(store.writeInt("voxlevel", 70));
        EXPECT_EQ(store.claimNext("SessionNum", 0), 1);
        EXPECT_EQ(store.claimNext("SessionNum", 0), 2);
        EXPECT_EQ(store.readInt("voxlevel", 10), 70) << "the run goes on with its own values";
        EXPECT_EQ(told, 1);
    }
    struct stat info {};
    ASSERT_EQ(stat((dir / "null").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_empty(dir / "folder.ini"));
    EXPECT_EQ(entriesOf(dir.path()),
              (std::vector<std::string>{"fifo", "folder.ini", "link.ini", "null"}));
}

TEST(SettingsStore, AReadOnlyFileIsReadButNeverReplaced)
{
    TempDir dir;
    auto path = dir / "Dravik.ini";
    writeText(path, "[1.0]\nvoxlevel=33\n");
    fs::permissions(path, fs::perms(0444));
    struct stat before {};
    stat(path.c_str(), &before);
    SettingsStore store(path.string(), "1.0", dir.path().string());
    EXPECT_EQ(store.readInt("voxlevel", 10), 33);
    EXPECT_NE(store.saveProblem().find("read-only"), std::string::npos) << store.saveProblem();
    EXPECT_FALSE(store.writeInt("voxlevel", 44));
    EXPECT_EQ(store.readInt("voxlevel", 10), 44);
    struct stat after {};
    stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(readText(path), "[1.0]\nvoxlevel=33\n");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"Dravik.ini"});
}

TEST(SettingsStore, ChangesOfAnotherProcessAreSeenAndSurviveThisProcessesWrites)
{
    TempDir dir;
    auto path = (dir / "Dravik.ini").string();
    SettingsStore store(path, "1.0", dir.path().string());
    store.setChangeCheckInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(store.writeInt("voxlevel", 20));
    ASSERT_TRUE(inAnotherProcess([&] {
        SettingsStore other(path, "1.0", dir.path().string());
        return other.readInt("voxlevel", 0) == 20 && other.writeInt("nVOXONOFF", 1) &&
               other.writeString("SaveFolder", "/elsewhere");
    }));
    EXPECT_EQ(store.readInt("nVOXONOFF", 0), 1);
    EXPECT_EQ(store.readString("SaveFolder", ""), "/elsewhere");
    ASSERT_TRUE(store.writeInt("voxlevel", 30));
    // A hand edit in place while the program runs.
    std::ofstream(path, std::ios::app) << "nAutoStart=1\n";
    EXPECT_EQ(store.readInt("nAutoStart", 0), 1);
    ASSERT_TRUE(store.writeInt("Encode", 1));

    SettingsStore reopened(path, "1.0", dir.path().string());
    EXPECT_EQ(reopened.readInt("voxlevel", 0), 30);
    EXPECT_EQ(reopened.readInt("nVOXONOFF", 0), 1);
    EXPECT_EQ(reopened.readString("SaveFolder", ""), "/elsewhere");
    EXPECT_EQ(reopened.readInt("nAutoStart", 0), 1);
    EXPECT_EQ(reopened.readInt("Encode", 0), 1);
}

TEST(SettingsStore, ProcessesClaimingACounterTogetherNeverGetTheSameNumber)
{
    TempDir dir;
    auto path = (dir / "Dravik.ini").string();
    constexpr int kClaims = 40;
    constexpr int kProcesses = 3;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t child = fork();
        if (child == 0) {
            SettingsStore store(path, "1.0", dir.path().string());
            std::ofstream out(dir / ("claims" + std::to_string(p)));
            for (int i = 0; i < kClaims; ++i)
                out << store.claimNext("SessionNum", 0) << "\n";
            out.close();
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children)
        waitpid(child, nullptr, 0);
    std::set<int> claimed;
    for (int p = 0; p < kProcesses; ++p) {
        std::ifstream in(dir / ("claims" + std::to_string(p)));
        for (int number; in >> number;)
            claimed.insert(number);
    }
    EXPECT_EQ(claimed.size(), size_t(kClaims * kProcesses)) << "every number claimed once";
    EXPECT_EQ(*claimed.begin(), 1);
    EXPECT_EQ(*claimed.rbegin(), kClaims * kProcesses);

    // The count wraps to 1, never to a negative session.
    SettingsStore store(path, "1.0", dir.path().string());
    store.writeInt("SessionNum", INT_MAX);
    EXPECT_EQ(store.claimNext("SessionNum", 0), 1);
    store.writeInt("SessionNum", -7);
    EXPECT_EQ(store.claimNext("SessionNum", 0), 1);
}
