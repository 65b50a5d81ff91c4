// dravik-cli on ALSA's devices when ALSA cannot open one: ALSA's own error lines stay off the
// terminal and its first one is the reason in dravik-cli's single line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

TEST(CliAlsa, AnInputDeviceAlsaCannotOpenGivesOneLineWithAlsasReason)
{
    testsupport::TempDir dir;
    // A configuration of ALSA's own that defines no device at all, not even "default".
    std::ofstream(dir / "asound.conf") << "# nothing\n";
    fs::create_directories(dir / "home");
    const fs::path cli = fs::read_symlink("/proc/self/exe").parent_path() / "dravik-cli";
    std::string command = "env -i PATH=/usr/bin:/bin HOME='" + (dir / "home").string() +
                          "' ALSA_CONFIG_PATH='" + (dir / "asound.conf").string() + "'";
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            command += std::string(" ") + name + "='" + value + "'";
    command += " '" + cli.string() + "' record --seconds 1 --temp-folder '" +
               (dir / "temp").string() + "' --out '" + (dir / "take.wav").string() +
               "' 2>&1 >/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string errors;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        errors += buffer;
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(errors.rfind("dravik-cli: cannot open the input device", 0), 0u) << errors;
    EXPECT_NE(errors.find("(ALSA: Unknown PCM default)\n"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
}
