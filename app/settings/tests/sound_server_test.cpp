// Dravik on a real sound server: a private PulseAudio daemon of the test's own (its runtime
// folder, a null sink and the native protocol, nothing else), with ALSA's default device pointed
// at it by a private ALSA configuration. A known sine played into the sink is recorded from ALSA's
// default device by dravik-cli, with DRAVIK_AUDIO unset, in WAV and MP3; `dravik-cli devices`
// names the server; and the Recording page on "Default sound device" drives and follows the
// server's capture volume. The tests are skipped, saying why, only where the daemon cannot start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QSlider>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "BrevonFile.h"
#include "platform/mixer.h"
#include "setting_source.h"
#include "sheet_test_support.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
// A tone whose period is no whole number of samples and no divisor of the server's 10-ms
// fragments, so that a lost or repeated stretch shows as a jump in its phase.
constexpr double kTone = 997.0;
constexpr double kAmplitude = 0.5;
constexpr const char* kSink = "dravik_sink";

// A child process that dies with the test process (also when the test crashes) and is ended and
// reaped when this goes.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::vector<std::string>& environment,
          const fs::path& log)
    {
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            std::vector<char*> argv, envp;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            for (const std::string& e : environment)
                envp.push_back(const_cast<char*>(e.c_str()));
            envp.push_back(nullptr);
            execvpe(argv[0], argv.data(), environment.empty() ? environ : envp.data());
            _exit(127);
        }
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running()
    {
        if (pid_ <= 0)
            return false;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = -1;
        return pid_ > 0;
    }
    void stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 300 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (kill(pid_, 0) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

struct Outcome {
    int status = -1;
    std::string output;
};

// Runs a shell command line in the test's environment; its exit status and both outputs.
Outcome run(const std::string& command)
{
    Outcome result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        result.output += buffer;
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The private daemon and the environment that leads this process and its children to it.
class PulseServer {
public:
    void start()
    {
        if (run("command -v pulseaudio pactl paplay").status != 0) {
            reason_ = "pulseaudio, pactl or paplay is not installed";
            return;
        }
        const fs::path runtime = dir_ / "run", socket = runtime / "pulse" / "native";
        fs::create_directories(runtime / "pulse");
        fs::permissions(runtime, fs::perms::owner_all);
        fs::create_directories(dir_ / "home");
        fs::create_directories(dir_ / "state");
        std::ofstream(dir_ / "client.conf") << "autospawn = no\n";
        // ALSA's default device and its controls go to the server; nothing else is defined.
        std::ofstream(dir_ / "asound.conf") << "pcm.default { type pulse }\n"
                                               "ctl.default { type pulse }\n";

        // The daemon gets an environment of its own: no display or session bus to reach out to.
        const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
        daemon_ = std::make_unique<Child>(
            std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--system=no",
                                     "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no",
                                     "--high-priority=no", "--log-target=stderr",
                                     "-L", "module-native-protocol-unix auth-anonymous=1",
                                     "-L",
                                     std::string("module-null-sink sink_name=") + kSink +
                                         " rate=44100 channels=2"},
            std::vector<std::string>{"PATH=" + path, "HOME=" + (dir_ / "home").string(),
                                     "XDG_RUNTIME_DIR=" + runtime.string(),
                                     "PULSE_RUNTIME_PATH=" + (runtime / "pulse").string(),
                                     "PULSE_STATE_PATH=" + (dir_ / "state").string()},
            dir_ / "pulse.log");

        setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir_ / "client.conf").c_str(), 1);
        setenv("ALSA_CONFIG_PATH", (dir_ / "asound.conf").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("HOME", (dir_ / "home").c_str(), 1);
        unsetenv("DRAVIK_AUDIO");
        if (!waitFor([&] { return !daemon_->running() || run("pactl info").status == 0; },
                     10000) ||
            !daemon_->running()) {
            reason_ = "the PulseAudio daemon did not start: " +
                      run("tail -n 5 '" + (dir_ / "pulse.log").string() + "'").output;
            daemon_.reset();
        }
    }
    void stop() { daemon_.reset(); }
    const std::string& reason() const { return reason_; }
    const fs::path& dir() const { return dir_.path(); }

private:
    testsupport::TempDir dir_;
    std::unique_ptr<Child> daemon_;
    std::string reason_;
};

