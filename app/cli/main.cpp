// dravik-cli: the headless front end of Dravik. It records, plays, inspects files and lists the
// devices through the same recorder, player and settings store as the window, answering their
// messages as the window does.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BrevonWMA.h"
#include "cli_help.h"
#include "cli_options.h"
#include "format_tables.h"
#include "input_peaks.h"
#include "platform/alsa_errors.h"
#include "platform/mixer.h"
#include "platform/system.h"
#include "platform/wavedev.h"
#include "player.h"
#include "product.h"
#include "recorder.h"
#include "recording_controller.h"
#include "settings/folder_repair.h"
#include "settings/settings_store.h"
#include "stop_signals.h"
#include "stream_headers.h"
#include "take_files.h"
#include "take_recovery.h"
#include "window_messages.h"

namespace {

// Whether standard output is a terminal (the live line is shown only there), asked once: the
// level and progress messages come many times a second.
bool stdoutIsTerminal()
{
    static const bool terminal = isatty(STDOUT_FILENO);
    return terminal;
}

// Ctrl+C, a terminate signal and a hang-up (the terminal or the SSH session closing) all end the
// command as its own stop does, on the main thread, so a recording is completed and its saved:
// line printed. Writing to a terminal or pipe that has gone must not end the process before that,
// so SIGPIPE is ignored.
void catchStopSignals()
{
    stopsignals::catchStopSignals();
    std::signal(SIGPIPE, SIG_IGN);
}

using stopsignals::wakeOnStopSignal;

int fail(const std::string& reason)
{
    std::fprintf(stderr, "dravik-cli: %s\n", reason.c_str());
    return 1;
}

// A command line that is wrong (a value an option does not take): status 2, as for an unknown
// option.
int wrongUsage(const std::string& reason)
{
    std::fprintf(stderr, "dravik-cli: %s\n", reason.c_str());
    return 2;
}

// A settings file this run cannot save to (a device, a read-only file...) is said once.
SettingsStore& storeTellingSaveProblems()
{
    SettingsStore& store = SettingsStore::instance();
    store.onSaveProblem([](const std::string& problem) {
        std::fprintf(stderr, "dravik-cli: %s\n", problem.c_str());
    });
    return store;
}

std::string clock(int64_t hundredths)
{
    return takerecovery::lengthText(hundredths);
}

std::string meter(uint32_t level)
{
    constexpr int kWidth = 14;
    int filled = static_cast<int>(std::lround(kWidth * std::min(level, 32768u) / 32768.0));
    return std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kWidth - filled), '-');
}

// A peak in dBFS as the live line and the summary show it: "-6.0", or "-inf" for silence.
std::string dbfs(uint32_t peak)
{
    const double db = peakDbfs(std::min(peak, 32768u));
    if (std::isinf(db))
        return "-inf";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", db);
    return text;
}

// With DRAVIK_CLI_STATS set, what the capture thread did, for the benchmarks.
void reportStats(const CRecorder& recorder)
{
    if (!std::getenv("DRAVIK_CLI_STATS"))
        return;
    std::fprintf(stderr,
                 "stats: blocks %llu, recorded from %llu, written %.2f s, capture thread per "
                 "block: mean %.1f us, largest %.1f us, pre-roll ring %u bytes\n",
                 static_cast<unsigned long long>(recorder.blocksCaptured()),
                 static_cast<unsigned long long>(recorder.blocksGated()),
                 recorder.TotalHundredths() / 100.0, recorder.meanBlockMicros(),
                 recorder.largestBlockMicros(), recorder.preRollBytes());
}

// A folder given on the command line is created when it is missing.
bool prepareFolder(const std::string& folder, std::string& error)
{
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (!std::filesystem::is_directory(folder, code)) {
        error = "cannot use the folder " + folder;
        return false;
    }
    return true;
}

