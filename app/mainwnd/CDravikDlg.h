// CDravikDlg: the program's one window. Its face is composed from the skin library, its sixteen
// skinned controls post their clicks to it as window messages, and it drives the recorder (through
// the recording controller) and the player from those messages and the engine's. The state it is
// in is read from the recorder's and player's flags, and each state's look comes from the state
// table.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "player.h"
#include "recorder.h"
#include "recording_controller.h"
#include "recovery_box.h"
#include "save_as_transfer.h"
#include "settings/settings_store.h"
#include "state_table.h"

class CSkinButton;
class CSkinLamp;
class CSkinMeter;
class CSkinSlider;
class CSkinTextDisplay;
class CSkinTimeDisplay;
class QSessionManager;
class QMessageBox;

// Control ids of the window (their clicks arrive as WM_USER + id).
namespace dlgid {
inline constexpr int Settings = 104;
inline constexpr int FormatLabel = 106;
inline constexpr int Exit = 113;
inline constexpr int Menu = 114;
inline constexpr int Open = 115;
inline constexpr int Minimise = 116;
inline constexpr int Help = 118;
inline constexpr int SeekSlider = 119;
inline constexpr int TimeDisplay = 120;
inline constexpr int Panel = 121;
inline constexpr int Record = 1010;
inline constexpr int Stop = 1011;
inline constexpr int Play = 1012;
inline constexpr int Save = 1016;
inline constexpr int MeterRight = 1030;
inline constexpr int MeterLeft = 1227;
inline constexpr int ClipLampLeft = 1228;
inline constexpr int ClipLampRight = 1031;
} // namespace dlgid

// Menu item ids of the popup menu.
namespace menuid {
inline constexpr int About = 32831;
inline constexpr int AlwaysOnTop = 32774;
inline constexpr int Help = 32785;
inline constexpr int Exit = 32773;
} // namespace menuid

// The questions, messages and dialogs the window puts to the user. The defaults show the
// system's dialogs; tests answer them instead.
struct WindowServices {
    // A question with Yes and No; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> askYesNo;
    // A message box with the information (or error) icon, captioned with the caption.
    // Returns the box while it stays open (a notice that does not wait), or null.
    std::function<QWidget*(QWidget* parent, const QString& text, bool error)> tell;
    // The file to open; empty on Cancel.
    std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> openFile;
    // The name to save under (the dialog asks before overwriting); empty on Cancel.
    std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> saveFile;
    // Overwrite question for a name the save dialog did not see (an extension was appended).
    std::function<bool(QWidget* parent, const QString& path)> confirmOverwrite;
    // The settings sheet, run modally.
    std::function<void(QWidget* parent, CRecorder& recorder)> settings;
    // A help topic "page>window".
    std::function<void(QWidget* parent, const QString& topic)> help;
    // Free bytes on a folder's file system (the disk-space watch); the system's by default.
    RecordingController::FreeSpaceReader freeSpace;
    // How Save As copies across file systems.
    saveas::TransferOptions transfer;
    // The local date and time the scheduled start is judged by; the system's by default.
    std::function<QDateTime()> now;
};

class CDravikDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 10000;
    static constexpr const char* kMakerLine = "Brevon Software - a sound recorder for the desktop";

    explicit CDravikDlg(SettingsStore& store = SettingsStore::instance(),
                        WindowServices services = {}, QWidget* parent = nullptr);
    ~CDravikDlg() override;

    // The caption: product name and version text from the skin.
    static QString caption();

    // The exit confirmation: true when the window may end (a recording is stopped first).
    bool confirmExit();
    // Exit as the Exit button does it: confirmation, then the window closes.
    void exit();
    // The system asks the program to end (a terminate or hang-up signal) and nobody may be there
    // to answer: an open dialog is dismissed, a recording is stopped and completed as at a
    // confirmed exit (a take that waits to be saved stays in the temporary folder), and the
    // window closes.
    void endWithoutAsking();

    // What the window shows, for tests and the benchmark.
    mainwnd::WindowState state() const;
    const QString& statusText() const { return status_; }
    CSkinButton* button(int id) const;
    CSkinMeter* meter(bool left) const { return left ? meterLeft_ : meterRight_; }
    CSkinLamp* clipLamp(bool left) const { return left ? clipLeft_ : clipRight_; }
    QWidget* statusLine() const { return statusLine_; }
    // The meters and their clip lamps: a click there puts the lamps out.
    static QRect meterArea();
    CSkinTimeDisplay* timeDisplay() const { return time_; }
    CSkinTextDisplay* formatLabel() const { return format_; }
    CSkinSlider* seekSlider() const { return slider_; }
    QMenu* popupMenu() const { return menu_; }
    CRecorder& recorder() { return *recorder_; }
    CPlayer& player() { return *player_; }
    RecordingController& controller() { return *controller_; }
    const QImage& background() const { return background_; }
    bool panelShown() const { return panelShown_; }
    bool alwaysOnTop() const { return alwaysOnTop_; }
    int encoding() const { return encoding_; }
    const std::string& openFilePath() const { return openFilePath_; }
    bool deviceFailed() const { return !deviceError_.isEmpty(); }
    // The box offering the takes an earlier run left, while it is open.
    RecoveryBox* recoveryBox() const { return recoveryBox_; }
    // Replaces how the settings sheet is shown (empty: the window's own sheet).
    void setSettingsService(std::function<void(QWidget*, CRecorder&)> settings)
    {
        services_.settings = std::move(settings);
    }
    // Runs the disk-space watch as a tick of the window's timer does.
    void onTimer();
    // The scheduled start (nAutoStartDatetime, sAutoStartAt), judged by a timer twice a second:
    // at its moment a recording starts as Record would, after a held take is saved under a
    // time-stamped name and an open file is closed; the box then clears itself.
    void checkScheduledStart();
    static constexpr int kScheduleCheckMs = 500;
    // True when the point (window coordinates) lies in the drag area.
    bool inDragArea(QPoint point) const;
    // A file dropped on the window: opened and played at once.
    void dropFile(const QString& path);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Building the window.
    void composeBackground();
    void createControls();
    CSkinButton* makeButton(int id, int x, int y, const char* first, const char* second,
                            int tooltip, int state);
    void applyRegion();
    void placeWindow();
    void buildMenu();

    // Looks.
    void setStatusText(const QString& text);
    void refreshFormatCaption();
    void applyLook();
    void applyAlwaysOnTop();
    bool autoSaveOn() const;
    QString playName() const;
    void tell(const QString& text, bool error = false);
    // The box shown, while it stays open.
    QWidget* notifyBox(const QString& text, bool error);

    // Commands of the window messages.
    void handleMessage(uint32_t message, uintptr_t wParam, const std::string& text);
    void onRecord();
    void onStop();
    void onPlay();
    void onSeek(int code);
    void onPlayEnded();
    void onOpenClose();
    void onSave();
    void onSettings();
    void onLevels(const LevelBlock* levels);
    void clearClipLamps();
    void onPlayProgress(const LevelBlock* levels);
    void onRecordFailed(const std::string& reason, bool partNotSaved);
    void onSaved(const std::string& path, uintptr_t hundredths);
    void onPanel();
    void onMinimise();
    void onMenu();
    void onHelp();
    void onAbout();
    void onCommitData(QSessionManager& manager);

    // Steps shared by the commands.
    void stopRecording();
    void backToIdle();
    // Opens a file in the player and shows its format; a file already open is closed first.
    void openFile(const QString& path);
    void closeFile();
    void saveAs();
    void lowDisk(const std::string& message);
    bool ensureDevice();
    // While nothing records, a device that stopped delivering is closed and opened again;
    // false when it cannot be opened.
    bool reopenStalledDevice();
    void restartDeviceIfSettingsChanged();
    void waitForSavedParts();
    void shutdown();

    // Scheduled start and exit after an automatic stop.
    void reportMissedSchedule();
    void startScheduledRecording(const QString& moment);
    // Saves the held take into the save folder under a time-stamped name; what happened, for
    // the status line.
    QString saveHeldTakeStamped();
    void exitAfterAutoStop();

    SettingsStore& store_;
    WindowServices services_;

    QImage panel_;
    QImage main_;
    QImage background_;
    int backgroundWidth_ = 0;
    int backgroundHeight_ = 0;
    int panelHeight_ = 0;

    CSkinButton* record_ = nullptr;
    CSkinButton* stop_ = nullptr;
    CSkinButton* play_ = nullptr;
    CSkinButton* save_ = nullptr;
    CSkinButton* open_ = nullptr;
    CSkinButton* menuButton_ = nullptr;
    CSkinButton* help_ = nullptr;
    CSkinButton* panelButton_ = nullptr;
    CSkinButton* settings_ = nullptr;
    CSkinButton* minimise_ = nullptr;
    CSkinButton* exit_ = nullptr;
    CSkinMeter* meterLeft_ = nullptr;
    CSkinMeter* meterRight_ = nullptr;
    CSkinLamp* clipLeft_ = nullptr;
    CSkinLamp* clipRight_ = nullptr;
    // Over the status line the window paints: what screen readers read it from.
    QWidget* statusLine_ = nullptr;
    CSkinTimeDisplay* time_ = nullptr;
    CSkinTextDisplay* format_ = nullptr;
    CSkinSlider* slider_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* onTopAction_ = nullptr;

    std::unique_ptr<CRecorder> recorder_;
    std::unique_ptr<RecordingController> controller_;
    std::unique_ptr<CPlayer> player_;
    QTimer timer_;
    QTimer scheduleTimer_;

    std::string tempFolder_;
    std::string saveFolder_;
    std::string openFilePath_;
    // The take held for review after a stop (its temporary file); empty when none is held. With
    // the recorder's take-unsaved flag it stands for the state's "nothing unsaved".
    std::string heldTake_;
    QString status_;
    QString deviceError_;
    uint64_t playPosition_ = 0;
    bool seekHeld_ = false;
    bool alwaysOnTop_ = true;
    bool panelShown_ = true;
    int encoding_ = 2;
    bool exitConfirmed_ = false;
    bool shutDown_ = false;
    // The low-disk message while it is open: the next tick does not open another.
    QPointer<QWidget> diskBox_;
    QPointer<RecoveryBox> recoveryBox_;
    bool freeSpaceUnknownShown_ = false;

    QPoint dragStart_;
    bool dragging_ = false;
    std::optional<QCursor> windowCursor_;
    std::optional<QCursor> dragCursor_;
};
