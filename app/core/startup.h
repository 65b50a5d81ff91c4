// Start-up of the program dravik: the companion files checked and held for the whole run, the
// two installer switches and the help and version texts, the single-instance test keyed by the
// caption, and the process priority. The window itself is the main window's; start-up only decides
// whether it runs.
#pragma once

#include <QLockFile>

#include <memory>
#include <optional>
#include <string>

#include "platform/library.h"

namespace startup {

inline constexpr const char* kMissingFileMessage =
    "Required file is missing or corrupted!\nPlease install again.";
inline constexpr const char* kAlreadyRunningMessage = "The program is already running!";
// LAME, the one companion that comes from the system.
inline constexpr const char* kLameSoname = "libmp3lame.so.0";

// The command line as one text: the arguments after the program's name joined by blanks.
std::string commandLine(int argc, char** argv);
// "/Install" matches only the bare switch; "/Uninstall" matches with any text after it (the
// first ten characters decide, as they are compared).
bool isInstall(const std::string& commandLine);
bool isUninstall(const std::string& commandLine);
// "--help" (or "-h") and "--version" as the whole command line: the text for standard output,
// answered before anything needs a display. Nothing for any other command line.
std::optional<std::string> helpAnswer(const std::string& commandLine);

// The companion files, loaded in their order and held until the program ends: the skin library
// (through the program's skin module), the media runtime and the wave engine by full path from
// the program's folder, LAME by its soname.
class Companions {
public:
    // Loads all four from folder; false with missing() naming the first that failed (the ones
    // that loaded are freed again). With deferMediaRuntime the media runtime, whose codecs take
    // most of the start-up time, is only looked for now and loaded by loadMediaRuntime() once the
    // window is on screen.
    bool load(const std::string& folder, bool deferMediaRuntime = false);
    bool loadMediaRuntime();
    void release();
    const std::string& missing() const { return missing_; }

private:
    platform::Library wmvcore_;
    platform::Library wave_;
    platform::Library lame_;
    std::string mediaRuntimePath_;
    std::string missing_;
};

// The single-instance test: a per-user lock named after the caption, held while the program
// runs. Two installations with different version texts run side by side.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& caption);
    // False when another copy holds the lock.
    bool acquire();
    const std::string& lockPath() const { return path_; }

private:
    std::string path_;
    std::unique_ptr<QLockFile> lock_;
};

// The program's whole run; returns the process's exit status.
int run(int argc, char** argv);

} // namespace startup