// A WAV file of the tone, 16-bit stereo.
void writeToneWav(const fs::path& path, double seconds)
{
    const std::vector<int16_t> pcm = testsupport::sine16(kTone, kRate, 2, seconds, kAmplitude);
    const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    auto u32 = [](std::ofstream& out, uint32_t v) { out.write(reinterpret_cast<char*>(&v), 4); };
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    u32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(out, 16);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
    out.write(reinterpret_cast<const char*>(&format), 16);
    out.write("data", 4);
    u32(out, bytes);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

// A take decoded through Brevon.File's readers: its format and its left channel.
struct Take {
    WAVEFORMATEX format{};
    std::vector<int16_t> left;
};

Take decode(const fs::path& path, bool mp3)
{
    Take take;
    uint32_t room = 0;
    const bool opened = mp3 ? ReadOpenMP3File(path.c_str(), &room, &take.format)
                            : ReadOpenWaveFile(path.c_str(), &take.format);
    EXPECT_TRUE(opened) << path;
    if (!opened)
        return take;
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        FillRequest request{buffer.data(), static_cast<uint32_t>(buffer.size()), 0};
        if (mp3)
            FillMP3DataCallBackProc(&request, 0);
        else
            FillWaveDataCallBackProc(&request, 0);
        if (request.length == 0)
            break;
        const auto* samples = reinterpret_cast<const int16_t*>(buffer.data());
        for (uint32_t i = 0; i < request.length / 4; ++i)
            take.left.push_back(samples[2 * i]);
    }
    ReadCloseFile();
    return take;
}

// Checks that samples [from, to) of a channel are the tone at its level without a break: the
// whole stretch at the tone's level, no 10 ms of it far off that level (a gap of silence, a
// stretch at another volume), and the rising zero crossings at the tone's period, which a lost or
// repeated stretch of sound would break.
void expectUnbrokenTone(const std::vector<int16_t>& s, size_t from, size_t to, double tolerance)
{
    ASSERT_LT(from + kRate / 10, to);
    const double expectedRms = kAmplitude * 32767 / std::sqrt(2.0);
    auto rmsOf = [&](size_t begin, size_t end) {
        double sum = 0;
        for (size_t i = begin; i < end; ++i)
            sum += double(s[i]) * s[i];
        return std::sqrt(sum / double(end - begin));
    };
    EXPECT_NEAR(rmsOf(from, to), expectedRms, expectedRms * tolerance);
    int offWindows = 0;
    for (size_t at = from; at + kRate / 100 <= to; at += kRate / 100) {
        if (std::abs(rmsOf(at, at + kRate / 100) - expectedRms) > expectedRms * 0.2)
            ++offWindows;
    }
    EXPECT_EQ(offWindows, 0) << "10-ms stretches off the tone's level";
    const double period = kRate / kTone;
    double previous = -1;
    int breaks = 0, crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at = double(i - 1) + double(-s[i - 1]) / double(s[i] - s[i - 1]);
            if (previous >= 0 && std::abs(at - previous - period) > 0.75)
                ++breaks;
            previous = at;
            ++crossings;
        }
    }
    EXPECT_EQ(breaks, 0) << "of " << crossings << " periods";
    EXPECT_NEAR(crossings, double(to - from) / period, 2.0);
}

class SoundServer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new PulseServer;
        server->start();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!server->reason().empty())
            GTEST_SKIP() << server->reason();
    }
    static std::string pactl(const std::string& args)
    {
        Outcome r = run("pactl " + args);
        EXPECT_EQ(r.status, 0) << "pactl " << args << ": " << r.output;
        return r.output;
    }
    // The default source's volume in percent, left and right, as pactl reads it.
    static std::vector<int> sourceVolume()
    {
        const std::string text = pactl("get-source-volume @DEFAULT_SOURCE@");
        std::vector<int> percent;
        const std::regex number("(\\d+)%");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), number);
             it != std::sregex_iterator(); ++it)
            percent.push_back(std::stoi((*it)[1]));
        return percent;
    }
    static fs::path cli() { return fs::read_symlink("/proc/self/exe").parent_path() / "dravik-cli"; }

    static PulseServer* server;
};

PulseServer* SoundServer::server = nullptr;