// Where --out puts the take. A folder (an existing one, or a name ending in "/") is the folder to
// save into, under the prefix and the time as an auto-saved take is named; a file name must not
// end in another encoding's extension (an MP3 name over WAV sound). 0, or the exit status with
// the reason: 2 for such a name, 1 for a folder that cannot be made.
int resolveOut(std::string& out, const SettingsStore& store, std::string& error)
{
    namespace fs = std::filesystem;
    const std::string wanted = takefiles::extension(store.readInt(settings::Encode));
    std::error_code code;
    if (out.back() == '/' || fs::is_directory(out, code)) {
        if (!prepareFolder(out, error))
            return 1;
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        out = (fs::path(out) / (takefiles::safePrefix(store.readString(settings::AutoSavePrefix)) +
                                takefiles::autoSaveSuffix(1, local, 0, 0) + wanted))
                  .string();
        return 0;
    }
    std::string given = fs::path(out).extension().string();
    for (char& c : given)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* audio : {".wav", ".mp3", ".wma", ".flac", ".opus", ".ogg"}) {
        if (given == audio && given != wanted) {
            error = "--out " + out + " names a " + given.substr(1) +
                    " file, but the recording is made as " + wanted.substr(1) +
                    ": give a name ending in " + wanted + ", or the --encode of its ending";
            return 2;
        }
    }
    return 0;
}

void pumpQtMessages(void*)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The length of sound a file holds as our reader reads it, in hundredths; -1 when it cannot be
// read. After a failed write an encoder may have counted sound it never got onto the disk.
int64_t lengthOnDisk(const std::string& path)
{
    CPlayer player(nullptr);
    WMAReaderSetMessagePump(&pumpQtMessages, nullptr);
    if (!player.Open(path))
        return -1;
    auto hundredths = static_cast<int64_t>(player.Duration() / 100000);
    player.Close();
    return hundredths;
}

// Stands in for the main window: answers the recorder's messages through the recording
// controller, as the window does.
class RecordSession : public QObject {
public:
    explicit RecordSession(std::string out) : out_(std::move(out)) {}

    CRecorder* recorder = nullptr;
    RecordingController* controller = nullptr;
    int exitCode = 0;
    // The moment a scheduled recording waits for (0: none): the live line shows the levels.
    std::time_t waitingUntil = 0;

    bool event(QEvent* e) override
    {
        if (e->type() != WindowMessage::eventType())
            return QObject::event(e);
        auto* m = static_cast<WindowMessage*>(e);
        switch (m->message) {
        case WM_REC_LEVEL:
            onLevels(reinterpret_cast<const LevelBlock*>(m->wParam));
            break;
        case WM_STOP_BUTTON:
            finish();
            break;
        case WM_REC_FAILED:
            clearLine();
            std::fprintf(stderr, "dravik-cli: %s\n", m->text.c_str());
            exitCode = 1;
            somethingFailed_ = true;
            break;
        case WM_REC_SAVED:
            saved_.push_back({m->text, static_cast<int64_t>(m->wParam)});
            break;
        case WM_REC_SAVING:
            if (finished_ && controller && controller->partsBeingSaved() == 0)
                quitAfterReports();
            break;
        case WM_REC_GAP:
            clearLine();
            std::fprintf(stderr, "dravik-cli: warning: the input device lost sound; the take has "
                                 "a gap\n");
            break;
        default:
            break;
        }
        return true;
    }

    // Ctrl+C and a full disk end the recording as the Stop button does; a vanished device ends
    // it through the controller's own device check. Called every second (the disk every tenth
    // time) and at once on a stop signal.
    void watch()
    {
        if (finished_)
            return;
        if (stopsignals::received()) {
            finish();
            return;
        }
        if (++ticks_ % 10 == 0) {
            RecordingController::DiskCheck disk = controller->checkDiskSpace();
            if (!disk.ok) {
                clearLine();
                finish();
                std::fprintf(stderr, "dravik-cli: %s\n", oneLine(disk.message).c_str());
                exitCode = 1;
            }
        }
    }

