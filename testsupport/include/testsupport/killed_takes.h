// Takes left behind as a crash leaves them: "dravik-cli record" (beside the test program) run on
// the virtual card and killed with SIGKILL in the middle of its recording.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// The encodings dravik-cli records ("wav", "mp3", "wma", and "flac" and "opus" where it has them).
// (Asks its help; `home` holds what the run leaves.)
std::vector<std::string> cliEncodings(const std::filesystem::path& home);

// Starts one recording per encoding at once, each with settings of its own under `home`, all into
// `tempFolder`, and kills each with SIGKILL once its take has grown (past its first 4 KiB) for
// about `seconds`. Returns
// the takes (the files with plain names), in the order of the encodings.
std::vector<std::filesystem::path> recordAndKill(const std::filesystem::path& home,
                                                 const std::filesystem::path& tempFolder,
                                                 const std::vector<std::string>& encodings,
                                                 double seconds);

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs dravik-cli with the arguments, on the virtual card, with its settings under `home`.
CliRun runCli(const std::filesystem::path& home, const std::vector<std::string>& args);

} // namespace testsupport