TEST_F(SoundServer, CliRecordsTheServersToneFromAlsasDefaultDeviceInWavAndMp3)
{
    pactl(std::string("set-default-source ") + kSink + ".monitor");
    pactl("set-source-volume @DEFAULT_SOURCE@ 100%");
    pactl("set-source-mute @DEFAULT_SOURCE@ 0");
    testsupport::TempDir dir;
    writeToneWav(dir / "tone.wav", 30.0);
    // The tone plays for the whole test, into the sink whose monitor is the default source.
    Child player({"paplay", std::string("--device=") + kSink, (dir / "tone.wav").string()}, {},
                 dir / "paplay.log");
    ASSERT_TRUE(waitFor(
        [&] {
            return pactl("list short sinks").find(std::string(kSink) + "\t") != std::string::npos &&
                   pactl("list short sink-inputs").find('\t') != std::string::npos;
        },
        5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    for (const bool mp3 : {false, true}) {
        SCOPED_TRACE(mp3 ? "MP3" : "WAV");
        const fs::path take = dir / (mp3 ? "take.mp3" : "take.wav");
        Outcome r = run("'" + cli().string() + "' record --seconds 3 --encode " +
                    (mp3 ? "mp3" : "wav") + " --temp-folder '" + dir.path().string() +
                    "' --out '" + take.string() + "' </dev/null");
        ASSERT_EQ(r.status, 0) << r.output;
        ASSERT_TRUE(player.running()) << "the tone ended before the recording";
        const Take t = decode(take, mp3);
        EXPECT_EQ(t.format.nSamplesPerSec, uint32_t(kRate));
        EXPECT_EQ(t.format.nChannels, 2);
        if (!mp3) {
            // The server passes the sound through untouched at full volume: exactly 3 s.
            EXPECT_EQ(t.left.size(), size_t(3 * kRate));
            expectUnbrokenTone(t.left, 0, t.left.size(), 0.01);
        } else {
            // The encoder's delay and padding: within two frames of 3 s; its first and last
            // frames fade in and out, and a pure tone comes back about 0.5 dB low (lame itself
            // gives this tone back so).
            EXPECT_NEAR(double(t.left.size()), 3.0 * kRate, 2 * 1152);
            expectUnbrokenTone(t.left, 2 * 1152, t.left.size() - 2 * 1152, 0.1);
        }
    }
}

TEST_F(SoundServer, CliListsAlsasDefaultDeviceWithTheServersName)
{
    Outcome r = run("'" + cli().string() + "' devices");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string line = "  default: Default sound device, through PulseAudio\n";
    const size_t input = r.output.find("input devices:\n");
    const size_t output = r.output.find("output devices:\n");
    ASSERT_NE(input, std::string::npos) << r.output;
    ASSERT_NE(output, std::string::npos) << r.output;
    EXPECT_NE(r.output.find(line, input), std::string::npos) << r.output;
    EXPECT_LT(r.output.find(line, input), output) << r.output;
    EXPECT_NE(r.output.find(line, output), std::string::npos) << r.output;
}

// The Recording page alone in a sheet, over the store's chosen mixer.
struct RecordingPage {
    SheetStore store;
    WatchedContext context{*store.store};
    const SettingPageInfo pages[1] = {pageInfo("Recording")};
    std::unique_ptr<CSetting> sheet;
    CSettingSource* page = nullptr;

    void open()
    {
        sheet = std::make_unique<CSetting>(nullptr, context, pages);
        sheet->show();
        QCoreApplication::processEvents();
        page = static_cast<CSettingSource*>(sheet->page(0));
    }
    QSlider* left() const { return page->control<QSlider>(CSettingSource::LeftVolume); }
    QSlider* right() const { return page->control<QSlider>(CSettingSource::RightVolume); }
};

TEST_F(SoundServer, RecordingPageDrivesAndFollowsTheServersCaptureVolume)
{
    pactl(std::string("set-default-source ") + kSink + ".monitor");
    pactl("set-source-volume @DEFAULT_SOURCE@ 100%");
    // "Default sound device" is the only mixer: the machine has no card.
    ASSERT_EQ(platform::mixerGetNumDevs(), 1u);
    platform::MIXERCAPS caps{};
    ASSERT_EQ(platform::mixerGetDevCaps(0, &caps), 0u);
    EXPECT_STREQ(caps.szPname, "Default sound device");

    RecordingPage p;
    p.store.store->writeInt("uMxId", 0);
    p.store.store->writeInt("SourceList", 0);
    p.open();
    ASSERT_NE(p.page->mixer(), nullptr);
    EXPECT_EQ(p.page->control<QComboBox>(CSettingSource::DeviceChooser)->currentText(),
              "Default sound device");
    EXPECT_EQ(p.left()->value(), 0); // the top: full volume

    // The sliders run from full volume at the top (0) to none at the bottom (100).
    p.left()->setValue(60);
    EXPECT_EQ(sourceVolume(), (std::vector<int>{40, 40}));

    // A volume set on the server moves the sliders.
    pactl("set-source-volume @DEFAULT_SOURCE@ 25%");
    EXPECT_TRUE(pumpUntil([&] { return p.left()->value() == 75; }, 5000)) << p.left()->value();

    // Another default source chosen on the server is the page's the next time it opens, with
    // its own volume. (The PulseAudio plugin of ALSA fixes the source of a control device when it
    // is opened, so an open page goes on driving the source it opened with.)
    p.sheet.reset();
    const std::string module =
        pactl("load-module module-null-sink sink_name=dravik_other rate=44100 channels=2");
    pactl("set-source-volume dravik_other.monitor 70%");
    pactl("set-default-source dravik_other.monitor");
    p.open();
    EXPECT_NEAR(p.left()->value(), 30, 1);
    p.left()->setValue(50);
    EXPECT_EQ(sourceVolume(), (std::vector<int>{50, 50}));

    p.sheet.reset();
    pactl(std::string("set-default-source ") + kSink + ".monitor");
    pactl("unload-module " + module);
}

} // namespace
