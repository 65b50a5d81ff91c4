// The window's unattended side: the start of a recording at a chosen moment, and the exit of the
// program after a recording stopped by itself.
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <ctime>
#include <filesystem>

#include "CDravikDlg.h"
#include "setting_auto.h"
#include "take_files.h"

namespace {

// A moment that has just passed when the window is made (a timer that started the program for
// it, say) is still taken; one further back passed while the program was not running.
constexpr int kStartupGraceSeconds = 2;

QString shownMoment(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

void CDravikDlg::reportMissedSchedule()
{
    if (store_.readInt(settings::nAutoStartDatetime) == 0)
        return;
    std::optional<QDateTime> moment =
        schedule::parseMoment(store_.readString(settings::sAutoStartAt));
    if (moment && *moment >= services_.now().addSecs(-kStartupGraceSeconds))
        return;
    // Not made up for: the box clears, and the status line says so.
    store_.writeInt(settings::nAutoStartDatetime.name, 0);
    setStatusText(moment
                      ? QStringLiteral("Scheduled start at %1 was missed").arg(shownMoment(*moment))
                      : QStringLiteral("The scheduled start has no valid date and time"));
}

void CDravikDlg::checkScheduledStart()
{
    if (shutDown_ || exitConfirmed_ || store_.readInt(settings::nAutoStartDatetime) == 0)
        return;
    std::optional<QDateTime> moment =
        schedule::parseMoment(store_.readString(settings::sAutoStartAt));
    if (!moment) {
        reportMissedSchedule();
        return;
    }
    if (services_.now() < *moment)
        return;
    // A dialog that waits for an answer is answered No / Cancel (a copy in progress stops and
    // keeps the take); the recording starts at the next check, half a second later.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    // One start per setting.
    store_.writeInt(settings::nAutoStartDatetime.name, 0);
    startScheduledRecording(shownMoment(*moment));
}

void CDravikDlg::startScheduledRecording(const QString& moment)
{
    if (recorder_->recording()) {
        setStatusText(QStringLiteral("Already recording at the scheduled start %1").arg(moment));
        return;
    }
    QString before;
    if (player_->playing()) {
        player_->Stop();
        player_->setPlaying(false);
    }
    if (!heldTake_.empty() && recorder_->IsTakeUnsaved()) {
        before = saveHeldTakeStamped();
    } else if (player_->fileOpen()) {
        before = QStringLiteral("closed ") +
                 QString::fromStdString(std::filesystem::path(openFilePath_).filename().string());
        // Nothing is held, so nobody is asked.
        closeFile();
    }
    backToIdle();
    onRecord();
    QString what = recorder_->recording()
                       ? QStringLiteral("Recording... scheduled start %1")
                       : QStringLiteral("The scheduled start %1 could not record");
    setStatusText(what.arg(moment) +
                  (before.isEmpty() ? QString() : QStringLiteral("; ") + before));
}

QString CDravikDlg::saveHeldTakeStamped()
{
    const std::string take = heldTake_;
    player_->Close();
    heldTake_.clear();
    controller_->releaseTake();

    std::string folder = store_.readString(settings::SaveFolder);
    if (folder.empty())
        folder = saveFolder_;
    const std::time_t seconds = static_cast<std::time_t>(services_.now().toSecsSinceEpoch());
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::string name = takefiles::safePrefix(store_.readString(settings::AutoSavePrefix)) +
                             takefiles::autoSaveSuffix(1, local, 0, 0) +
                             std::filesystem::path(take).extension().string();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string target = takefiles::distinctPath(folder + "/" + name);
    const std::string error = takefiles::moveFile(take, target);
    if (!error.empty()) {
        // Never discarded: it stays in the temporary folder, and the user is told where.
        const QString kept = QString::fromStdString(take);
        tell(QStringLiteral("The recording held for saving could not be saved before the "
                            "scheduled start (%1).\nIt was kept as\n%2")
                 .arg(QString::fromStdString(error), kept),
             true);
        return QStringLiteral("the take held stays in the temporary folder");
    }
    return QStringLiteral("the take held was saved as ") +
           QString::fromStdString(std::filesystem::path(target).filename().string());
}

void CDravikDlg::exitAfterAutoStop()
{
    if (store_.readInt(settings::nAutoExit) == 0 || exitConfirmed_)
        return;
    // As a confirmed Exit: an auto-saved take is saved before the window goes, a held one stays
    // in the temporary folder.
    exitConfirmed_ = true;
    setStatusText(QStringLiteral("Exiting after the automatic stop"));
    QTimer::singleShot(0, this, [this] { close(); });
}