    void finish()
    {
        if (finished_ || !controller)
            return;
        finished_ = true;
        clearLine();
        RecordingController::StopResult stopped = controller->stop();
        // Nothing more is recorded: the device stops before the take is moved, so that a device
        // that runs as fast as it is asked does not go on metering sound nobody keeps.
        recorder->StopDevice();
        if (stopped.outcome == RecordingController::StopOutcome::TakeHeld) {
            keepTake(stopped);
            controller->releaseTake();
        }
        if (controller->partsBeingSaved() > 0) {
            // Parts go on being saved on their own thread; the command ends when they are done
            // and says why it waits when that takes a while.
            QTimer::singleShot(500, this, [this] {
                if (controller->partsBeingSaved() > 0)
                    std::fprintf(stderr, "dravik-cli: %s\n", controller->savingText().c_str());
            });
            return;
        }
        quitAfterReports();
    }

    void report() const
    {
        for (auto [path, hundredths] : saved_) {
            if (somethingFailed_) {
                if (int64_t held = lengthOnDisk(path); held >= 0)
                    hundredths = std::min(hundredths, held);
            }
            std::printf("saved: %s (%.2f s)\n", oneLine(path).c_str(), hundredths / 100.0);
        }
        if (saved_.empty())
            std::printf("nothing was recorded\n");
        else
            reportPeaks();
        reportStats(*recorder);
    }

    // Line breaks and other control characters (a name can hold them) become blanks, so that a
    // report stays one line.
    static std::string oneLine(std::string text)
    {
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = ' ';
        }
        return text;
    }

private:
    // The saved messages already posted arrive before the loop ends.
    static void quitAfterReports()
    {
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    }

    void onLevels(const LevelBlock* levels)
    {
        if (levels && waitingUntil != 0 && stdoutIsTerminal() && ++levelCount_ % 3 == 0) {
            char until[32];
            std::tm local{};
            localtime_r(&waitingUntil, &local);
            std::strftime(until, sizeof until, "%Y-%m-%d %H:%M:%S", &local);
            std::printf("\r waiting until %s  L %s  R %s ", until, meter(levels->left).c_str(),
                        meter(levels->right).c_str());
            std::fflush(stdout);
            lineShown_ = true;
        }
        if (!levels || finished_ || !controller)
            return;
        controller->onLevel();
        // A clipped block is shown for two seconds after it (the recorder's flag is taken here).
        constexpr int kClipShownLevels = 50;
        if (recorder->inputClipped(0) || recorder->inputClipped(1)) {
            recorder->clearInputClipped();
            clipShownFor_ = kClipShownLevels;
        } else if (clipShownFor_ > 0) {
            --clipShownFor_;
        }
        if (stdoutIsTerminal() && ++levelCount_ % 3 == 0) {
            std::printf("\r %s  L %s %5s  R %s %5s dBFS %s ",
                        clock(recorder->TotalHundredths()).c_str(), meter(levels->left).c_str(),
                        dbfs(levels->left).c_str(), meter(levels->right).c_str(),
                        dbfs(levels->right).c_str(), clipShownFor_ > 0 ? "CLIP" : "    ");
            std::fflush(stdout);
            lineShown_ = true;
        }
    }

    // One line for the take: each channel's peak and its samples at full scale.
    void reportPeaks() const
    {
        const CRecorder::TakePeaks peaks = recorder->takePeaks();
        std::printf("peaks: L %s dBFS, R %s dBFS; clipped samples: L %llu, R %llu\n",
                    dbfs(peaks.peak[0]).c_str(), dbfs(peaks.peak[1]).c_str(),
                    static_cast<unsigned long long>(peaks.clipped[0]),
                    static_cast<unsigned long long>(peaks.clipped[1]));
    }

