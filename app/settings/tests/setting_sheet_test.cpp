#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest/QTest>

#include <cstdlib>

#include "setting_auto.h"
#include "setting_file.h"
#include "sheet_test_support.h"

namespace {

// The two pages of this folder, in the program's order, for sheets whose first page is known.
const SettingPageInfo kAutoThenFile[] = {pageInfo("Auto Start/Stop"), pageInfo("Auto Save")};

struct Sheet {
    SheetStore store;
    WatchedContext context{*store.store};
    std::unique_ptr<CSetting> sheet;

    explicit Sheet(std::span<const SettingPageInfo> pages = kAutoThenFile)
    {
        store.store->writeString("TempFolder", (store.dir / "Temp").string());
        store.store->writeString("SaveFolder", (store.dir / "Save").string());
        sheet = std::make_unique<CSetting>(nullptr, context, pages);
    }
    void open()
    {
        sheet->show();
        QCoreApplication::processEvents();
    }
    void showTab(int index)
    {
        sheet->tabs()->setCurrentIndex(index);
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST(SettingSheet, ProgramPagesComeInTheirTabOrder)
{
    std::vector<std::string> captions;
    for (const SettingPageInfo& info : settingPages())
        captions.push_back(info.caption);
    EXPECT_EQ(captions,
              (std::vector<std::string>{"Recording", "VOX", "Auto Start/Stop", "Auto Save"}));
    EXPECT_EQ(pageInfo("Recording").recorderSetting, 0);
    EXPECT_EQ(pageInfo("VOX").recorderSetting, 4);
    EXPECT_EQ(pageInfo("Auto Start/Stop").recorderSetting, 5);
    EXPECT_EQ(pageInfo("Auto Save").recorderSetting, 6);
}

TEST(SettingSheet, OpensOnTheFirstTabAndBuildsPagesOnlyWhenShown)
{
    // The Recording page needs a mixer: the virtual card's.
    setenv("DRAVIK_AUDIO", "virtual:in=silence", 1);
    Sheet s(settingPages());
    EXPECT_EQ(s.sheet->windowTitle(), "Settings");
    for (QPushButton* button : {s.sheet->okButton(), s.sheet->cancelButton(),
                                s.sheet->applyButton(), s.sheet->helpButton()})
        ASSERT_NE(button, nullptr);
    ASSERT_EQ(s.sheet->tabs()->count(), static_cast<int>(settingPages().size()));
    for (int i = 0; i < s.sheet->pageCount(); ++i)
        EXPECT_EQ(s.sheet->page(i), nullptr) << "before the sheet shows";

    s.store.store->writeInt("RecorderSetting", 6);
    s.open();
    EXPECT_EQ(s.sheet->activeIndex(), 0);
    ASSERT_NE(s.sheet->page(0), nullptr);
    for (int i = 1; i < s.sheet->pageCount(); ++i)
        EXPECT_EQ(s.sheet->page(i), nullptr);
    EXPECT_EQ(s.store.readInt("RecorderSetting"), settingPages()[0].recorderSetting);

    int last = s.sheet->pageCount() - 1;
    s.showTab(last);
    ASSERT_NE(s.sheet->page(last), nullptr);
    EXPECT_EQ(s.store.readInt("RecorderSetting"), 6);
    s.sheet->reject();

    // The second opening starts on the first tab whatever RecorderSetting holds.
    CSetting again(nullptr, s.context);
    again.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(again.tabs()->currentIndex(), 0);
    EXPECT_EQ(again.activeIndex(), 0);
    again.reject();
}

TEST(SettingSheet, CancelOnTheAutoSavePageWritesOnlyRecorderSetting)
{
    Sheet s;
    s.open();
    auto before = s.store.file();
    s.showTab(1);
    // Edits on both pages, then Cancel.
    clickButton(s.sheet->page(1)->control<QRadioButton>(CSettingFile::TimeStamped));
    s.sheet->cancelButton()->click();
    EXPECT_EQ(s.sheet->result(), QDialog::Rejected);

    auto after = s.store.file();
    EXPECT_EQ(after["RecorderSetting"], "6");
    after.erase("RecorderSetting");
    before.erase("RecorderSetting");
    EXPECT_EQ(after, before);
}

TEST(SettingSheet, OkAtOnceSavesOnlyTheFirstPage)
{
    Sheet s;
    s.open();
    s.sheet->okButton()->click();
    EXPECT_EQ(s.sheet->result(), QDialog::Accepted);
    auto file = s.store.file();
    EXPECT_EQ(file["nAutoStopTimeVOX"], "60");
    EXPECT_EQ(file["nAutoStart"], "0");
    EXPECT_EQ(file.count("nSettingFileCheckButtonSates"), 0u);
    EXPECT_EQ(file.count("AutoSavePrefix"), 0u);
    EXPECT_TRUE(s.context.saveButtonStates.empty()) << "the Auto Save page was never shown";
}

TEST(SettingSheet, ApplyIsEnabledByAModifiedPageAndSavesEveryShownPage)
{
    Sheet s;
    s.open();
    EXPECT_FALSE(s.sheet->applyButton()->isEnabled());
    s.showTab(1);
    EXPECT_FALSE(s.sheet->applyButton()->isEnabled()) << "showing a page changes nothing";

    auto* prefix = s.sheet->page(1)->control<QLineEdit>(CSettingFile::PrefixEdit);
    prefix->setFocus();
    prefix->selectAll();
    QTest::keyClicks(prefix, "Talk");
    EXPECT_TRUE(s.sheet->applyButton()->isEnabled());

    s.sheet->applyButton()->click();
    EXPECT_FALSE(s.sheet->applyButton()->isEnabled());
    EXPECT_TRUE(s.sheet->isVisible());
    EXPECT_EQ(s.store.readString("AutoSavePrefix"), "Talk");
    EXPECT_EQ(s.store.readInt("nAutoStopTimeVOX"), 60) << "the first page saved too";
    EXPECT_EQ(s.context.saveButtonStates, std::vector<int>{4});

    // A change on the other page enables Apply again; the close box then saves nothing more.
    s.showTab(0);
    clickButton(s.sheet->page(0)->control<QCheckBox>(CSettingAuto::AutoStart));
    EXPECT_TRUE(s.sheet->applyButton()->isEnabled());
    s.sheet->close();
    EXPECT_EQ(s.sheet->result(), QDialog::Rejected);
    EXPECT_EQ(s.store.readInt("nAutoStart"), 0);
}

TEST(SettingSheet, HelpShowsTheActivePagesTopic)
{
    Sheet s;
    s.open();
    s.sheet->helpButton()->click();
    s.showTab(1);
    s.sheet->helpButton()->click();
    EXPECT_EQ(s.context.helpTopics,
              (std::vector<std::string>{"autostartstop.htm>Help", "autosave.htm>Help"}));
}
