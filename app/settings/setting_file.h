// The Auto Save page: the temporary and save folders, the auto-save mode (none, time-stamped or
// serial-numbered names), the prefix of generated names and the timed track split.
#pragma once

#include <QString>

#include "setting_page.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

class CSettingFile : public CSettingPage {
public:
    enum Id {
        TempFolderLabel = 1147,
        TempFolderEdit = 1145,
        TempFolderChange = 1015,
        SaveFolderLabel = 1139,
        SaveFolderEdit = 1138,
        SaveFolderChange = 1014,
        NoAutoSave = 1308,
        TimeStamped = 1279,
        SerialNumbered = 1280,
        PrefixLabel = 1143,
        PrefixEdit = 1141,
        TimedSplit = 1323,
        SplitSeconds = 1324,
        SecondsLabel = 1325,
    };

    CSettingFile(SettingContext& context, const SettingPageInfo& info, QWidget* parent);

    bool OnApply() override;

    // The Change buttons' folder choice: the platform's folder dialog with the title; an
    // empty string when the user cancels, the dialog gives no path, or the folder cannot be
    // written into (the last two are reported).
    QString chooseFolder(const QString& title);

    const QString& temporaryFolder() const { return temporaryFolder_; }
    const QString& saveFolder() const { return saveFolder_; }

private:
    void fill();

    QLineEdit* temporaryEdit_;
    QLineEdit* saveEdit_;
    QRadioButton* noAutoSave_;
    QRadioButton* timeStamped_;
    QRadioButton* serialNumbered_;
    QLineEdit* prefix_;
    QCheckBox* timedSplit_;
    QLineEdit* splitSeconds_;
    // Changed only by the Change buttons; stored by apply.
    QString temporaryFolder_;
    QString saveFolder_;
};

// Whether a file can be made in the folder: the folder exists and the user may write into it.
bool folderIsWritable(const QString& folder);
