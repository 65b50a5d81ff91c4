// dravik-cli with a settings file it cannot save to: the recording goes on, the problem is said
// once, and the file is left as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path)
{
    auto bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

size_t occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Records one second with serial auto-save into dir/save; the exit status, stderr in errors.
int recordOneSecond(const testsupport::TempDir& dir, std::string& errors)
{
    fs::path cli = fs::read_symlink("/proc/self/exe").parent_path() / "dravik-cli";
    std::string command = "HOME=" + (dir / "home").string() +
                          " XDG_CONFIG_HOME=" + (dir / "home" / ".config").string() +
                          " DRAVIK_AUDIO=virtual:in=tone,pace=fast " + cli.string() +
                          " record --seconds 1 --encode wav --vox off --auto-save serial"
                          " --temp-folder " +
                          (dir / "temp").string() + " --save-folder " + (dir / "save").string() +
                          " >" + (dir / "out.txt").string() + " 2>" + (dir / "errors.txt").string();
    int status = std::system(command.c_str());
    errors = readText(dir / "errors.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CliSettings, ASettingsLinkToADeviceIsNeverReplacedAndIsToldOnce)
{
    testsupport::TempDir dir;
    fs::path config = dir / "home" / ".config" / "Brevon";
    fs::create_directories(config);
    ASSERT_EQ(mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    fs::create_symlink(dir / "null", config / "Dravik.ini");

    std::string errors;
    ASSERT_EQ(recordOneSecond(dir, errors), 0) << errors;
    EXPECT_EQ(occurrences(errors, "cannot be saved"), 1u) << errors;
    EXPECT_TRUE(fs::exists(dir / "save" / "Brevon 1-0001.wav"));
    EXPECT_TRUE(fs::is_symlink(config / "Dravik.ini"));
    struct stat info {};
    ASSERT_EQ(stat((dir / "null").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device node must not be replaced";
}

TEST(CliSettings, AReadOnlySettingsFileIsReadAndLeftAsItWas)
{
    testsupport::TempDir dir;
    fs::path config = dir / "home" / ".config" / "Brevon";
    fs::create_directories(config);
    const std::string content = "[1.0]\nSessionNum=41\nAutoSavePrefix=Kept\n";
    testsupport::writeFile(config / "Dravik.ini", {content.begin(), content.end()});
    fs::permissions(config / "Dravik.ini", fs::perms(0444));

    std::string errors;
    ASSERT_EQ(recordOneSecond(dir, errors), 0) << errors;
    EXPECT_EQ(occurrences(errors, "read-only"), 1u) << errors;
    EXPECT_TRUE(fs::exists(dir / "save" / "Kept 42-0001.wav"));
    EXPECT_EQ(readText(config / "Dravik.ini"), content);
    EXPECT_EQ(fs::status(config / "Dravik.ini").permissions(), fs::perms(0444));
}
