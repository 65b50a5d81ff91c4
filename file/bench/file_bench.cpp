// file-bench: WAV writing beside cp and dd, MP3 writing beside the lame command, MP3 reading
// beside the mpg123 command. Prints times, throughputs and ratios.
//   file-bench [--minutes N] [--folder DIR] [--repeat N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BrevonFile.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs a shell command and returns its time; exits when it fails.
double timeCommand(const std::string& command)
{
    auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return seconds(start);
}

template <typename F> double best(int repeat, F run)
{
    double fastest = 1e300;
    for (int i = 0; i < repeat; ++i)
        fastest = std::min(fastest, run());
    return fastest;
}

// Sound to encode: the speech fixture repeated, or a tone mix when it is not there.
std::vector<uint8_t> stereoPcm(const fs::path& fixture, size_t bytes)
{
    std::vector<uint8_t> source;
    WAVEFORMATEX format{};
    if (ReadOpenWaveFile(fixture.c_str(), &format) && format.nChannels == 2 &&
        format.wBitsPerSample == 16 && format.nSamplesPerSec == 44100) {
        uint64_t start = 0;
        WaveOutPlayStartCallBackProc(&start, 0);
        std::vector<uint8_t> buffer(65536);
        for (;;) {
            FillRequest request{buffer.data(), static_cast<uint32_t>(buffer.size()), 0};
            FillWaveDataCallBackProc(&request, 0);
            if (request.length == 0)
                break;
            source.insert(source.end(), buffer.begin(), buffer.begin() + request.length);
        }
    }
    ReadCloseFile();
    if (source.size() < 4) {
        source.resize(44100 * 4);
        for (size_t i = 0; i < source.size() / 2; ++i) {
            auto v = static_cast<int16_t>(8000 * ((i / 2 % 100) < 50 ? 1 : -1) + (rand() % 2000));
            std::memcpy(source.data() + i * 2, &v, 2);
        }
    }
    source.resize(source.size() / 4 * 4);
    std::vector<uint8_t> pcm(bytes);
    for (size_t at = 0; at < bytes; at += source.size())
        std::memcpy(pcm.data() + at, source.data(), std::min(source.size(), bytes - at));
    return pcm;
}

void writeWav(const fs::path& path, const std::vector<uint8_t>& pcm, const WAVEFORMATEX& format)
{
    WriteOpenWaveFile(path.c_str(), format);
    WAVEHDR header{};
    for (size_t at = 0; at < pcm.size(); at += 7056) {
        header.lpData = reinterpret_cast<char*>(const_cast<uint8_t*>(pcm.data() + at));
        header.dwBytesRecorded = static_cast<uint32_t>(std::min<size_t>(7056, pcm.size() - at));
        if (!WriteWaveDataCallBackProc(&header)) {
            std::fprintf(stderr, "write failed\n");
            std::exit(1);
        }
    }
    WriteCloseFile();
}

void writeMp3(const fs::path& path, const std::vector<uint8_t>& pcm, const WAVEFORMATEX& format)
{
    if (!WriteOpenMP3File(path.c_str(), format, 128)) {
        std::fprintf(stderr, "cannot open the MP3 writer (is libmp3lame.so.0 installed?)\n");
        std::exit(1);
    }
    WAVEHDR header{};
    for (size_t at = 0; at < pcm.size(); at += 7056) {
        header.lpData = reinterpret_cast<char*>(const_cast<uint8_t*>(pcm.data() + at));
        header.dwBytesRecorded = static_cast<uint32_t>(std::min<size_t>(7056, pcm.size() - at));
        WriteWaveDataCallBackProc(&header);
    }
    WriteCloseFile();
}

uint64_t decodeMp3(const fs::path& path)
{
    uint32_t room = 0;
    WAVEFORMATEX format{};
    if (!ReadOpenMP3File(path.c_str(), &room, &format)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(1);
    }
    uint64_t start = 0;
    WaveOutPlayStartCallBackProc(&start, 0);
    std::vector<uint8_t> buffer(room);
    uint64_t total = 0;
    for (;;) {
        FillRequest request{buffer.data(), room, 0};
        FillMP3DataCallBackProc(&request, 0);
        if (request.length == 0)
            break;
        total += request.length;
    }
    ReadCloseFile();
    return total;
}

