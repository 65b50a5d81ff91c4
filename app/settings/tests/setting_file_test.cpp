#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include <filesystem>

#include "setting_file.h"
#include "sheet_test_support.h"

namespace fs = std::filesystem;

namespace {

// The Auto Save page alone in a sheet, shown.
struct FilePage : OnePageSheet<CSettingFile> {
    FilePage() : OnePageSheet("Auto Save") {}
    template <class T> T* get(int id) const { return page->control<T>(id); }
    QRadioButton* radio(int id) const { return get<QRadioButton>(id); }
};

// Answers the next folder dialog with a folder (or cancels it for an empty one), and the message
// box that may follow with OK, keeping its text.
void answerFolderDialog(const QString& folder, QString* message = nullptr)
{
    answerNextModal([folder, message](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        if (folder.isEmpty()) {
            dialog->reject();
            return;
        }
        if (message) {
            answerNextModal(
                [message](QWidget* box) {
                    if (auto* m = qobject_cast<QMessageBox*>(box)) {
                        *message = m->text();
                        m->accept();
                    }
                },
                dialog);
        }
        // As the user types the folder's path into the dialog's name field.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

} // namespace

TEST(AutoSavePage, ShowsTheStoredValuesAndStoresThemBackUntouched)
{
    FilePage p;
    p.store.store->writeString("TempFolder", "/tmp/dravik temp");
    p.store.store->writeString("SaveFolder", "/tmp/dravik save");
    p.store.store->writeString("AutoSavePrefix", "Meeting");
    p.store.store->writeInt("nSettingFileCheckButtonSates", 2);
    p.store.store->writeInt("nTimedTrackSplit", 1);
    p.store.store->writeString("sTimedTrackSplit", "90");
    p.open();
    EXPECT_EQ(p.get<QLineEdit>(CSettingFile::TempFolderEdit)->text(), "/tmp/dravik temp");
    EXPECT_TRUE(p.get<QLineEdit>(CSettingFile::TempFolderEdit)->isReadOnly());
    EXPECT_EQ(p.get<QLineEdit>(CSettingFile::SaveFolderEdit)->text(), "/tmp/dravik save");
    EXPECT_EQ(p.get<QLineEdit>(CSettingFile::PrefixEdit)->text(), "Meeting");
    EXPECT_TRUE(p.radio(CSettingFile::SerialNumbered)->isChecked());
    EXPECT_TRUE(p.get<QCheckBox>(CSettingFile::TimedSplit)->isChecked());
    EXPECT_TRUE(p.get<QCheckBox>(CSettingFile::TimedSplit)->isEnabled());
    EXPECT_EQ(p.get<QLineEdit>(CSettingFile::SplitSeconds)->text(), "90");
    EXPECT_FALSE(p.sheet->applyButton()->isEnabled());
    p.ok();
    auto file = p.store.file();
    EXPECT_EQ(file["TempFolder"], "/tmp/dravik temp");
    EXPECT_EQ(file["SaveFolder"], "/tmp/dravik save");
    EXPECT_EQ(file["AutoSavePrefix"], "Meeting");
    EXPECT_EQ(file["nSettingFileCheckButtonSates"], "2");
    EXPECT_EQ(file["nTimedTrackSplit"], "1");
    EXPECT_EQ(file["sTimedTrackSplit"], "90");
    EXPECT_EQ(p.context.saveButtonStates, std::vector<int>{5});
}

TEST(AutoSavePage, MissingFoldersDefaultToTheCurrentDirectory)
{
    FilePage p;
    p.open();
    EXPECT_EQ(p.get<QLineEdit>(CSettingFile::PrefixEdit)->text(), "Brevon");
    p.ok();
    EXPECT_EQ(p.store.readString("TempFolder"), QDir::currentPath().toStdString());
    EXPECT_EQ(p.store.readString("SaveFolder"), QDir::currentPath().toStdString());
    EXPECT_EQ(p.store.readString("sTimedTrackSplit"), "60");
    EXPECT_EQ(p.context.saveButtonStates, std::vector<int>{4});
}

TEST(AutoSavePage, AModeOutsideTheThreeChecksNoneAndIsStoredAsNone)
{
    FilePage p;
    p.store.store->writeInt("nSettingFileCheckButtonSates", 3);
    p.open();
    for (int id :
         {CSettingFile::NoAutoSave, CSettingFile::TimeStamped, CSettingFile::SerialNumbered})
        EXPECT_FALSE(p.radio(id)->isChecked()) << id;
    EXPECT_TRUE(p.get<QCheckBox>(CSettingFile::TimedSplit)->isEnabled());
    p.ok();
    EXPECT_EQ(p.store.readInt("nSettingFileCheckButtonSates"), 0);
    EXPECT_EQ(p.context.saveButtonStates, std::vector<int>{4});
}

TEST(AutoSavePage, NoAutoSaveGreysTheTimedSplitWithoutClearingIt)
{
    FilePage p;
    p.store.store->writeInt("nSettingFileCheckButtonSates", 1);
    p.store.store->writeInt("nTimedTrackSplit", 1);
    p.open();
    auto* split = p.get<QCheckBox>(CSettingFile::TimedSplit);
    clickButton(p.radio(CSettingFile::NoAutoSave));
    EXPECT_FALSE(split->isEnabled());
    EXPECT_TRUE(split->isChecked());
    EXPECT_TRUE(p.sheet->applyButton()->isEnabled());
    clickButton(p.radio(CSettingFile::SerialNumbered));
    EXPECT_TRUE(split->isEnabled());
    clickButton(p.radio(CSettingFile::NoAutoSave));
    p.ok();
    EXPECT_EQ(p.store.readInt("nSettingFileCheckButtonSates"), 0);
    EXPECT_EQ(p.store.readInt("nTimedTrackSplit"), 1);
}

TEST(AutoSavePage, TypedPrefixAndTrackLengthAreStoredAsTyped)
{
    FilePage p;
    p.open();
    auto* seconds = p.get<QLineEdit>(CSettingFile::SplitSeconds);
    seconds->setFocus();
    seconds->selectAll();
    QTest::keyClick(seconds, Qt::Key_Backspace);
    EXPECT_TRUE(p.sheet->applyButton()->isEnabled());
    auto* prefix = p.get<QLineEdit>(CSettingFile::PrefixEdit);
    prefix->setFocus();
    prefix->selectAll();
    QTest::keyClicks(prefix, "take ");
    p.ok();
    EXPECT_EQ(p.store.fileValue("sTimedTrackSplit"), "");
    EXPECT_EQ(p.store.readString("AutoSavePrefix"), "take ");
}

TEST(AutoSavePage, ChangeButtonsChooseWritableFoldersOnly)
{
    FilePage p;
    fs::path temp = p.store.dir / "new temp";
    fs::path save = p.store.dir / "new save";
    fs::create_directories(temp);
    fs::create_directories(save);
    p.store.store->writeString("TempFolder", "/tmp");
    p.store.store->writeString("SaveFolder", "/tmp");
    p.open();
    auto* tempEdit = p.get<QLineEdit>(CSettingFile::TempFolderEdit);
    auto* saveEdit = p.get<QLineEdit>(CSettingFile::SaveFolderEdit);

    // Cancelling the folder dialog changes nothing and marks nothing.
    answerFolderDialog({});
    QTest::mouseClick(p.get<QPushButton>(CSettingFile::TempFolderChange), Qt::LeftButton);
    EXPECT_EQ(tempEdit->text(), "/tmp");
    EXPECT_FALSE(p.sheet->applyButton()->isEnabled());

    // A folder nobody may write into is refused when it is chosen.
    QString message;
    answerFolderDialog("/proc", &message);
    QTest::mouseClick(p.get<QPushButton>(CSettingFile::SaveFolderChange), Qt::LeftButton);
    EXPECT_TRUE(message.contains("cannot write into the folder")) << message.toStdString();
    EXPECT_EQ(saveEdit->text(), "/tmp");
    EXPECT_FALSE(p.sheet->applyButton()->isEnabled());

    answerFolderDialog(QString::fromStdString(temp.string()));
    QTest::mouseClick(p.get<QPushButton>(CSettingFile::TempFolderChange), Qt::LeftButton);
    answerFolderDialog(QString::fromStdString(save.string()));
    QTest::mouseClick(p.get<QPushButton>(CSettingFile::SaveFolderChange), Qt::LeftButton);
    EXPECT_EQ(tempEdit->text().toStdString(), temp.string());
    EXPECT_EQ(saveEdit->text().toStdString(), save.string());
    EXPECT_TRUE(p.sheet->applyButton()->isEnabled());
    EXPECT_EQ(p.store.readString("TempFolder"), "/tmp") << "stored only by OK or Apply";
    p.ok();
    EXPECT_EQ(p.store.readString("TempFolder"), temp.string());
    EXPECT_EQ(p.store.readString("SaveFolder"), save.string());
    EXPECT_EQ(std::distance(fs::directory_iterator(save), fs::directory_iterator()), 0)
        << "the write test leaves nothing behind";
}

TEST(AutoSavePage, WriteTestTellsWritableFoldersApart)
{
    EXPECT_TRUE(folderIsWritable(QDir::tempPath()));
    EXPECT_FALSE(folderIsWritable("/proc"));
    EXPECT_FALSE(folderIsWritable(QDir::tempPath() + "/no such folder here"));
}
