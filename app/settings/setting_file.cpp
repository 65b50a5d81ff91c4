// The Auto Save page: its controls at the template's places, the folder choice, and the values
// written back by apply (which also sets the main window's Save button).
#include "setting_file.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTemporaryFile>

#include "settings/settings_store.h"

bool folderIsWritable(const QString& folder)
{
    // A real file tells more than the permission bits: read-only mounts, ACLs, full quotas.
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".dravik-write-test-XXXXXX")));
    return probe.open();
}

CSettingFile::CSettingFile(SettingContext& context, const SettingPageInfo& info, QWidget* parent)
    : CSettingPage(context, info, parent)
{
    addControl<QLabel>(TempFolderLabel, dlu(12, 6, 174, 8))
        ->setText(QStringLiteral("Temporary file folder"));
    temporaryEdit_ = addControl<QLineEdit>(TempFolderEdit, dlu(12, 18, 144, 14));
    auto* temporaryChange = addControl<QPushButton>(TempFolderChange, dlu(162, 18, 36, 16));
    temporaryChange->setText(QStringLiteral("Change"));
    addControl<QLabel>(SaveFolderLabel, dlu(12, 36, 174, 8))
        ->setText(QStringLiteral("Save files to this folder"));
    saveEdit_ = addControl<QLineEdit>(SaveFolderEdit, dlu(12, 48, 144, 14));
    auto* saveChange = addControl<QPushButton>(SaveFolderChange, dlu(162, 48, 36, 16));
    saveChange->setText(QStringLiteral("Change"));
    for (QLineEdit* edit : {temporaryEdit_, saveEdit_})
        edit->setReadOnly(true);

    noAutoSave_ = addControl<QRadioButton>(NoAutoSave, dlu(12, 78, 180, 10));
    noAutoSave_->setText(QStringLiteral("No Auto Save"));
    timeStamped_ = addControl<QRadioButton>(TimeStamped, dlu(12, 91, 180, 10));
    timeStamped_->setText(QStringLiteral("Auto Save with a time stamped file name"));
    serialNumbered_ = addControl<QRadioButton>(SerialNumbered, dlu(12, 102, 180, 10));
    serialNumbered_->setText(QStringLiteral("Auto Save with a serial numbered file name"));

    addControl<QLabel>(PrefixLabel, dlu(15, 116, 88, 8))
        ->setText(QStringLiteral("Auto Save file name prefix"));
    prefix_ = addControl<QLineEdit>(PrefixEdit, dlu(109, 117, 83, 14));

    timedSplit_ = addControl<QCheckBox>(TimedSplit, dlu(12, 144, 84, 10));
    timedSplit_->setText(QStringLiteral("Timed Track Split"));
    splitSeconds_ = addControl<QLineEdit>(SplitSeconds, dlu(108, 144, 36, 14));
    splitSeconds_->setAlignment(Qt::AlignCenter);
    splitSeconds_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), splitSeconds_));
    addControl<QLabel>(SecondsLabel, dlu(150, 144, 42, 14))->setText(QStringLiteral("Seconds"));

    connect(noAutoSave_, &QRadioButton::clicked, this, [this] {
        SetModified();
        timedSplit_->setEnabled(false);
    });
    for (QRadioButton* mode : {timeStamped_, serialNumbered_})
        connect(mode, &QRadioButton::clicked, this, [this] {
            SetModified();
            timedSplit_->setEnabled(true);
        });
    for (QLineEdit* edit : {prefix_, splitSeconds_})
        connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(timedSplit_, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(temporaryChange, &QPushButton::clicked, this, [this] {
        QString folder = chooseFolder(QStringLiteral("Select a temporary file folder."));
        if (folder.isEmpty())
            return;
        temporaryFolder_ = folder;
        temporaryEdit_->setText(folder);
        SetModified();
    });
    connect(saveChange, &QPushButton::clicked, this, [this] {
        QString folder =
            chooseFolder(QStringLiteral("Recorded files will be saved to this folder."));
        if (folder.isEmpty())
            return;
        saveFolder_ = folder;
        saveEdit_->setText(folder);
        SetModified();
    });

    fitTexts();
    fill();
}

void CSettingFile::fill()
{
    std::string current = QDir::currentPath().toStdString();
    temporaryFolder_ =
        QString::fromStdString(store().readString(settings::TempFolder.name, current));
    temporaryEdit_->setText(temporaryFolder_);
    saveFolder_ = QString::fromStdString(store().readString(settings::SaveFolder.name, current));
    saveEdit_->setText(saveFolder_);
    prefix_->setText(QString::fromStdString(store().readString(settings::AutoSavePrefix)));

    // A mode outside 0..2 checks no button.
    int mode = store().readInt(settings::nSettingFileCheckButtonSates);
    noAutoSave_->setChecked(mode == 0);
    timeStamped_->setChecked(mode == 1);
    serialNumbered_->setChecked(mode == 2);
    timedSplit_->setEnabled(mode != 0);
    timedSplit_->setChecked(store().readInt(settings::nTimedTrackSplit) != 0);
    splitSeconds_->setText(QString::fromStdString(store().readString(settings::sTimedTrackSplit)));
}

QString CSettingFile::chooseFolder(const QString& title)
{
    QFileDialog dialog(this, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList chosen = dialog.selectedFiles();
    QString folder = chosen.isEmpty() ? QString() : chosen.first();
    if (folder.isEmpty()) {
        showError(QStringLiteral("Failed to Get directory"));
        return {};
    }
    folder = QDir::cleanPath(folder);
    if (!folderIsWritable(folder)) {
        showError(QStringLiteral("Dravik cannot write into the folder \"%1\".\n"
                                 "Please choose a folder you may write into.")
                      .arg(QDir::toNativeSeparators(folder)));
        return {};
    }
    return folder;
}

bool CSettingFile::OnApply()
{
    store().writeString(settings::TempFolder.name, temporaryFolder_.toStdString());
    store().writeString(settings::SaveFolder.name, saveFolder_.toStdString());
    store().writeString(settings::AutoSavePrefix.name, prefix_->text().toStdString());

    int mode = timeStamped_->isChecked() ? 1 : serialNumbered_->isChecked() ? 2 : 0;
    store().writeInt(settings::nSettingFileCheckButtonSates.name, mode);
    int saveButton = mode == 0 || context().recorderPaused() || context().playerFileOpen() ? 4 : 5;
    if (context().setSaveButton)
        context().setSaveButton(saveButton);

    store().writeString(settings::sTimedTrackSplit.name, splitSeconds_->text().toStdString());
    store().writeInt(settings::nTimedTrackSplit.name, timedSplit_->isChecked() ? 1 : 0);
    return true;
}
