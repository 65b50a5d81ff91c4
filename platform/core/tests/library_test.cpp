#include <gtest/gtest.h>

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