std::string quoted(const fs::path& path)
{
    std::string text(1, '\'');
    text.append(path.string());
    text.push_back('\'');
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    double minutes = 10;
    int repeat = 2;
    fs::path folder = fs::temp_directory_path();
    fs::path fixture = fs::path(DRAVIK_FIXTURES_DIR) / "speech-44100-16-stereo.wav";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--minutes")
            minutes = std::atof(argv[i + 1]);
        else if (option == "--folder")
            folder = argv[i + 1];
        else if (option == "--repeat")
            repeat = std::max(1, std::atoi(argv[i + 1]));
    }
    char pattern[] = "file-bench-XXXXXX";
    fs::path work = folder / pattern;
    std::string workName = work.string();
    if (!mkdtemp(workName.data())) {
        std::fprintf(stderr, "cannot create a folder in %s\n", folder.c_str());
        return 1;
    }
    work = workName;

    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    const size_t bytes = static_cast<size_t>(minutes * 60) * 176400;
    const auto pcm = stereoPcm(fixture, bytes);
    const double megabytes = static_cast<double>(bytes) / 1e6;
    std::printf("Sound: %.1f min of 44100 Hz 16-bit stereo (%.1f MB), best of %d runs, in %s\n\n",
                minutes, megabytes, repeat, work.c_str());

    // WAV writing.
    const fs::path wav = work / "ours.wav";
    double ours = best(repeat, [&] {
        auto start = Clock::now();
        writeWav(wav, pcm, format);
        return seconds(start);
    });
    double cp = best(
        repeat, [&] { return timeCommand("cp " + quoted(wav) + " " + quoted(work / "cp.wav")); });
    double dd = best(repeat, [&] {
        return timeCommand("dd if=" + quoted(wav) + " of=" + quoted(work / "dd.wav") +
                           " bs=7056 status=none");
    });
    std::printf("WAV writing (7056-byte blocks)\n");
    std::printf("  WriteWaveDataCallBackProc  %7.3f s  %8.1f MB/s\n", ours, megabytes / ours);
    std::printf("  cp                         %7.3f s  %8.1f MB/s\n", cp, megabytes / cp);
    std::printf("  dd bs=7056                 %7.3f s  %8.1f MB/s\n\n", dd, megabytes / dd);
    fs::remove(work / "cp.wav");
    fs::remove(work / "dd.wav");

    // MP3 writing: the same sound through our writer and through the lame command.
    const fs::path ourMp3 = work / "ours.mp3";
    const fs::path lameMp3 = work / "lame.mp3";
    double encodeOurs = 0, encodeLame = 0;
    for (int i = 0; i < repeat; ++i) { // interleaved, so both see the same machine load
        auto start = Clock::now();
        writeMp3(ourMp3, pcm, format);
        double t = seconds(start);
        encodeOurs = i == 0 ? t : std::min(encodeOurs, t);
        t = timeCommand("lame --quiet -b 128 -h -p -c " + quoted(wav) + " " + quoted(lameMp3));
        encodeLame = i == 0 ? t : std::min(encodeLame, t);
    }
    std::printf("MP3 writing (128 kbit/s)\n");
    std::printf("  WriteOpenMP3File + blocks  %7.3f s  (%.1fx real time)\n", encodeOurs,
                minutes * 60 / encodeOurs);
    std::printf("  lame -b 128 -h -p -c       %7.3f s  (%.1fx real time)\n", encodeLame,
                minutes * 60 / encodeLame);
    std::printf("  ratio ours / lame          %7.3f  (limit 1.1)\n\n", encodeOurs / encodeLame);

    // MP3 reading: our file through our reader and through the mpg123 command.
    uint64_t decoded = 0;
    double decodeOurs = 0, decodeMpg123 = 0;
    for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        decoded = decodeMp3(ourMp3);
        double t = seconds(start);
        decodeOurs = i == 0 ? t : std::min(decodeOurs, t);
        t = timeCommand("mpg123 -q -w /dev/null " + quoted(ourMp3));
        decodeMpg123 = i == 0 ? t : std::min(decodeMpg123, t);
    }
    std::printf("MP3 reading (%.1f MB of PCM)\n", static_cast<double>(decoded) / 1e6);
    std::printf("  ReadOpenMP3File + fills    %7.3f s  (%.1fx real time)\n", decodeOurs,
                minutes * 60 / decodeOurs);
    std::printf("  mpg123 -w /dev/null        %7.3f s  (%.1fx real time)\n", decodeMpg123,
                minutes * 60 / decodeMpg123);
    std::printf("  ratio ours / mpg123        %7.3f\n", decodeOurs / decodeMpg123);

    fs::remove_all(work);
    return 0;
}
