// Recordings killed mid-take, and dravik-cli runs.
#include "testsupport/killed_takes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace testsupport {

namespace {

fs::path cliPath()
{
    return fs::read_symlink("/proc/self/exe").parent_path() / "dravik-cli";
}

std::vector<std::string> environment(const fs::path& home)
{
    std::vector<std::string> env = {"DRAVIK_AUDIO=virtual:in=tone,pace=realtime",
                                    "HOME=" + home.string(),
                                    "XDG_CONFIG_HOME=" + (home / ".config").string()};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "PATH"})
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    return env;
}

pid_t spawn(const fs::path& home, std::vector<std::string> args, const fs::path& out,
            const fs::path& err)
{
    fs::create_directories(home);
    args.insert(args.begin(), cliPath().string());
    std::vector<std::string> env = environment(home);
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string slurp(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

CliRun runCli(const fs::path& home, const std::vector<std::string>& args)
{
    CliRun run;
    const fs::path out = home / "cli.out";
    const fs::path err = home / "cli.err";
    pid_t pid = spawn(home, args, out, err);
    if (pid <= 0)
        return run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

std::vector<std::string> cliEncodings(const fs::path& home)
{
    std::vector<std::string> encodings = {"wav", "mp3", "wma"};
    const std::string help = runCli(home, {"help", "record"}).out;
    for (const char* more : {"flac", "opus"})
        if (help.find(more) != std::string::npos)
            encodings.push_back(more);
    return encodings;
}

std::vector<fs::path> recordAndKill(const fs::path& home, const fs::path& tempFolder,
                                    const std::vector<std::string>& encodings, double seconds)
{
    std::vector<pid_t> children;
    for (const std::string& encoding : encodings) {
        fs::path own = home / ("home-" + encoding);
        children.push_back(spawn(own,
                                 {"record", "--encode", encoding, "--vox", "off", "--auto-save",
                                  "none", "--temp-folder", tempFolder.string()},
                                 own / "out", own / "err"));
    }
    // Each take grows from the moment its sound reaches the disk.
    std::vector<fs::path> takes(encodings.size());
    auto deadline = std::chrono::steady_clock::now() + 20s;
    auto seen = [&] {
        bool all = true;
        for (size_t i = 0; i < encodings.size(); ++i) {
            std::error_code ignored;
            for (const auto& entry : fs::directory_iterator(tempFolder, ignored)) {
                std::string name = entry.path().filename().string();
                // Past its header: sound has reached the disk.
                if (name[0] != '.' && entry.path().extension() == "." + encodings[i] &&
                    fs::file_size(entry.path(), ignored) > 4096)
                    takes[i] = entry.path();
            }
            all = all && !takes[i].empty();
        }
        return all;
    };
    while (!seen() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (pid_t pid : children) {
        if (pid <= 0)
            continue;
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return takes;
}

} // namespace testsupport
