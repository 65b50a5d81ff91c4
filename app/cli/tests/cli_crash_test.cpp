// dravik-cli record killed outright (kill -9: a crash, a power cut) in the middle of a take: what
// reached the temporary file must read back, by our reader and by ffmpeg, up to about the last
// second before the kill, in every encoding.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "player.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

fs::path cliPath()
{
    return fs::read_symlink("/proc/self/exe").parent_path() / "dravik-cli";
}

struct Child {
    pid_t pid = -1;
    fs::path temp;
    std::chrono::steady_clock::time_point started;
};

// Starts "dravik-cli record" on the virtual card in real time, into a temporary folder of its
// own; its output is dropped.
Child startRecording(const fs::path& dir, const std::string& encoding)
{
    Child child;
    child.temp = dir / ("temp-" + encoding);
    fs::create_directories(dir / "home");
    std::vector<std::string> args = {
        cliPath().string(), "record", "--encode",      encoding,           "--vox", "off",
        "--auto-save",      "none",   "--temp-folder", child.temp.string()};
    std::vector<std::string> env = {"DRAVIK_AUDIO=virtual:in=tone,pace=realtime",
                                    "HOME=" + (dir / "home").string(),
                                    "XDG_CONFIG_HOME=" + (dir / "home" / ".config").string()};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// The one file in a folder, once the recording has created it.
fs::path takeIn(const fs::path& folder)
{
    std::error_code ignored;
    // A hidden file is the one opened ahead for the next split.
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.path().filename().string().front() != '.')
            return entry.path();
    return {};
}

// Seconds of sound a decoding tool gives from a file: ffmpeg (any encoding), or the encoding's
// own tool (flac, opusdec); negative when the tool is not installed.
double decodedSeconds(const fs::path& file, const std::string& tool = "ffmpeg")
{
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
        return -1;
    const std::string quoted = '\'' + file.string() + '\'';
    // Each gives raw 16-bit samples: mono at 8000 Hz from ffmpeg, stereo at 44100 Hz from flac
    // and at 48000 Hz from opusdec (the rates the takes are recorded at).
    std::string command = "ffmpeg -v quiet -i " + quoted + " -f s16le -ac 1 -ar 8000 -";
    double bytesPerSecond = 16000;
    if (tool == "flac") {
        command = "flac -d -s -c --force-raw-format --endian=little --sign=signed " + quoted +
                  " 2>/dev/null";
        bytesPerSecond = 176400;
    } else if (tool == "opusdec") {
        command = "opusdec --quiet --rate 48000 " + quoted + " - 2>/dev/null";
        bytesPerSecond = 192000;
    }
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[65536];
    size_t bytes = 0;
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        bytes += got;
    pclose(pipe);
    return static_cast<double>(bytes) / bytesPerSecond;
}

} // namespace

TEST(CliCrash, ATakeKilledMidRecordingReadsBackUpToAboutItsLastSecondInEveryEncoding)
{
    int argc = 1;
    char name[] = "dravik-cli-crash-tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    testsupport::TempDir dir;
    const std::vector<std::string> encodings = {"wav", "mp3", "wma", "flac", "opus"};
    std::vector<Child> children;
    for (const auto& encoding : encodings)
        children.push_back(startRecording(dir.path(), encoding));
    // Each take is timed from the moment its file appears.
    for (auto& child : children) {
        ASSERT_GT(child.pid, 0);
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (takeIn(child.temp).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        child.started = std::chrono::steady_clock::now();
    }
    std::this_thread::sleep_for(3600ms);
    std::vector<double> recorded;
    for (auto& child : children) {
        recorded.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - child.started)
                .count());
        kill(child.pid, SIGKILL);
        int status = 0;
        waitpid(child.pid, &status, 0);
    }

    for (size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(encodings[i]);
        fs::path take = takeIn(children[i].temp);
        ASSERT_FALSE(take.empty());
        // The take may lose up to the second before the kill (and the encoder's frame or two).
        // On a busy machine the capture thread may run behind the clock, so the wall time only
        // bounds it loosely; the sound bytes a WAV take has on disk (and the MP3 bytes at a
        // constant 128 kbit/s) say exactly how much was written.
        double least = recorded[i] - 2.0;
        double size = static_cast<double>(fs::file_size(take));
        if (encodings[i] == "wav")
            least = std::max(least, (size - 46) / 176400 - 1.05);
        else if (encodings[i] == "mp3")
            least = std::max(least, size / 16000 - 0.2);
        CPlayer player(nullptr);
        ASSERT_TRUE(player.Open(take.string())) << player.lastError();
        double seconds = player.Duration() / 1e7;
        player.Close();
        EXPECT_GE(seconds, least);
        // What the header claims is what is there (a busy machine may record more than the
        // wall clock shows: blocks waiting in the engine's ring when the take began).
        double decoded = decodedSeconds(take);
        if (decoded >= 0) {
            EXPECT_GE(decoded, least);
            EXPECT_NEAR(decoded, seconds, 0.3);
        }
        // The encoding's own tool reads it too: a FLAC header never completed, an Ogg stream
        // never ended.
        if (encodings[i] == "flac" || encodings[i] == "opus") {
            double own = decodedSeconds(take, encodings[i] == "flac" ? "flac" : "opusdec");
            if (own >= 0) {
                EXPECT_GE(own, least);
            }
        }
    }
}
