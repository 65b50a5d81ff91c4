#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/library.h"
#include "platform/resources.h"

using namespace platform;

static std::string text(const std::optional<std::span<const uint8_t>>& blob)
{
    return blob ? std::string(blob->begin(), blob->end()) : std::string("<none>");
}

TEST(Library, LoadsOursByNameFromTheProgramFolderAndFindsEntryPoints)
{
    Library plugin;
    ASSERT_TRUE(plugin.load("DravikTestPlugin")) << plugin.error();
    EXPECT_EQ(plugin.path(), programDirectory() + "/libDravikTestPlugin.so");
    auto answer = plugin.function<int (*)(int)>("PluginAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(20), 41);
}

TEST(Library, ReportsAMissingLibraryOrEntryPoint)
{
    Library missing;
    EXPECT_FALSE(missing.load("Brevon.NoSuchLibrary"));
    EXPECT_NE(missing.error().find("libBrevon.NoSuchLibrary.so"), std::string::npos);
    EXPECT_EQ(missing.symbol("Anything"), nullptr);

    Library plugin;
    ASSERT_TRUE(plugin.load("libDravikTestPlugin.so"));
    EXPECT_EQ(plugin.symbol("NoSuchEntry"), nullptr);
    EXPECT_NE(plugin.error().find("NoSuchEntry"), std::string::npos);
}

namespace {

// A file placed for one test in a folder next to the program's, removed with the folders it made.
class PlacedFile {
public:
    PlacedFile(const std::filesystem::path& path, const std::filesystem::path& copyOf = {})
        : path_(path)
    {
        std::filesystem::path top = path.parent_path();
        while (!std::filesystem::exists(top.parent_path()))
            top = top.parent_path();
        made_ = std::filesystem::exists(top) ? path.parent_path() : top;
        std::filesystem::create_directories(path.parent_path());
        if (copyOf.empty())
            std::ofstream(path) << "placed\n";
        else
            std::filesystem::copy_file(copyOf, path);
    }
    ~PlacedFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        // Only folders this test made, and only when nothing else was put there meanwhile.
        for (auto folder = path_.parent_path(); folder.string().size() >= made_.string().size();
             folder = folder.parent_path())
            std::filesystem::remove(folder, ignored);
    }

private:
    std::filesystem::path path_;
    std::filesystem::path made_;
};

std::string unique(const std::string& stem)
{
    return stem + std::to_string(getpid());
}

} // namespace

// One test for the private folder, so that no two test processes make and remove it at once.
TEST(Library, AnInstalledProgramLoadsOursFromItsPrivateLibraryFolderAfterItsOwnFolder)
{
    // The installed layout: <prefix>/bin/program and <prefix>/lib/dravik/libX.so.
    const std::string name = unique("DravikInstalledPlugin");
    std::filesystem::path folder =
        std::filesystem::path(programDirectory()) / kPrivateLibraryFolder;
    PlacedFile placed(folder / libraryFileName(name),
                      std::filesystem::path(programDirectory()) / "libDravikTestPlugin.so");

    Library plugin;
    ASSERT_TRUE(plugin.load(name)) << plugin.error();
    EXPECT_EQ(plugin.path(), findLibrary(name));
    EXPECT_EQ(std::filesystem::path(plugin.path()).parent_path(), privateLibraryDirectory());
    EXPECT_EQ(privateLibraryDirectory().find(".."), std::string::npos);
    auto answer = plugin.function<int (*)(int)>("PluginAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(1), 3);

    // A copy in the private folder does not hide the one beside the program.
    PlacedFile shadow(folder / "libDravikTestPlugin.so");
    EXPECT_EQ(findLibrary("DravikTestPlugin"), programDirectory() + "/libDravikTestPlugin.so");

    // A missing library names where it was looked for.
    Library missing;
    EXPECT_FALSE(missing.load(unique("Brevon.Absent")));
    EXPECT_NE(missing.error().find(programDirectory()), std::string::npos);
    EXPECT_NE(missing.error().find(privateLibraryDirectory()), std::string::npos);
    EXPECT_EQ(findLibrary(unique("Brevon.Absent")), "");
}

TEST(Library, ProgramDataIsFoundBesideTheProgramOrInTheSharedDataFolder)
{
    const std::string name = unique("dravik-data-test-");
    std::filesystem::path shared = std::filesystem::path(programDirectory()) / kSharedDataFolder;
    EXPECT_EQ(findProgramData(name + "/page.htm"), "");
    {
        PlacedFile installed(shared / name / "page.htm");
        std::string found = findProgramData(name + "/page.htm");
        EXPECT_EQ(found, (shared / name / "page.htm").lexically_normal().string());
        EXPECT_EQ(found.find(".."), std::string::npos);

        PlacedFile beside(std::filesystem::path(programDirectory()) / name / "page.htm");
        EXPECT_EQ(findProgramData(name + "/page.htm"),
                  programDirectory() + "/" + name + "/page.htm");
    }
    EXPECT_EQ(findProgramData(name + "/page.htm"), "");
}

TEST(Resources, FoundByModuleHandleAndTypeTheProgramsOwnIncluded)
{
    EXPECT_EQ(text(findResource(programModule(), "program", "NOTE")),
              "the test program's own resource\n");
    // Names and types compare without regard to case.
    EXPECT_EQ(text(findResource(programModule(), "SECOND", "prx")),
              "first blob of the test plugin\n");
    EXPECT_FALSE(findResource(programModule(), "program", "PRX"));
    EXPECT_FALSE(findResource(programModule(), "first", "NOTE"));

    Library plugin;
    ASSERT_TRUE(plugin.load("DravikTestPlugin"));
    EXPECT_EQ(text(findResource(plugin.handle(), "first", "NOTE")),
              "first blob of the test plugin\n");
    // The plugin's table is its own: the program's resources are not found through it.
    EXPECT_FALSE(findResource(plugin.handle(), "program", "NOTE"));
}

TEST(Resources, AModuleWithoutATableHasNone)
{
    Library system;
    ASSERT_TRUE(system.loadSystem("libm.so.6")) << system.error();
    EXPECT_EQ(resourceTable(system.handle()), nullptr);
    EXPECT_FALSE(findResource(system.handle(), "first", "NOTE"));
    EXPECT_FALSE(findResource(nullptr, "first", "NOTE"));
}