public:
    void clearLine()
    {
        if (lineShown_) {
            std::printf("\r%*s\r", 79, "");
            std::fflush(stdout);
            lineShown_ = false;
        }
    }

    // Without an auto-save mode the take goes to --out, or stays in the temporary folder.
    void keepTake(const RecordingController::StopResult& take)
    {
        std::string target = take.takePath;
        std::error_code gone;
        if (!std::filesystem::exists(take.takePath, gone)) {
            std::fprintf(stderr, "dravik-cli: the take %s no longer exists; nothing was kept\n",
                         oneLine(take.takePath).c_str());
            exitCode = 1;
            return;
        }
        if (!out_.empty()) {
            std::string error = takefiles::moveToDistinctPath(take.takePath, out_, target);
            if (!error.empty()) {
                std::fprintf(stderr, "dravik-cli: %s; the take stays at %s\n", error.c_str(),
                             take.takePath.c_str());
                exitCode = 1;
                target = take.takePath;
            }
        }
        saved_.push_back({target, take.hundredths});
    }

private:
    std::string out_;
    std::vector<std::pair<std::string, int64_t>> saved_;
    bool finished_ = false;
    bool lineShown_ = false;
    // A write or save failed: the lengths reported are measured from the files.
    bool somethingFailed_ = false;
    long levelCount_ = 0;
    int clipShownFor_ = 0;
    long ticks_ = 0;
};

// One line on standard error when takes of an earlier run wait in the temporary folder (empty
// leftovers are removed on the way; nothing is decoded).
void mentionInterruptedTakes(const SettingsStore& store)
{
    takerecovery::ScanOptions quick;
    quick.measure = false;
    const std::string temp = store.readString(settings::TempFolder);
    size_t count =
        takerecovery::scan(temp, store.readString(settings::SaveFolder), quick).takes.size();
    if (count > 0)
        std::fprintf(stderr,
                     "dravik-cli: %zu interrupted take%s in %s: \"dravik-cli recover\" lists "
                     "%s\n",
                     count, count == 1 ? " waits" : "s wait", temp.c_str(),
                     count == 1 ? "it" : "them");
}

// Waits for the moment of --at with the device open and the levels on the live line; false when
// a stop signal or a failed device ended the wait (nothing is recorded then).
bool waitForStart(RecordSession& session, CRecorder& recorder, std::time_t startAt)
{
    session.waitingUntil = startAt;
    bool due = false;
    QEventLoop loop;
    auto check = [&] {
        if (stopsignals::received() || !recorder.CheckDevice()) {
            loop.quit();
        } else if (std::time(nullptr) >= startAt) {
            due = true;
            loop.quit();
        }
    };
    // The wall clock is read four times a second, so a clock set forward or a machine woken from
    // sleep starts the recording at once.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, check);
    watch.start(250);
    // Woken by a stop signal only while waiting: the recording's own watch takes over after.
    QObject waiting;
    wakeOnStopSignal(&waiting, check);
    loop.exec();
    session.waitingUntil = 0;
    session.clearLine();
    if (due)
        return true;
    const bool failed = !stopsignals::received();
    recorder.StopDevice();
    std::fprintf(stderr, "dravik-cli: %s; nothing was recorded\n",
                 failed ? "the input device stopped delivering sound"
                        : "stopped before the scheduled start");
    return false;
}

