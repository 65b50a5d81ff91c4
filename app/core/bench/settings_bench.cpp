// settings-bench: the cost of settings reads and writes, beside the 40 ms a capture block has.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "settings/settings_store.h"

int main()
{
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    fs::path dir = fs::temp_directory_path() / "dravik-settings-bench";
    fs::create_directories(dir);
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", dir.string());
    store.install(1920, 1080);

    constexpr int kReads = 200000;
    auto start = Clock::now();
    long sum = 0;
    for (int i = 0; i < kReads; ++i)
        sum += store.readInt("voxlevel", 10);
    double readNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kReads;

    // What one capture block reads.
    start = Clock::now();
    for (int i = 0; i < kReads; ++i) {
        sum += store.readInt("nAutoStopTimeVOX", 60) + store.readInt("nAutoStopTime", 0) +
               store.readInt("nVOXONOFF", 0) + store.readInt("nSettingFileCheckButtonSates", 0) +
               store.readInt("nAutoStopVOX", 0) + store.readInt("voxlevel", 10);
    }
    double blockNs =
        std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kReads;

    constexpr int kWrites = 200;
    start = Clock::now();
    for (int i = 0; i < kWrites; ++i)
        store.writeInt("NumInst", i);
    double writeUs =
        std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kWrites;

    std::printf("settings read (integer):        %8.1f ns\n", readNs);
    std::printf("six reads of a capture block:   %8.1f ns  (%.5f %% of a 40 ms block)\n", blockNs,
                blockNs / 40e6 * 100.0);
    std::printf("settings write (to disk):       %8.1f us\n", writeUs);
    fs::remove_all(dir);
    return sum == 42 ? 1 : 0;
}
