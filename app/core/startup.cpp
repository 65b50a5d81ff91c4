// Start-up: companions, installer switches, the single instance and the main window's run.
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "CDravikDlg.h"
#include "message_box.h"
#include "platform/alsa_errors.h"
#include "platform/system.h"
#include "product.h"
#include "settings/settings_store.h"
#include "skin.h"
#include "stop_signals.h"

namespace startup {

namespace {

// The folder the program was started from, kept for the whole run.
std::string g_startupDirectory;

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

bool startsWith10(const std::string& commandLine, const char* switchText)
{
    // The first ten characters compared as C strings: a shorter switch must match whole.
    return std::strncmp(commandLine.c_str(), switchText, 10) == 0;
}

const char* const kHelp =
    "usage: dravik [/Install | /Uninstall]\n"
    "       dravik --help | --version\n"
    "\n"
    "Dravik's window: records the sound card's input into WAV, MP3, WMA, FLAC or Opus files,\n"
    "shows the input levels, plays takes and files back, and records unattended (voice\n"
    "operation, automatic start and stop, timed splits).\n"
    "\n"
    "  /Install     write the default settings (the window centred on the screen) and exit\n"
    "  /Uninstall   remove this version's settings and exit\n"
    "  -h, --help   show this help\n"
    "  --version    show the version\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are taken as well.\n"
    "environment: DRAVIK_AUDIO=virtual[:...] records and plays on a virtual sound card;\n"
    "QT_QPA_PLATFORM chooses the display (offscreen runs without one).\n"
    "Settings: ~/.config/Brevon/Dravik.ini. dravik-cli records without a window.\n"
    "See dravik(1) and dravik-cli(1).\n";

} // namespace

std::optional<std::string> helpAnswer(const std::string& commandLine)
{
    if (commandLine == "--help" || commandLine == "-h")
        return std::string(kHelp);
    if (commandLine == "--version")
        return std::string("dravik ") + product::kVersionText + "\n";
    return std::nullopt;
}

std::string commandLine(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

bool isInstall(const std::string& commandLine)
{
    return startsWith10(commandLine, "/Install");
}

bool isUninstall(const std::string& commandLine)
{
    return startsWith10(commandLine, "/Uninstall");
}

bool Companions::load(const std::string& folder, bool deferMediaRuntime)
{
    missing_.clear();
    const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    mediaRuntimePath_ = dir + "libwmvcore.so";
    std::error_code code;
    if (!skinModule().load(dir + "libDravik.so"))
        missing_ = "libDravik.so";
    else if (deferMediaRuntime ? !std::filesystem::is_regular_file(mediaRuntimePath_, code) ||
                                     access(mediaRuntimePath_.c_str(), R_OK) != 0
                               : !wmvcore_.loadPath(mediaRuntimePath_))
        missing_ = "libwmvcore.so";
    else if (!wave_.loadPath(dir + "libBrevon.Wave.so"))
        missing_ = "libBrevon.Wave.so";
    else if (!lame_.loadSystem(kLameSoname))
        missing_ = kLameSoname;
    if (missing_.empty())
        return true;
    release();
    return false;
}

bool Companions::loadMediaRuntime()
{
    if (wmvcore_.loaded() || wmvcore_.loadPath(mediaRuntimePath_))
        return true;
    missing_ = "libwmvcore.so";
    return false;
}

void Companions::release()
{
    lame_.unload();
    wave_.unload();
    wmvcore_.unload();
}

SingleInstance::SingleInstance(const std::string& caption)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    path_ =
        (folder + QStringLiteral("/") + QString::fromStdString(caption) + QStringLiteral(".lock"))
            .toStdString();
}

bool SingleInstance::acquire()
{
    lock_ = std::make_unique<QLockFile>(QString::fromStdString(path_));
    // A lock left by a copy that died is taken over (QLockFile checks its process).
    lock_->setStaleLockTime(0);
    return lock_->tryLock(0);
}

namespace {

// A terminate signal, a hang-up (the terminal or session closing) and Ctrl+C end the program as a
// confirmed exit does, so a recording in progress is completed instead of cut off.
void endOnStopSignals(CDravikDlg& window)
{
    stopsignals::catchStopSignals();
    stopsignals::wakeOnStopSignal(&window, [&window] { window.endWithoutAsking(); });
}

} // namespace

int run(int argc, char** argv)
{
    // 1. The start-up directory.
    std::error_code code;
    g_startupDirectory = std::filesystem::current_path(code).string();
    const std::string line = commandLine(argc, argv);
    if (auto help = helpAnswer(line)) {
        std::fputs(help->c_str(), stdout);
        return 0;
    }
    // ALSA's own error lines become the reason in our messages instead of reaching the terminal.
    platform::routeAlsaErrors();
    const bool install = isInstall(line);
    const bool uninstall = isUninstall(line);

    // No desktop: the switches still work (they show nothing), the window cannot run.
    const bool display = hasDisplay();
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravik"));

    // 2-3. The companion files: beside the program in the build, in the private library folder
    // (../lib/dravik) once installed; wherever the skin library is, the others are too.
    // For the window's run the media runtime, whose codecs take most of the start-up time, is
    // loaded once the window is on screen; the installer switches load it at once.
    Companions companions;
    const bool windowRun = !install && !uninstall;
    const std::string skinLibrary = platform::findLibrary("Dravik");
    const std::string companionFolder =
        skinLibrary.empty() ? QCoreApplication::applicationDirPath().toStdString()
                            : std::filesystem::path(skinLibrary).parent_path().string();
    if (!companions.load(companionFolder, windowRun)) {
        if (uninstall)
            return 1;
        std::fprintf(stderr, "dravik: %s is missing or cannot be loaded. Please install again.\n",
                     companions.missing().c_str());
        if (display) {
            messagebox::tell(nullptr, QMessageBox::Critical, QString(),
                             QString::fromLatin1(kMissingFileMessage));
        }
        return 1;
    }

    // 4. The caption from the skin strings.
    const QString caption = CDravikDlg::caption();
    SettingsStore& store = SettingsStore::instance();

    // 5-6. The installer switches, without a window.
    if (install) {
        QRect screen(0, 0, 1024, 768);
        if (QScreen* s = QGuiApplication::primaryScreen())
            screen = s->availableGeometry();
        bool ok = store.install(screen.width(), screen.height());
        if (!ok)
            std::fprintf(stderr, "dravik: the settings could not be written: %s\n",
                         store.lastError().c_str());
        return ok ? 0 : 1;
    }
    if (uninstall) {
        companions.release();
        return store.uninstall() ? 0 : 1;
    }
    if (!display) {
        std::fprintf(stderr, "dravik: no desktop to show the window on (DISPLAY is not set); "
                             "dravik-cli records without one.\n");
        return 1;
    }

    // 7. One copy per caption.
    SingleInstance instance(caption.toStdString());
    if (!instance.acquire()) {
        messagebox::tell(nullptr, QMessageBox::Information, caption,
                         QString::fromLatin1(kAlreadyRunningMessage));
        return 0;
    }

    // 8-10. High priority (where permitted), then the window until it ends.
    platform::setProcessPriority(platform::ProcessPriority::High);
    int status = 0;
    {
        CDravikDlg window(store);
        endOnStopSignals(window);
        window.show();
        QTimer::singleShot(0, &window, [&] {
            if (companions.loadMediaRuntime())
                return;
            std::fprintf(stderr, "dravik: %s cannot be loaded. Please install again.\n",
                         companions.missing().c_str());
            messagebox::tell(nullptr, QMessageBox::Critical, QString(),
                             QString::fromLatin1(kMissingFileMessage));
            QCoreApplication::exit(1);
        });
        status = QApplication::exec();
    }
    // 11.
    companions.release();
    return status;
}

} // namespace startup