int record(const CliCommand& command)
{
    catchStopSignals();
    SettingsStore& store = storeTellingSaveProblems();
    std::vector<std::pair<std::string, std::string>> overrides;
    std::string error;
    if (!recordOverrides(command, store.readInt(settings::Encode), overrides, error))
        return wrongUsage(error);
    for (const auto& [name, value] : overrides)
        store.setOverride(name, value);
    if (command.options.count("split") &&
        store.readInt(settings::nSettingFileCheckButtonSates) == 0)
        return wrongUsage("--split needs --auto-save time or serial");
    std::time_t startAt = 0;
    if (!atOption(command, std::time(nullptr), startAt, error))
        return wrongUsage(error);
    std::string out = command.options.count("out") ? command.options.at("out") : "";
    if (!out.empty()) {
        if (int status = resolveOut(out, store, error); status != 0)
            return status == 2 ? wrongUsage(error) : fail(error);
        // A WAV take that outgrows what its sizes can say goes on in a new file: the parts
        // before the last are saved beside --out, under its name (then "(2)", ...).
        if (store.readInt(settings::nSettingFileCheckButtonSates) == 0) {
            std::filesystem::path path(out);
            store.setOverride(settings::SaveFolder.name,
                              path.has_parent_path() ? path.parent_path().string() : ".");
            store.setOverride(settings::AutoSavePrefix.name, path.stem().string());
        }
    }

    for (const settings::Value* folder : {&settings::TempFolder, &settings::SaveFolder}) {
        std::string option = folder == &settings::TempFolder ? "temp-folder" : "save-folder";
        if (command.options.count(option)) {
            if (!prepareFolder(store.readString(*folder), error))
                return fail(error);
        } else {
            repairFolder(store, *folder);
        }
    }
    mentionInterruptedTakes(store);
    RecordSession session(out);
    CRecorder recorder(&session, store);
    RecordingController controller(recorder, store);
    session.recorder = &recorder;
    if (RecordingController::DiskCheck disk = controller.checkDiskSpace(); !disk.ok)
        return fail(RecordSession::oneLine(RecordingController::kLowDiskNotStartedMessage));
    if (!recorder.StartDevice())
        return fail(recorder.lastError());
    if (startAt != 0 && !waitForStart(session, recorder, startAt))
        return 0;
    RecordingController::RecordResult started = controller.record();
    if (started.outcome != RecordingController::RecordOutcome::Started) {
        recorder.StopDevice();
        return fail(RecordSession::oneLine(started.message));
    }
    session.controller = &controller;
    platform::setProcessPriority(platform::ProcessPriority::Realtime);

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { session.watch(); });
    watch.start(1000);
    wakeOnStopSignal(&session, [&] { session.watch(); });
    QCoreApplication::exec();
    session.report();
    return session.exitCode;
}

// Stands in for the window during playback.
class PlaySession : public QObject {
public:
    bool opened = false;
    bool ended = false;
    CPlayer* player = nullptr;

    bool event(QEvent* e) override
    {
        if (e->type() != WindowMessage::eventType())
            return QObject::event(e);
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message == WM_PLAY_OPENED) {
            opened = true;
        } else if (m->message == WM_PLAY_PROGRESS && stdoutIsTerminal()) {
            auto* levels = reinterpret_cast<const LevelBlock*>(m->wParam);
            std::printf("\r %s  L %s  R %s ",
                        clock(static_cast<int64_t>(levels->position / 100000)).c_str(),
                        meter(levels->left).c_str(), meter(levels->right).c_str());
            std::fflush(stdout);
        } else if (m->message == WM_PLAY_ENDED) {
            ended = true;
            if (stdoutIsTerminal())
                std::printf("\n");
            QCoreApplication::quit();
        }
        return true;
    }
};

int play(const CliCommand& command)
{
    double from = 0;
    std::string error;
    if (!numberOption(command, "from", 0, 1e9, from, error))
        return wrongUsage(error);
    PlaySession session;
    CPlayer player(&session);
    WMAReaderSetMessagePump(&pumpQtMessages, nullptr);
    session.player = &player;
    if (!player.Open(command.arguments[0]))
        return fail(player.lastError());
    uint64_t start = static_cast<uint64_t>(from * 1e7);
    if (start >= player.Duration() && player.Duration() > 0)
        return fail("--from is past the end of the file");
    catchStopSignals();
    platform::clearAlsaError();
    player.Start(static_cast<uint32_t>(start), static_cast<uint32_t>(start >> 32));
    QTimer watch;
    int waited = 0;
    int exitCode = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        waited += 100;
        if (stopsignals::received()) {
            player.Stop();
        } else if (!session.opened && waited >= 3000) {
            exitCode = fail(platform::withAlsaReason("cannot open the output device"));
            QCoreApplication::quit();
        }
    });
    watch.start(100);
    QCoreApplication::exec();
    player.Stop();
    player.Close();
    return exitCode;
}

