#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "take_files.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;
using namespace takefiles;
using testsupport::TempDir;

TEST(TakeFiles, TemporaryNamesAreNumberedModulo10000WithTheEncodingsExtension)
{
    EXPECT_EQ(temporaryName(1, 2), "tmp0001.wav");
    EXPECT_EQ(temporaryName(9999, 1), "tmp9999.mp3");
    EXPECT_EQ(temporaryName(10000, 0), "tmp0000.wma");
    EXPECT_EQ(temporaryName(12345, 7), "tmp2345.wav");
    EXPECT_EQ(temporaryName(-3, 2), "tmp9997.wav");
}

TEST(TakeFiles, AutoSaveSuffixesByMode)
{
    std::tm start{};
    start.tm_year = 105;
    start.tm_mon = 0;
    start.tm_mday = 31;
    start.tm_hour = 9;
    start.tm_min = 40;
    start.tm_sec = 44;
    EXPECT_EQ(autoSaveSuffix(1, start, 3, 2), " 2005-01-31-09-40-44");
    EXPECT_EQ(autoSaveSuffix(2, start, 3, 2), " 3-0002");
    EXPECT_EQ(autoSaveSuffix(0, start, 3, 2), "");
    EXPECT_EQ(autoSaveSuffix(9, start, 3, 2), "");
}

TEST(TakeFiles, PrefixIsANameNeverAPath)
{
    EXPECT_EQ(safePrefix("Brevon"), "Brevon");
    EXPECT_EQ(safePrefix("../../etc/passwd"), "etcpasswd");
    EXPECT_EQ(safePrefix("a/b\\c"), "abc");
    EXPECT_EQ(safePrefix(".."), "Brevon");
    EXPECT_EQ(safePrefix(""), "Brevon");
    EXPECT_EQ(safePrefix("Talk 1"), "Talk 1");
    EXPECT_EQ(safePrefix("Talk\nNext\t1"), "TalkNext1");
}

TEST(TakeFiles, AnExistingDestinationGetsADistinctNameAndIsNeverReplaced)
{
    TempDir dir;
    auto target = (dir / "Brevon 3-0001.wav").string();
    EXPECT_EQ(distinctPath(target), target);
    testsupport::writeFile(target, {1, 2, 3});
    EXPECT_EQ(distinctPath(target), (dir / "Brevon 3-0001 (2).wav").string());
    testsupport::writeFile(dir / "Brevon 3-0001 (2).wav", {4});
    EXPECT_EQ(distinctPath(target), (dir / "Brevon 3-0001 (3).wav").string());

    testsupport::writeFile(dir / "take.wav", {9, 9});
    EXPECT_FALSE(moveFile((dir / "take.wav").string(), target).empty());
    EXPECT_EQ(testsupport::readFile(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(fs::exists(dir / "take.wav"));
}

TEST(TakeFiles, MoveKeepsTheContentAndAFailedMoveLeavesTheTakeWhereItWas)
{
    TempDir dir;
    fs::create_directories(dir / "save");
    std::vector<uint8_t> content(200000);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<uint8_t>(i * 7);
    testsupport::writeFile(dir / "tmp0001.wav", content);
    EXPECT_EQ(moveFile((dir / "tmp0001.wav").string(), (dir / "save" / "a.wav").string()), "");
    EXPECT_FALSE(fs::exists(dir / "tmp0001.wav"));
    EXPECT_EQ(testsupport::readFile(dir / "save" / "a.wav"), content);

    testsupport::writeFile(dir / "tmp0002.wav", content);
    std::string why =
        moveFile((dir / "tmp0002.wav").string(), (dir / "missing" / "b.wav").string());
    EXPECT_NE(why.find("cannot"), std::string::npos);
    EXPECT_EQ(testsupport::readFile(dir / "tmp0002.wav"), content);
}

TEST(TakeFiles, MoveAcrossFileSystemsCopiesThenDeletes)
{
    // /dev/shm is a separate file system from the temporary folder on most machines.
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    TempDir dir;
    std::string target = "/dev/shm/dravik-move-test-" + std::to_string(getpid()) + ".wav";
    std::vector<uint8_t> content(70000, 0x5A);
    testsupport::writeFile(dir / "tmp0003.wav", content);
    EXPECT_EQ(moveFile((dir / "tmp0003.wav").string(), target), "");
    EXPECT_FALSE(fs::exists(dir / "tmp0003.wav"));
    EXPECT_EQ(testsupport::readFile(target), content);
    fs::remove(target);
}

TEST(TakeFiles, ACopyCutShortNeverLooksLikeASavedTakeAndNeverReplacesAFile)
{
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    TempDir dir;
    fs::path save = "/dev/shm/dravik-copy-test-" + std::to_string(getpid());
    fs::create_directories(save);
    std::vector<uint8_t> take(300000, 0x33);
    testsupport::writeFile(dir / "tmp0004.wav", take);

    // A process killed in the middle of the copy: the file-size limit's signal ends the child
    // at its first write past 100000 bytes.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit = {100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
        moveFile((dir / "tmp0004.wav").string(), (save / "Brevon.wav").string());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto visible = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(save)) {
            std::string name = entry.path().filename().string();
            if (name[0] != '.')
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_TRUE(visible().empty());
    EXPECT_EQ(testsupport::readFile(dir / "tmp0004.wav"), take);

    // A file of the name that appeared meanwhile is never replaced.
    testsupport::writeFile(save / "Brevon.wav", {9});
    EXPECT_NE(moveFile((dir / "tmp0004.wav").string(), (save / "Brevon.wav").string()), "");
    EXPECT_EQ(testsupport::readFile(save / "Brevon.wav"), std::vector<uint8_t>{9});
    EXPECT_EQ(testsupport::readFile(dir / "tmp0004.wav"), take);
    EXPECT_EQ(moveFile((dir / "tmp0004.wav").string(), (save / "Brevon 2.wav").string()), "");
    EXPECT_EQ(visible(), (std::vector<std::string>{"Brevon 2.wav", "Brevon.wav"}));
    EXPECT_EQ(testsupport::readFile(save / "Brevon 2.wav"), take);
    fs::remove_all(save);
}
