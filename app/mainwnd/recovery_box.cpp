// The box of interrupted takes.
#include "recovery_box.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

#include "settings/settings_table.h"
#include "skin.h"

namespace {

constexpr int kProductNameString = 1;
constexpr int kVersionString = 2;

QString caption()
{
    return QStringLiteral("%1 %2").arg(skinString(kProductNameString), skinString(kVersionString));
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

// Whether a file and a folder are on one file system, where a save is a rename.
bool sameFileSystem(const std::string& file, const std::string& folder)
{
    struct stat a {
    }, b{};
    return stat(file.c_str(), &a) == 0 && stat(folder.c_str(), &b) == 0 && a.st_dev == b.st_dev;
}

bool askToDiscard(QWidget* parent, const QString& question)
{
    QMessageBox box(QMessageBox::Warning, caption(), question, QMessageBox::NoButton, parent);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(QStringLiteral("Keep"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.exec();
    return box.clickedButton() == discard;
}

} // namespace

QPointer<RecoveryBox> RecoveryBox::offer(QWidget* window, const SettingsStore& store,
                                         const std::string& tempFolder,
                                         const std::string& saveFolder, Services services)
{
    takerecovery::Found found = takerecovery::scan(tempFolder, saveFolder);
    if (found.takes.empty())
        return nullptr;
    auto* box = new RecoveryBox(window, std::move(found.takes), saveFolder,
                                store.readString(settings::AutoSavePrefix), std::move(services));
    QTimer::singleShot(0, box, [box] {
        box->show();
        box->raise();
    });
    return box;
}

RecoveryBox::RecoveryBox(QWidget* window, std::vector<takerecovery::Take> takes,
                         std::string saveFolder, std::string prefix, Services services)
    : QDialog(window), takes_(std::move(takes)), saveFolder_(std::move(saveFolder)),
      prefix_(std::move(prefix)), services_(std::move(services))
{
    if (!services_.confirmDiscard)
        services_.confirmDiscard = askToDiscard;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption());
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("These recordings were cut off, or kept when the program ended, and never "
                       "saved. They are still in the temporary folder; save the ones you want to "
                       "keep."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Encoding"),
                            QStringLiteral("Length"), QStringLiteral("Recorded")});
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->setAccessibleName(QStringLiteral("Interrupted recordings"));
    layout->addWidget(list_);

    auto* buttons = new QDialogButtonBox(this);
    auto add = [&](const QString& label, void (RecoveryBox::*command)()) {
        QPushButton* b = buttons->addButton(label, QDialogButtonBox::ActionRole);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, command);
    };
    add(QStringLiteral("Save"), &RecoveryBox::saveSelected);
    add(QStringLiteral("Save As..."), &RecoveryBox::saveSelectedAs);
    add(QStringLiteral("Open"), &RecoveryBox::openSelected);
    add(QStringLiteral("Discard"), &RecoveryBox::discardSelected);
    QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    fill();
    resize(560, 260);
}

void RecoveryBox::fill()
{
    list_->clear();
    for (const takerecovery::Take& take : takes_) {
        auto* row = new QTreeWidgetItem(list_, {text(take.name), text(take.encoding),
                                                text(takerecovery::lengthText(take.hundredths)),
                                                text(takerecovery::timeText(take.recorded))});
        row->setToolTip(0, text(take.path));
    }
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
}

QPushButton* RecoveryBox::button(const QString& label) const
{
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == label)
            return b;
    return nullptr;
}

bool RecoveryBox::select(const QString& name)
{
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->text(0) == name) {
            list_->setCurrentItem(list_->topLevelItem(i));
            return true;
        }
    }
    return false;
}

int RecoveryBox::selected() const
{
    QTreeWidgetItem* item = list_->currentItem();
    return item ? list_->indexOfTopLevelItem(item) : -1;
}

void RecoveryBox::forget(int index)
{
    takes_.erase(takes_.begin() + index);
    delete list_->takeTopLevelItem(index);
    if (takes_.empty())
        accept();
}

void RecoveryBox::failed(const takerecovery::Take& take, const QString& why)
{
    if (services_.tell)
        services_.tell(this, why + QStringLiteral("\n\nThe recording stays at ") + text(take.path),
                       true);
}

void RecoveryBox::saveSelected()
{
    const int index = selected();
    if (index < 0)
        return;
    takerecovery::Take& take = takes_[static_cast<size_t>(index)];
    if (services_.letGo)
        services_.letGo(take.path);
    const std::string destination = takerecovery::autoSavePath(take, saveFolder_, prefix_);
    if (sameFileSystem(take.path, saveFolder_)) {
        // A rename that never replaces a file another program saved meanwhile.
        std::string savedAs;
        std::string error = takerecovery::save(take, destination, savedAs);
        if (!error.empty()) {
            failed(take, text(error));
            return;
        }
    } else {
        // A copy with its progress window; the take goes only once the copy is complete.
        saveas::TransferResult result = saveas::saveTake(text(take.path), text(destination),
                                                         services_.texts, this, services_.transfer);
        if (!result.saved()) {
            if (result.outcome == saveas::Outcome::Failed)
                failed(take, result.reason);
            return;
        }
    }
    forget(index);
}

void RecoveryBox::saveSelectedAs()
{
    const int index = selected();
    if (index < 0 || !services_.saveFile)
        return;
    takerecovery::Take& take = takes_[static_cast<size_t>(index)];
    const QString path = text(take.path);
    const QString filter =
        QStringLiteral("%1 files (*%2)").arg(text(take.encoding), text(take.extension));
    QString chosen = services_.saveFile(this, text(saveFolder_), filter);
    if (chosen.isEmpty())
        return;
    const QString destination = saveas::savePathFor(chosen, path);
    if (destination != chosen && QFileInfo::exists(destination) && services_.confirmOverwrite &&
        !services_.confirmOverwrite(this, destination))
        return;
    if (services_.letGo)
        services_.letGo(take.path);
    saveas::TransferResult result =
        saveas::saveTake(path, destination, services_.texts, this, services_.transfer);
    if (!result.saved()) {
        if (result.outcome == saveas::Outcome::Failed)
            failed(take, result.reason);
        return;
    }
    take.hold.reset();
    forget(index);
}

void RecoveryBox::openSelected()
{
    const int index = selected();
    if (index >= 0 && services_.listen)
        services_.listen(text(takes_[static_cast<size_t>(index)].path));
}

void RecoveryBox::discardSelected()
{
    const int index = selected();
    if (index < 0)
        return;
    takerecovery::Take& take = takes_[static_cast<size_t>(index)];
    if (!services_.confirmDiscard(
            this,
            QStringLiteral("Discard %1? Its sound is deleted for good.").arg(text(take.name))))
        return;
    if (services_.letGo)
        services_.letGo(take.path);
    std::string error = takerecovery::discard(take);
    if (!error.empty()) {
        failed(take, text(error));
        return;
    }
    forget(index);
}