int info(const CliCommand& command)
{
    const std::string& path = command.arguments[0];
    CPlayer player(nullptr);
    WMAReaderSetMessagePump(&pumpQtMessages, nullptr);
    if (!player.Open(path))
        return fail(player.lastError());
    std::string ext = std::filesystem::path(path).extension().string();
    std::string kind = player.readerMode() ? (ext.empty() ? "media" : ext.substr(1)) : "wav";
    for (char& c : kind)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // FLAC is decoded to 16 bits: its own sample size is in its header. An .ogg file may hold
    // Opus or another codec.
    int bits = player.BitsPerSample();
    const auto flac = headers::readFlacStreamInfo(path);
    if (flac) {
        kind = "FLAC";
        bits = flac->bitsPerSample;
    } else if (headers::fileIsOggOpus(path)) {
        kind = "OPUS";
    }
    uint32_t bitRate = player.readerMode() ? player.BitRate() : player.format().nAvgBytesPerSec * 8;
    std::printf("file:      %s\n", path.c_str());
    std::printf("format:    %s (decoded to PCM)\n", kind.c_str());
    std::printf("channels:  %d\n", player.Channels());
    std::printf("rate:      %d Hz\n", player.SampleRate());
    std::printf("bits:      %d\n", bits);
    std::printf("duration:  %.3f s\n", player.Duration() / 1e7);
    std::printf("bit rate:  %u bit/s\n", bitRate);
    player.Close();
    return 0;
}

// Opens the input device and shows its levels without recording anything.
int monitor(const CliCommand& command)
{
    double seconds = 1e9;
    std::string error;
    if (!numberOption(command, "seconds", 0.1, 1e9, seconds, error))
        return wrongUsage(error);
    SettingsStore& store = storeTellingSaveProblems();
    RecordSession session("");
    CRecorder recorder(&session, store);
    session.recorder = &recorder;
    if (!recorder.StartDevice())
        return fail(recorder.lastError());
    catchStopSignals();
    auto started = std::chrono::steady_clock::now();
    int exitCode = 0;
    auto check = [&] {
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!recorder.CheckDevice()) {
            exitCode = fail("the input device stopped delivering sound");
            QCoreApplication::quit();
        } else if (stopsignals::received() || elapsed >= seconds) {
            QCoreApplication::quit();
        }
    };
    // The device is checked twice a second; the end of --seconds and a stop signal end the loop
    // when they come.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, check);
    watch.start(500);
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, [] { QCoreApplication::quit(); });
    if (seconds < 1e6)
        end.start(std::chrono::milliseconds(std::llround(seconds * 1000)));
    wakeOnStopSignal(&session, check);
    QCoreApplication::exec();
    recorder.StopDevice();
    if (stdoutIsTerminal())
        std::printf("\n");
    reportStats(recorder);
    return exitCode;
}

