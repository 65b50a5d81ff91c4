// dravik-cli record started as a child process and ended by a signal or by its terminal going
// away: the take must be complete and playable, moved to --out, with its saved: line.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/testsupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

fs::path cliPath()
{
    return fs::read_symlink("/proc/self/exe").parent_path() / "dravik-cli";
}

// The child's environment: the virtual card, settings under the test's own home, and the
// sanitizers' options of the test run.
std::vector<std::string> childEnvironment(const fs::path& home)
{
    std::vector<std::string> env = {"DRAVIK_AUDIO=virtual:in=tone", "HOME=" + home.string(),
                                    "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                    "PATH=/usr/bin:/bin"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

class Recording {
public:
    // Starts "dravik-cli record" into dir/take.EXT. On a terminal, the child leads a session of
    // its own whose controlling terminal is a new pseudo-terminal, standard output included;
    // otherwise its standard output and error are a pipe the test reads.
    Recording(const testsupport::TempDir& dir, const std::string& encoding, bool onTerminal,
              const std::vector<std::string>& more = {})
        : temp_(dir / "temp"), out_(dir / ("take." + encoding))
    {
        fs::create_directories(dir / "home");
        std::vector<std::string> args = {cliPath().string(),
                                         "record",
                                         "--encode",
                                         encoding,
                                         "--vox",
                                         "off",
                                         "--auto-save",
                                         "none",
                                         "--temp-folder",
                                         temp_.string(),
                                         "--save-folder",
                                         (dir / "save").string(),
                                         "--out",
                                         out_.string()};
        args.insert(args.end(), more.begin(), more.end());
        std::vector<std::string> env = childEnvironment(dir / "home");
        auto argv = pointers(args);
        auto envp = pointers(env);

        if (onTerminal) {
            pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
            if (pid_ == 0) {
                execve(argv[0], argv.data(), envp.data());
                _exit(127);
            }
            return;
        }
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            dup2(pipeEnds[1], STDERR_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        output_ = pipeEnds[0];
    }

    ~Recording()
    {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            close(output_);
        if (terminal_ >= 0)
            close(terminal_);
    }

    bool started() const { return pid_ > 0; }

    // Waits until the take exists in the temporary folder, then lets it grow for a while.
    bool recordFor(std::chrono::milliseconds length, std::chrono::seconds patience = 15s)
    {
        for (auto until = std::chrono::steady_clock::now() + patience;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms)) {
            std::error_code ignored;
            if (fs::exists(temp_, ignored) && !fs::is_empty(temp_, ignored)) {
                std::this_thread::sleep_for(length);
                return true;
            }
        }
        return false;
    }

    void signal(int number) { kill(pid_, number); }

    // The terminal goes away, as when its window or the SSH session closes.
    void hangUp()
    {
        close(terminal_);
        terminal_ = -1;
    }

    // What the child wrote; -1 as the status when it did not end in time.
    int finish(std::string& output)
    {
        auto until = std::chrono::steady_clock::now() + 30s;
        while (output_ >= 0 && std::chrono::steady_clock::now() < until) {
            pollfd readable{output_, POLLIN, 0};
            if (poll(&readable, 1, 100) <= 0)
                continue;
            char buffer[4096];
            ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            output.append(buffer, static_cast<size_t>(n));
        }
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    const fs::path& temp() const { return temp_; }
    const fs::path& out() const { return out_; }

private:
    fs::path temp_;
    fs::path out_;
    pid_t pid_ = -1;
    int output_ = -1;
    int terminal_ = -1;
    bool reaped_ = false;
};

// The seconds dravik-cli info reads from a file, or -1 when it cannot play it.
double playableSeconds(const fs::path& file)
{
    std::string command = cliPath().string() + " info '" + file.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    if (pclose(pipe) != 0)
        return -1;
    auto at = text.find("duration:");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + 9);
}

void expectCompleteTake(const Recording& recording)
{
    EXPECT_TRUE(fs::is_empty(recording.temp())) << "the take was left in the temporary folder";
    ASSERT_TRUE(fs::exists(recording.out()));
    EXPECT_GT(fs::file_size(recording.out()), 1000u);
    EXPECT_GE(playableSeconds(recording.out()), 0.5) << recording.out();
}

} // namespace

TEST(CliSignals, InterruptTerminateAndHangUpEachSaveACompleteTakeWithItsSavedLine)
{
    const std::pair<int, const char*> cases[] = {
        {SIGINT, "wav"}, {SIGTERM, "mp3"}, {SIGHUP, "wma"}};
    for (const auto& [number, encoding] : cases) {
        SCOPED_TRACE(std::string(strsignal(number)) + ", " + encoding);
        testsupport::TempDir dir;
        Recording recording(dir, encoding, false);
        ASSERT_TRUE(recording.started());
        ASSERT_TRUE(recording.recordFor(1000ms));
        recording.signal(number);
        std::string output;
        EXPECT_EQ(recording.finish(output), 0) << output;
        EXPECT_NE(output.find("saved: " + recording.out().string() + " ("), std::string::npos)
            << output;
        expectCompleteTake(recording);
    }
}

TEST(CliSignals, AClosedTerminalEndsTheRecordingWithACompleteTake)
{
    testsupport::TempDir dir;
    Recording recording(dir, "wma", true);
    ASSERT_TRUE(recording.started());
    ASSERT_TRUE(recording.recordFor(1000ms));
    recording.hangUp();
    std::string output;
    EXPECT_EQ(recording.finish(output), 0);
    expectCompleteTake(recording);
}

TEST(CliSignals, AScheduledRecordingWaitsForItsMomentAndCtrlCWhileWaitingLeavesNoFile)
{
    auto timeOfDay = [](std::time_t moment) {
        char text[16];
        std::tm local{};
        localtime_r(&moment, &local);
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
        return std::string(text);
    };
    {
        testsupport::TempDir dir;
        const std::time_t at = std::time(nullptr) + 2;
        Recording recording(dir, "wav", false, {"--at", timeOfDay(at), "--seconds", "1"});
        ASSERT_TRUE(recording.started());
        ASSERT_TRUE(recording.recordFor(0ms, 30s));
        // Nothing is recorded before the moment.
        EXPECT_GE(std::time(nullptr), at);
        std::string output;
        EXPECT_EQ(recording.finish(output), 0) << output;
        expectCompleteTake(recording);
    }
    testsupport::TempDir dir;
    Recording waiting(dir, "wav", false, {"--at", timeOfDay(std::time(nullptr) + 120)});
    ASSERT_TRUE(waiting.started());
    std::this_thread::sleep_for(1500ms);
    waiting.signal(SIGINT);
    std::string output;
    EXPECT_EQ(waiting.finish(output), 0) << output;
    EXPECT_NE(output.find("nothing was recorded"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(waiting.out()));
    std::error_code ignored;
    EXPECT_TRUE(!fs::exists(waiting.temp(), ignored) || fs::is_empty(waiting.temp(), ignored));
}
