// dravik-cli recover on takes that real recordings left when they were killed outright: listed
// with their lengths after their headers are mended, saved into the save folder, discarded; a
// take another process holds is never touched; leftovers are removed and "record" mentions what
// waits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "testsupport/killed_takes.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;
using testsupport::runCli;

namespace {

void put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

size_t find(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& what)
{
    auto at = std::search(bytes.begin(), bytes.end(), what.begin(), what.end());
    return at == bytes.end() ? std::string::npos : static_cast<size_t>(at - bytes.begin());
}

enum class Mend { Never, Always, Maybe };

// Puts a take's header back as it is before any size was written (a kill in its first second)
// and adds the start of a write the kill cut short. WAV: sizes 0 and a partial sample frame;
// WMA: no packets counted and half a packet. Says whether recovery must mend the take: a FLAC
// take never has its sample count until it is closed, an Opus take may end in a partial page,
// an MP3 take needs nothing.
Mend cutShortBeforeItsHeader(const fs::path& take)
{
    std::vector<uint8_t> bytes = testsupport::readFile(take);
    const std::string ext = take.extension().string();
    if (ext == ".wav") {
        size_t data = find(bytes, {'d', 'a', 't', 'a'});
        put(bytes, 4, data, 4);
        put(bytes, data + 4, 0, 4);
        bytes.insert(bytes.end(), {0x12, 0x34, 0x56});
    } else if (ext == ".wma") {
        size_t props = find(bytes, {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4,
                                    0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
        size_t data = 0;
        for (int i = 0; i < 8; ++i)
            data |= static_cast<size_t>(bytes[16 + static_cast<size_t>(i)]) << (8 * i);
        for (size_t field : {props + 40, props + 56, props + 64, props + 72, data + 40})
            put(bytes, field, 0, 8);
        put(bytes, data + 16, 50, 8);
        bytes.insert(bytes.end(), 1600, 0x5A);
    } else {
        return ext == ".flac" ? Mend::Always : ext == ".opus" ? Mend::Maybe : Mend::Never;
    }
    testsupport::writeFile(take, bytes);
    return Mend::Always;
}

double infoSeconds(const fs::path& home, const fs::path& file)
{
    testsupport::CliRun info = runCli(home, {"info", file.string()});
    std::smatch m;
    if (info.status != 0 ||
        !std::regex_search(info.out, m, std::regex(R"(duration:\s+([0-9.]+) s)")))
        return -1;
    return std::stod(m[1]);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void makeOld(const fs::path& file)
{
    timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    utimensat(AT_FDCWD, file.c_str(), times, 0);
}

} // namespace

TEST(CliRecover, TakesKilledMidRecordingAreMendedListedSavedAndDiscardedInEveryEncoding)
{
    testsupport::TempDir dir;
    const fs::path home = dir / "home";
    const fs::path temp = dir / "Temp";
    const fs::path save = dir / "Save";
    const fs::path other = dir / "Temp2";
    fs::create_directories(temp);
    fs::create_directories(other);
    fs::create_directories(save);
    const std::vector<std::string> encodings = testsupport::cliEncodings(home);
    std::vector<fs::path> takes = testsupport::recordAndKill(dir / "a", temp, encodings, 2.5);
    std::vector<fs::path> discardable =
        testsupport::recordAndKill(dir / "b", other, encodings, 1.5);
    ASSERT_EQ(takes.size(), encodings.size());
    std::vector<Mend> cut;
    for (const fs::path& take : takes) {
        ASSERT_FALSE(take.empty());
        cut.push_back(cutShortBeforeItsHeader(take));
    }

    // A take being recorded by another process: held by its lock, never offered nor changed.
    const fs::path held = temp / "tmp0500.wav";
    fs::copy_file(takes[0], held);
    const std::vector<uint8_t> heldBytes = testsupport::readFile(held);
    int holder = open(held.c_str(), O_RDWR);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    // Copies into the save folder that were cut short long ago, and one still being written
    // (slowly: its writer holds its lock).
    testsupport::writeFile(save / ".Brevon 1-0001.wav.part-a1B2c3", {1, 2, 3});
    testsupport::writeFile(save / ".Interview.mp3.partial-0badcafe", {});
    makeOld(save / ".Brevon 1-0001.wav.part-a1B2c3");
    makeOld(save / ".Interview.mp3.partial-0badcafe");
    testsupport::writeFile(save / ".Brevon 1-0002.wav.part-Zz9Yy8", {4, 5});
    makeOld(save / ".Brevon 1-0002.wav.part-Zz9Yy8");
    int writer = open((save / ".Brevon 1-0002.wav.part-Zz9Yy8").c_str(), O_RDWR);
    ASSERT_EQ(flock(writer, LOCK_EX), 0);
    // Files opened ahead of a split by the killed recordings, left alone since.
    for (const auto& entry : fs::directory_iterator(temp))
        if (entry.path().filename().string()[0] == '.')
            makeOld(entry.path());

    testsupport::CliRun listed =
        runCli(home, {"recover", "--temp-folder", temp.string(), "--save-folder", save.string()});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::vector<std::string> listing = lines(listed.out);
    ASSERT_EQ(listing.size(), takes.size()) << listed.out;
    std::vector<double> listedSeconds;
    for (size_t i = 0; i < takes.size(); ++i) {
        SCOPED_TRACE(encodings[i]);
        auto line = std::find_if(listing.begin(), listing.end(), [&](const std::string& l) {
            return l.rfind(takes[i].string() + "  ", 0) == 0;
        });
        ASSERT_NE(line, listing.end()) << listed.out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(*line, m, std::regex(R"((\d\d):(\d\d):(\d\d\.\d\d))")));
        const double seconds = std::stod(m[2]) * 60 + std::stod(m[3]);
        listedSeconds.push_back(seconds);
        if (cut[i] != Mend::Maybe) {
            EXPECT_EQ(line->find("(repaired)") != std::string::npos, cut[i] == Mend::Always)
                << *line;
        }
        // The mended file reads back as long as listed, and holds about what was recorded.
        EXPECT_NEAR(infoSeconds(home, takes[i]), seconds, 0.06);
        EXPECT_GT(seconds, 0.5);
    }
    for (const std::string& line : listing)
        EXPECT_EQ(line.find("tmp0500"), std::string::npos);
    EXPECT_EQ(testsupport::readFile(held), heldBytes);
    // The empty files opened ahead of a split and the abandoned copies are gone.
    for (const std::string& name : namesIn(temp))
        EXPECT_NE(name[0], '.') << name;
    EXPECT_EQ(namesIn(save), std::vector<std::string>{".Brevon 1-0002.wav.part-Zz9Yy8"});

    testsupport::CliRun saved = runCli(home, {"recover", "--save", "--temp-folder", temp.string(),
                                              "--save-folder", save.string()});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::vector<std::string> savedLines = lines(saved.out);
    ASSERT_EQ(savedLines.size(), takes.size()) << saved.out;
    for (const std::string& line : savedLines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(
            line, m,
            std::regex("saved: (.*/Brevon \\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d"
                       "(?: \\(\\d+\\))?\\.(\\w+)) \\(([0-9.]+) s\\)")))
            << line;
        const fs::path file = m[1].str();
        EXPECT_EQ(file.parent_path(), save);
        auto encoding = std::find(encodings.begin(), encodings.end(), m[2].str());
        ASSERT_NE(encoding, encodings.end());
        const size_t i = static_cast<size_t>(encoding - encodings.begin());
        EXPECT_NEAR(std::stod(m[3]), listedSeconds[i], 0.01);
        EXPECT_NEAR(infoSeconds(home, file), listedSeconds[i], 0.06);
    }
    EXPECT_EQ(namesIn(temp), std::vector<std::string>{"tmp0500.wav"});
    EXPECT_EQ(testsupport::readFile(held), heldBytes);
    close(holder);
    close(writer);

    // A recording mentions what waits in its temporary folder, then discarding removes it all.
    for (fs::path& take : discardable) {
        fs::path renamed = take;
        renamed.replace_filename("tmp07" + take.filename().string().substr(5));
        fs::rename(take, renamed);
        take = renamed;
    }
    testsupport::CliRun recorded =
        runCli(home, {"record", "--seconds", "1", "--encode", "wav", "--temp-folder",
                      other.string(), "--save-folder", (dir / "Save2").string()});
    EXPECT_EQ(recorded.status, 0) << recorded.err;
    EXPECT_NE(recorded.err.find(std::to_string(takes.size()) + " interrupted takes wait in " +
                                other.string()),
              std::string::npos)
        << recorded.err;
    testsupport::CliRun discarded =
        runCli(home, {"recover", "--discard", "--temp-folder", other.string(), "--save-folder",
                      (dir / "Save2").string()});
    ASSERT_EQ(discarded.status, 0) << discarded.err;
    for (const fs::path& take : discardable)
        EXPECT_NE(discarded.out.find("discarded: " + take.string() + "\n"), std::string::npos)
            << discarded.out;
    EXPECT_TRUE(namesIn(other).empty());
    EXPECT_EQ(runCli(home, {"recover", "--temp-folder", other.string()}).out,
              "no interrupted takes in " + other.string() + "\n");
}

TEST(CliRecover, TakesOfRecordingsStillRunningAreNeverOfferedNorTouched)
{
    testsupport::TempDir dir;
    const fs::path temp = dir / "Temp";
    fs::create_directories(temp);
    const std::vector<std::string> encodings = testsupport::cliEncodings(dir / "home");
    // Recordings of three one-second parts each, with a file opened ahead for the next split.
    std::vector<pid_t> children;
    for (const std::string& encoding : encodings) {
        const fs::path own = dir / ("home-" + encoding);
        fs::create_directories(own);
        children.push_back(fork());
        if (children.back() == 0) {
            testsupport::CliRun run =
                runCli(own, {"record", "--seconds", "3", "--split", "1", "--auto-save", "serial",
                             "--encode", encoding, "--vox", "off", "--temp-folder", temp.string(),
                             "--save-folder", (dir / ("Save-" + encoding)).string()});
            size_t saved = 0;
            for (size_t at = run.out.find("saved: "); at != std::string::npos;
                 at = run.out.find("saved: ", at + 1))
                ++saved;
            _exit(run.status == 0 && saved == 3 ? 0 : 1);
        }
    }
    // Once every recording has its take and its next file, recover looks, and would save what
    // it found.
    for (int i = 0; i < 2000 && namesIn(temp).size() < 2 * encodings.size(); ++i)
        usleep(5000);
    testsupport::CliRun listed =
        runCli(dir / "home", {"recover", "--save", "--temp-folder", temp.string(), "--save-folder",
                              (dir / "Save").string()});
    EXPECT_EQ(listed.out, "no interrupted takes in " + temp.string() + "\n");
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every part of every recording was saved where its recording put it: nothing was taken
    // from under it.
    for (const std::string& encoding : encodings)
        EXPECT_EQ(namesIn(dir / ("Save-" + encoding)).size(), 3u) << encoding;
}
