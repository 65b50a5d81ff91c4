// The window's figures: start-up of the real program to its first painted window (median of 10),
// the CPU share of the whole program while idle and while recording MP3 in real time (against
// dravik-cli recording the same), and the latency from a captured block to its meter on screen.
// Runs on the display it is given (DISPLAY, e.g. under xvfb-run) or offscreen, on the virtual
// sound card. Prints figures; passes or fails nothing.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CDravikDlg.h"
#include "CSkinMeter.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// CPU seconds (user + system) a process has used so far.
double cpuSeconds(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stod(field);
        if (i == 15)
            stime = std::stod(field);
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Home {
    testsupport::TempDir dir;
    fs::path temp = dir / "Temp";
    fs::path save = dir / "Save";

    explicit Home(const std::string& extra = {})
    {
        fs::create_directories(temp);
        fs::create_directories(save);
        fs::create_directories(dir / ".config/Brevon");
        std::ofstream ini(dir / ".config/Brevon/Dravik.ini");
        ini << "[1.0]\nTempFolder=" << temp.string() << "\nSaveFolder=" << save.string()
            << "\nbAlwaysOnTop=0\n"
            << extra;
    }

    QProcessEnvironment environment(const QString& audio) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(dir.path().string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir / ".config").string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path().string()));
        env.insert("DRAVIK_AUDIO", audio);
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
};

QString binary(const char* name)
{
    return QCoreApplication::applicationDirPath() + "/" + name;
}

// Milliseconds from starting dravik to its report of the first painted window; cpu receives the
// processor time it had used by then.
double startupToFirstPaint(double& cpu)
{
    Home home;
    QProcess p;
    QProcessEnvironment env = home.environment("virtual:in=tone");
    env.insert("DRAVIK_FIRST_PAINT", "exit");
    p.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    p.start(binary("dravik"), {});
    double shown = -1;
    std::string out;
    while (clock.elapsed() < 10000) {
        p.waitForReadyRead(20);
        out += p.readAllStandardError().toStdString();
        size_t at = out.find("first paint (cpu ");
        if (at != std::string::npos && out.find('\n', at) != std::string::npos) {
            shown = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            cpu = std::atof(out.c_str() + at + 17);
            break;
        }
        if (p.state() == QProcess::NotRunning)
            break;
    }
    p.waitForFinished(5000);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return shown;
}

// CPU share (percent of one core) of a program over `seconds`, after a moment to settle.
double cpuShare(const QString& program, const QStringList& args, const Home& home,
                const QString& audio, double seconds)
{
    QProcess p;
    p.setProcessEnvironment(home.environment(audio));
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double before = cpuSeconds(p.processId());
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    const double after = cpuSeconds(p.processId());
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished();
    }
    return 100.0 * (after - before) / wall;
}

// Latency from a captured block to its meter painted, in process on the virtual card.
class MeterPaints : public QObject {
public:
    explicit MeterPaints(CDravikDlg& window) : window_(window) {}
    std::vector<double> latencies;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            latencies.push_back(static_cast<double>(window_.recorder().msSinceLastBlock()));
        return false;
    }

private:
    CDravikDlg& window_;
};

void blockToMeter(double seconds, double& med, double& worst)
{
    Home home;
    SettingsStore store((home.dir / "bench.ini").string(), "1.0", home.dir.path().string());
    store.writeString("TempFolder", home.temp.string());
    store.writeString("SaveFolder", home.save.string());
    store.writeInt("bAlwaysOnTop", 0);
    // Noise moves the meter on almost every block.
    setenv("DRAVIK_AUDIO", "virtual:in=noise", 1);
    WindowServices services;
    services.tell = [](QWidget*, const QString&, bool) -> QWidget* { return nullptr; };
    CDravikDlg window(store, services);
    window.show();
    MeterPaints paints(window);
    window.meter(true)->installEventFilter(&paints);
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::quit(); });
    QApplication::exec();
    med = median(paints.latencies);
    worst = paints.latencies.empty()
                ? 0
                : *std::max_element(paints.latencies.begin(), paints.latencies.end());
    std::printf("  (%zu meter paints)\n", paints.latencies.size());
    window.close();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("dravik window benchmark (%s)\n",
                qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "X display");

    std::vector<double> firstPaint;
    std::vector<double> firstPaintCpu;
    for (int i = 0; i < 10; ++i) {
        double cpu = 0;
        double ms = startupToFirstPaint(cpu);
        if (ms >= 0) {
            firstPaint.push_back(ms);
            firstPaintCpu.push_back(cpu);
        }
    }
    std::printf("load average at the start: %s",
                [] {
                    std::ifstream load("/proc/loadavg");
                    std::string line;
                    std::getline(load, line);
                    return line + "\n";
                }()
                    .c_str());
    std::printf("start-up to first painted window: median %.1f ms, best %.1f ms, worst %.1f ms "
                "(%zu runs; target under 300 ms)\n",
                median(firstPaint),
                firstPaint.empty() ? 0 : *std::min_element(firstPaint.begin(), firstPaint.end()),
                firstPaint.empty() ? 0 : *std::max_element(firstPaint.begin(), firstPaint.end()),
                firstPaint.size());
    std::printf("processor time used by then: median %.1f ms\n", median(firstPaintCpu));

    const double seconds = 10;
    {
        Home idle;
        double share = cpuShare(binary("dravik"), {}, idle, "virtual:in=noise", seconds);
        std::printf("CPU while idle, meters moving: %.2f %% of one core (target under 2 %%)\n",
                    share);
    }
    {
        Home recording("Encode=1\nnAutoStart=1\n");
        double window = cpuShare(binary("dravik"), {}, recording, "virtual:in=noise", seconds);
        Home cli("Encode=1\n");
        double headless =
            cpuShare(binary("dravik-cli"), {"record", "--encode", "mp3", "--seconds", "60"}, cli,
                     "virtual:in=noise", seconds);
        std::printf("CPU while recording MP3 in real time: window %.2f %%, dravik-cli %.2f %%, "
                    "the window's share above it %.2f %% (target under 3 %%)\n",
                    window, headless, window - headless);
    }
    {
        double med = 0, worst = 0;
        blockToMeter(seconds, med, worst);
        std::printf("captured block to its meter painted: median %.0f ms, worst %.0f ms "
                    "(1 ms resolution)\n",
                    med, worst);
    }
    return 0;
}
