// The recording controller: the rules a front end follows around the recorder, kept in one place
// so that the main window and dravik-cli drive a recording alike. It runs on the front end's
// thread (the window's), owns no widget and shows nothing: every decision comes back as a return
// value, and what happens later (automatic stops, saved parts, failures) arrives as the
// recorder's posted window messages.
//
// How a front end uses it:
//   creation         holdForWindowCreation(), then recorder.StartDevice()
//   Record / Pause   record(): LowDisk -> run the Stop sequence, then show the message
//   Stop             stop(): TakeHeld -> open the take in the player; if that fails,
//                    releaseTake(); the other outcomes go back to idle
//   Save (recording) cutAndSave()
//   WM_REC_LEVEL     onLevel() (a changed timed split length reaches the recorder)
//   timer 1 (10 s)   checkDiskSpace(): LowDisk -> run the Stop sequence, then show the message
//   take saved or    releaseTake()
//   discarded
//   exit             while partsBeingSaved() > 0 keep the event loop running and show
//                    savingText(); WM_REC_SAVING tells when the count changes
// The device is checked about once a second by the controller's own timer; a failed device ends
// the recording through the recorder's WM_REC_FAILED and WM_STOP_BUTTON.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "recorder.h"
#include "settings/settings_store.h"

class RecordingController : public QObject {
public:
    // Bytes available to the user on the file system of a folder; empty when unknown.
    using FreeSpaceReader = std::function<std::optional<uint64_t>(const std::string& folder)>;

    static constexpr uint64_t kLowDiskBytes = 10485760;
    static constexpr const char* kLowDiskMessage =
        "Not enough free disk space!\nRecording Stopped.";
    // The same when no recording was running: nothing was stopped.
    static constexpr const char* kLowDiskNotStartedMessage =
        "Not enough free disk space!\nNo recording was started.";
    // Seconds per VOX-hold block: the recording start divides by 0.04, window creation and the
    // VOX page by 0.05.
    static constexpr double kRecordingBlockSeconds = 0.04;
    static constexpr double kPageBlockSeconds = 0.05;
    static constexpr int kDeviceCheckMs = 1000;

    // freeSpace defaults to the system's reading. The temporary folder watched is the store's
    // TempFolder at construction (the copy the window holds); setWatchedFolder changes it.
    RecordingController(CRecorder& recorder, SettingsStore& store, FreeSpaceReader freeSpace = {});
    ~RecordingController() override;

    void setWatchedFolder(std::string folder) { watchedFolder_ = std::move(folder); }
    const std::string& watchedFolder() const { return watchedFolder_; }

    // --- VOX hold ------------------------------------------------------------------------------
    // A tolerance text ("1.0") in blocks: its decimal value divided by secondsPerBlock in double
    // precision, truncated toward zero; 0 for text that is no number. The text is read the same
    // whatever the process's locale.
    static int voxHoldBlocks(const std::string& toleranceText, double secondsPerBlock);
    // Window creation: VoxToleranceTime (default "0.4") ÷ 0.05 handed to SetVoxHold; returns it.
    int holdForWindowCreation();
    // The VOX page: the shown tolerance ÷ 0.05 handed to SetVoxHold; returns it.
    int holdForVoxPage(const std::string& toleranceText);

    // --- Disk space ----------------------------------------------------------------------------
    struct DiskCheck {
        bool ok = true;
        // kLowDiskMessage when not ok.
        std::string message;
        // False when the system could not give a reading (which counts as enough).
        bool known = true;
    };
    // At least 10 MiB free on the watched folder's file system. A reading the system cannot
    // give counts as enough: a recording is not stopped for a value nobody knows, and a disk
    // that really fills is caught by the writer. On failure the front end runs its Stop
    // sequence and then shows the message; it repeats at every call while space stays low.
    DiskCheck checkDiskSpace() const;

    // --- Record / Pause ------------------------------------------------------------------------
    enum class RecordOutcome {
        Started, // a new recording runs
        Paused,  // the running recording is paused
        Resumed, // the paused recording runs again
        LowDisk, // nothing changed; run the Stop sequence, then show message
        Failed,  // no recording could start; message says why in plain words
    };
    struct RecordResult {
        RecordOutcome outcome = RecordOutcome::Failed;
        std::string message;
    };
    // The Record button: disk check, then pause or resume a running recording, or start a new
    // one (VOX hold from VoxToleranceTime ÷ 0.04, SessionNum counted, StartRecording).
    RecordResult record();

    // --- Stop ----------------------------------------------------------------------------------
    enum class StopOutcome {
        NotRecording, // nothing was recording: nothing changed
        AutoSaved,    // the take goes to the save folder (WM_REC_SAVED / WM_REC_FAILED follow)
        Discarded,    // nothing was written; the empty take was deleted
        TakeHeld,     // the take waits in takePath for the player and Save As
    };
    struct StopResult {
        StopOutcome outcome = StopOutcome::NotRecording;
        std::string takePath;
        int32_t hundredths = 0;
    };
    // Ends a recording (a pause is lifted first). With an auto-save mode the take is handed to
    // the part saver and take unsaved is cleared; without one an empty take is deleted and
    // take unsaved cleared, a take with sound is held (take unsaved stays set until
    // releaseTake()). A second stop of the same recording is NotRecording.
    StopResult stop();
    // The window is done with the held take (saved, discarded, or the player could not open
    // it, in which case it stays in the temporary folder): take unsaved := false.
    void releaseTake();

    // --- Splits --------------------------------------------------------------------------------
    // The Save button while recording with an auto-save mode: a split at the next block.
    // False (nothing done) without an auto-save mode or while not recording.
    bool cutAndSave();
    // The timed split: with nTimedTrackSplit set and auto-save mode 1 or 2, a new file after
    // every sTimedTrackSplit seconds (at least 1; "0" or no number is 1) of written sound; 0
    // when off. The recorder cuts the parts on its capture thread from the sound it wrote,
    // so their length does not depend on when the front end looks.
    int timedSplitSeconds() const;
    // WM_REC_LEVEL: hands the recorder the timed split as the settings now say (it is also
    // set at every recording start). True while timed splitting is on.
    bool onLevel();

    // --- Device --------------------------------------------------------------------------------
    // Called by the controller's timer about once a second (and callable directly): a device
    // that failed or stopped delivering ends the recording through the recorder's messages.
    bool checkDevice();

    // --- Saving and exit -----------------------------------------------------------------------
    // Finished parts still being closed, moved or reported by the part saver.
    int partsBeingSaved() const;
    // "Saving 2 recorded parts..." while parts are pending; empty when none.
    std::string savingText() const;

    CRecorder& recorder() { return recorder_; }

private:
    CRecorder& recorder_;
    SettingsStore& store_;
    FreeSpaceReader freeSpace_;
    std::string watchedFolder_;
    QTimer deviceTimer_;
};