// Lists the takes that interrupted recordings left in the temporary folder, or saves them into
// the save folder under time-stamped auto-save names (--save), or deletes them (--discard).
// Empty leftovers are removed in passing.
int recover(const CliCommand& command)
{
    const bool save = command.options.count("save") > 0;
    const bool discard = command.options.count("discard") > 0;
    if (save && discard) {
        std::fprintf(stderr, "dravik-cli: --save and --discard exclude each other\n%s", kUsage);
        return 2;
    }
    SettingsStore& store = storeTellingSaveProblems();
    std::string error;
    for (const settings::Value* folder : {&settings::TempFolder, &settings::SaveFolder}) {
        std::string option = folder == &settings::TempFolder ? "temp-folder" : "save-folder";
        if (command.options.count(option)) {
            store.setOverride(folder->name, command.options.at(option));
            if (!prepareFolder(store.readString(*folder), error))
                return fail(error);
        } else {
            repairFolder(store, *folder);
        }
    }
    const std::string temp = store.readString(settings::TempFolder);
    const std::string saveFolder = store.readString(settings::SaveFolder);
    WMAReaderCreate();
    WMAReaderSetMessagePump(&pumpQtMessages, nullptr);
    takerecovery::Found found = takerecovery::scan(temp, saveFolder);
    WMAReaderDelete();
    if (found.takes.empty()) {
        std::printf("no interrupted takes in %s\n", temp.c_str());
        return 0;
    }
    int status = 0;
    const std::string prefix = store.readString(settings::AutoSavePrefix);
    for (takerecovery::Take& take : found.takes) {
        if (save) {
            std::string savedAs;
            error = takerecovery::save(take, takerecovery::autoSavePath(take, saveFolder, prefix),
                                       savedAs);
            if (error.empty() && take.hundredths >= 0)
                std::printf("saved: %s (%.2f s)\n", savedAs.c_str(), take.hundredths / 100.0);
            else if (error.empty())
                std::printf("saved: %s (length unknown)\n", savedAs.c_str());
        } else if (discard) {
            error = takerecovery::discard(take);
            if (error.empty())
                std::printf("discarded: %s\n", take.path.c_str());
        } else {
            std::printf("%s  %s  %s  recorded %s%s\n", take.path.c_str(), take.encoding.c_str(),
                        takerecovery::lengthText(take.hundredths).c_str(),
                        takerecovery::timeText(take.recorded).c_str(),
                        take.repaired ? "  (repaired)" : "");
        }
        if (!error.empty()) {
            std::fprintf(stderr, "dravik-cli: %s; the take stays at %s\n", error.c_str(),
                         take.path.c_str());
            status = 1;
        }
    }
    return status;
}

int devices()
{
    // ALSA's default device is listed when it goes through a sound server: on a desktop that is
    // often the only way to the sound card, and the only device there is.
    char server[64] = {};
    const bool throughServer = platform::waveGetDefaultServer(server, sizeof server);
    auto listDefault = [&] {
        if (throughServer)
            std::printf("  default: Default sound device, through %s\n", server);
    };
    std::printf("input devices:\n");
    for (uint32_t i = 0; i < platform::waveInGetNumDevs(); ++i) {
        platform::WAVEINCAPS caps{};
        if (platform::waveInGetDevCaps(i, &caps) == platform::MMSYSERR_NOERROR)
            std::printf("  %u: %s (%u channels)\n", i, caps.szPname, caps.wChannels);
    }
    listDefault();
    std::printf("output devices:\n");
    for (uint32_t i = 0; i < platform::waveOutGetNumDevs(); ++i) {
        platform::WAVEOUTCAPS caps{};
        if (platform::waveOutGetDevCaps(i, &caps) == platform::MMSYSERR_NOERROR)
            std::printf("  %u: %s (%u channels)\n", i, caps.szPname, caps.wChannels);
    }
    listDefault();
    std::printf("mixers:\n");
    for (uint32_t i = 0; i < platform::mixerGetNumDevs(); ++i) {
        platform::MIXERCAPS caps{};
        if (platform::mixerGetDevCaps(i, &caps) == 0)
            std::printf("  %u: %s\n", i, caps.szPname);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (auto help = clihelp::answerHelp(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(help->text.c_str(), help->toError ? stderr : stdout);
        return help->status;
    }
    QCoreApplication app(argc, argv);
    // ALSA's own error lines become the reason in our one-line messages.
    platform::routeAlsaErrors();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto command = parseCommandLine(args, error);
    if (!command) {
        std::fprintf(stderr, "dravik-cli: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (command->name == "record")
        return record(*command);
    if (command->name == "play")
        return play(*command);
    if (command->name == "info")
        return info(*command);
    if (command->name == "monitor")
        return monitor(*command);
    if (command->name == "recover")
        return recover(*command);
    return devices();
}
