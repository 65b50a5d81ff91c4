#include <gtest/gtest.h>

#include <filesystem>

#include "settings/folder_repair.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

TEST(FolderRepair, AnExistingFolderStaysAsItIs)
{
    TempDir dir;
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", (dir / "home").string());
    fs::create_directories(dir / "mine");
    store.writeString("TempFolder", (dir / "mine").string());
    EXPECT_EQ(repairFolder(store, settings::TempFolder), (dir / "mine").string());
    EXPECT_FALSE(fs::exists(dir / "home" / "Brevon"));
}

TEST(FolderRepair, AMissingOrEmptyFolderBecomesTheDefaultAndIsCreated)
{
    TempDir dir;
    fs::create_directories(dir / "home");
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", (dir / "home").string());
    store.writeString("TempFolder", (dir / "gone" / "away").string());
    auto temp = repairFolder(store, settings::TempFolder);
    auto save = repairFolder(store, settings::SaveFolder);
    EXPECT_EQ(temp, (dir / "home" / "Brevon" / "Temp").string());
    EXPECT_EQ(save, (dir / "home" / "Brevon" / "Dravik").string());
    EXPECT_TRUE(fs::is_directory(temp));
    EXPECT_TRUE(fs::is_directory(save));
    EXPECT_EQ(store.readString("TempFolder", ""), temp);
    EXPECT_EQ(store.readString("SaveFolder", ""), save);
}

TEST(FolderRepair, AFolderThatCannotBeCreatedIsStillRecordedAsTheDefault)
{
    TempDir dir;
    // The home folder is a file, so nothing can be made under it.
    testsupport::writeFile(dir / "home", {});
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", (dir / "home").string());
    auto temp = repairFolder(store, settings::TempFolder);
    EXPECT_EQ(temp, (dir / "home").string() + "/Brevon/Temp");
    EXPECT_EQ(store.readString("TempFolder", ""), temp);
}

TEST(FolderRepair, WindowsStylePathsUnderTheBrevonRootMeanTheHomeFolder)
{
    EXPECT_EQ(localBrevonPath("C:\\Brevon\\Temp", "/home/u"), "/home/u/Brevon/Temp");
    EXPECT_EQ(localBrevonPath("c:\\BREVON", "/home/u"), "/home/u/Brevon");
    EXPECT_EQ(localBrevonPath("C:\\BrevonX\\Temp", "/home/u"), "C:\\BrevonX\\Temp");
    EXPECT_EQ(localBrevonPath("/data/rec", "/home/u"), "/data/rec");

    TempDir dir;
    fs::create_directories(dir / "home" / "Brevon" / "Temp");
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", (dir / "home").string());
    store.writeString("TempFolder", "C:\\Brevon\\Temp");
    EXPECT_EQ(repairFolder(store, settings::TempFolder),
              (dir / "home" / "Brevon" / "Temp").string());
    EXPECT_EQ(store.readString("TempFolder", ""), (dir / "home" / "Brevon" / "Temp").string())
        << "the recorder reads the folder from the store";
}

TEST(FolderRepair, RelativeForeignOrBlockedFoldersBecomeTheDefault)
{
    TempDir dir;
    fs::create_directories(dir / "home");
    testsupport::writeFile(dir / "file", {});
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", (dir / "home").string());
    // "." exists wherever the program starts, which is no reason to record there.
    for (std::string value :
         {std::string("."), std::string("D:\\Recordings"), (dir / "file" / "Temp").string()}) {
        store.writeString("SaveFolder", value);
        EXPECT_EQ(repairFolder(store, settings::SaveFolder),
                  (dir / "home" / "Brevon" / "Dravik").string())
            << value;
        SettingsStore reopened((dir / "Dravik.ini").string(), "1.0", (dir / "home").string());
        EXPECT_EQ(reopened.readString("SaveFolder", ""),
                  (dir / "home" / "Brevon" / "Dravik").string());
    }
}
