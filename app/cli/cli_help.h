// dravik-cli's help and version texts, and the exit statuses they document (also in the manual
// page, dravik-cli.1).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace clihelp {

// Exit statuses of dravik-cli.
inline constexpr int kExitOk = 0;     // done; a recording ended by a signal is done too
inline constexpr int kExitFailed = 1; // the command ran and failed (device, file, disk)
inline constexpr int kExitUsage = 2;  // the command line is wrong

// The help of one command ("record", "play", ...), or of the program for "".
// Nothing for a command that does not exist.
std::optional<std::string> helpText(const std::string& command);

// "dravik-cli 1.0".
std::string versionText();

// A request for help or the version on the command line: the text to print on standard output
// and the exit status, or a reason on standard error with the usage status. Nothing when the
// arguments ask for neither, so that the command runs.
struct HelpAnswer {
    std::string text;
    int status = kExitOk;
    bool toError = false;
};
std::optional<HelpAnswer> answerHelp(const std::vector<std::string>& args);

} // namespace clihelp
