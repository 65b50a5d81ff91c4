// Save As across file systems: how fast the copy runs beside cp, and how long the window's event
// loop goes without running while it copies (the window must never freeze).
#include "save_as_transfer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void writeTake(const fs::path& path, int megabytes)
{
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    for (int i = 0; i < megabytes; ++i)
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    fs::path from = fs::temp_directory_path() / "dravik-save-as-bench.wav";
    fs::path to = "/dev/shm/dravik-save-as-bench.wav";
    if (fs::space(fs::temp_directory_path()).available < static_cast<uintmax_t>(megabytes) << 21) {
        std::printf("not enough room in %s\n", fs::temp_directory_path().c_str());
        return 1;
    }

    std::printf("Save As of a %d MB take from %s to %s (another file system), 3 runs\n", megabytes,
                from.parent_path().c_str(), to.parent_path().c_str());
    std::printf("%-6s %12s %14s %22s\n", "run", "Dravik (s)", "cp + sync (s)",
                "window loop gap (ms)");
    saveas::TransferTexts texts{"Saving", "cannot open", "disk full", "error"};
    for (int run = 1; run <= 3; ++run) {
        writeTake(from, megabytes);
        std::system("sync");

        // A 10-ms timer stands for the window's meters; its largest gap is the longest freeze.
        QElapsedTimer clock;
        qint64 last = -1;
        qint64 worst = 0;
        QTimer tick;
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            qint64 now = clock.elapsed();
            if (last >= 0)
                worst = std::max(worst, now - last);
            last = now;
        });
        clock.start();
        tick.start();
        QElapsedTimer timer;
        timer.start();
        saveas::TransferResult result =
            saveas::saveTake(QString::fromStdString(from.string()),
                             QString::fromStdString(to.string()), texts, nullptr);
        double dravik = timer.elapsed() / 1000.0;
        tick.stop();
        if (!result.saved()) {
            std::printf("the copy failed: %s\n", result.reason.toUtf8().constData());
            return 1;
        }
        fs::remove(to);

        writeTake(from, megabytes);
        std::system("sync");
        timer.restart();
        std::string cp =
            "cp '" + from.string() + "' '" + to.string() + "' && sync '" + to.string() + "'";
        if (std::system(cp.c_str()) != 0)
            return 1;
        double reference = timer.elapsed() / 1000.0;
        fs::remove(to);
        fs::remove(from);
        std::printf("%-6d %12.2f %14.2f %22lld\n", run, dravik, reference,
                    static_cast<long long>(worst));
    }
    return 0;
}
