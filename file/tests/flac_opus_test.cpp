// FLAC and Ogg Opus writing, read back by tools not ours (the flac tool, FFmpeg): exact samples
// for FLAC, length, channels and envelope for Opus, and what a file cut off while recording holds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "file_test_support.h"

using namespace filetest;
namespace fs = std::filesystem;

namespace {

// What a command writes to its standard output; empty when the tool is missing.
std::vector<uint8_t> commandOutput(const std::string& command)
{
    std::vector<uint8_t> bytes;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return bytes;
    uint8_t buffer[65536];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + got);
    pclose(pipe);
    return bytes;
}

bool haveTool(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const fs::path& path)
{
    return '\'' + path.string() + '\'';
}

// Noise over a sine, in little-endian samples of the format: hard to compress, every bit counts.
std::vector<uint8_t> testSignal(const WAVEFORMATEX& f, double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * f.nSamplesPerSec);
    const int bytes = f.wBitsPerSample / 8;
    const double full = bytes == 3 ? 8388607.0 : 32767.0;
    std::vector<uint8_t> out;
    uint32_t seed = 12345;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < f.nChannels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<int32_t>(seed) / 2147483648.0) * 0.05;
            const double v = 0.6 * std::sin(2 * M_PI * (330.0 + 110 * c) * i / f.nSamplesPerSec);
            const auto sample = static_cast<int32_t>(std::lround((v + noise) * full));
            for (int b = 0; b < bytes; ++b)
                out.push_back(static_cast<uint8_t>(sample >> (8 * b)));
        }
    }
    return out;
}

// Hands bytes to the writer in 40-ms blocks as the recorder does (the last one shorter).
void writeInBlocks(const std::vector<uint8_t>& pcm, const WAVEFORMATEX& f, size_t from = 0,
                   size_t to = SIZE_MAX)
{
    const size_t block = f.nAvgBytesPerSec / 25;
    to = std::min(to, pcm.size());
    for (size_t at = from; at < to; at += block)
        ASSERT_TRUE(writeBlock(pcm.data() + at, static_cast<uint32_t>(std::min(block, to - at))));
}

bool contains(const std::vector<uint8_t>& bytes, const std::string& text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// The sample count of a FLAC file's STREAMINFO (36 bits from byte 21).
uint64_t flacTotalSamples(const std::vector<uint8_t>& file)
{
    if (file.size() < 26)
        return UINT64_MAX;
    return uint64_t(file[21] & 0x0F) << 32 | uint64_t(file[22]) << 24 | uint64_t(file[23]) << 16 |
           uint64_t(file[24]) << 8 | file[25];
}

std::vector<uint8_t> flacToolDecode(const fs::path& file)
{
    return commandOutput("flac -d -s -c --force-raw-format --endian=little --sign=signed " +
                         quoted(file));
}

std::vector<uint8_t> ffmpegDecode(const fs::path& file, const char* format)
{
    return commandOutput("ffmpeg -v quiet -i " + quoted(file) + " -f " + format + " -c:a pcm_" +
                         format + " -");
}

std::vector<int16_t> toSamples(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to && i < s.size(); ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(std::max<size_t>(1, to - from)));
}

} // namespace

TEST(FlacWriter, ARecordingDecodesToExactlyTheSamplesCapturedByTheFlacToolAndByFfmpeg)
{
    if (!haveTool("flac") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "flac and ffmpeg are needed";
    for (const WAVEFORMATEX f : {pcmFormat(2, 44100, 16), pcmFormat(1, 48000, 24)}) {
        SCOPED_TRACE(f.wBitsPerSample);
        testsupport::TempDir dir;
        const fs::path file = dir / "take.flac";
        const std::vector<uint8_t> pcm = testSignal(f, 2.37);
        ASSERT_TRUE(WriteOpenFLACFile(file.c_str(), f));
        writeInBlocks(pcm, f);
        ASSERT_TRUE(WriteCloseFile());

        const std::vector<uint8_t> bytes = testsupport::readFile(file);
        // Lossless at level 5: well under the PCM's size for a signal this plain.
        EXPECT_LT(bytes.size(), pcm.size());
        EXPECT_EQ(flacTotalSamples(bytes), pcm.size() / f.nBlockAlign);
        EXPECT_TRUE(contains(bytes, "ENCODER=Dravik"));
        EXPECT_TRUE(contains(bytes, "DATE=20"));
        EXPECT_TRUE(flacToolDecode(file) == pcm);
        EXPECT_TRUE(ffmpegDecode(file, f.wBitsPerSample == 24 ? "s24le" : "s16le") == pcm);
    }
}

TEST(FlacWriter, AFileCutOffBeforeItsCloseKeepsEveryWholeFrameAndReadsBack)
{
    if (!haveTool("flac") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "flac and ffmpeg are needed";
    testsupport::TempDir dir;
    const WAVEFORMATEX f = pcmFormat(2, 44100, 16);
    const std::vector<uint8_t> pcm = testSignal(f, 4.0);
    const fs::path file = dir / "take.flac";
    ASSERT_TRUE(WriteOpenFLACFile(file.c_str(), f));
    const size_t cut = f.nAvgBytesPerSec * 5 / 2;
    writeInBlocks(pcm, f, 0, cut);
    // What a kill at this moment leaves on the disk.
    const fs::path copy = dir / "cut.flac";
    testsupport::writeFile(copy, testsupport::readFile(file));
    writeInBlocks(pcm, f, cut);
    ASSERT_TRUE(WriteCloseFile());

    EXPECT_EQ(flacTotalSamples(testsupport::readFile(copy)), 0u);
    for (const std::vector<uint8_t>& decoded :
         {flacToolDecode(copy), ffmpegDecode(copy, "s16le")}) {
        // Whole frames of 4096 sound frames: at most the one being gathered is missing.
        EXPECT_GE(decoded.size() + 4096 * f.nBlockAlign, cut);
        ASSERT_LE(decoded.size(), cut);
        EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), pcm.begin()));
    }
}

TEST(OpusWriter, ARecordingDecodesToItsLengthAndChannelsAndFollowsTheInputsEnvelope)
{
    if (!haveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is needed";
    struct Case {
        WAVEFORMATEX format;
        int kbps;
    };
    // Opus's own rate, and 44100 Hz resampled by the encoder.
    for (const Case c : {Case{pcmFormat(2, 48000, 16), 96}, Case{pcmFormat(1, 44100, 16), 24}}) {
        SCOPED_TRACE(c.kbps);
        const WAVEFORMATEX& f = c.format;
        testsupport::TempDir dir;
        const fs::path file = dir / "take.opus";
        // One second of tone, one of silence, one of tone.
        std::vector<uint8_t> pcm = testSignal(f, 3.0);
        std::fill(pcm.begin() + f.nAvgBytesPerSec, pcm.begin() + 2 * f.nAvgBytesPerSec, 0);
        ASSERT_TRUE(WriteOpenOpusFile(file.c_str(), f, c.kbps));
        writeInBlocks(pcm, f);
        ASSERT_TRUE(WriteCloseFile());

        const std::vector<uint8_t> bytes = testsupport::readFile(file);
        EXPECT_TRUE(contains(bytes, "OpusHead"));
        EXPECT_TRUE(contains(bytes, "ENCODER=Dravik"));
        EXPECT_TRUE(contains(bytes, "DATE=20"));
        // The bit rate asked for, give or take the encoder's variable rate and Ogg's pages.
        EXPECT_NEAR(bytes.size() * 8 / 3.0 / 1000, c.kbps, c.kbps * 0.35);
        // Decoded at 48 kHz in the file's own channels: the sound's length, to a frame of 20 ms.
        const std::vector<int16_t> decoded = toSamples(
            commandOutput("ffmpeg -v quiet -i " + quoted(file) + " -f s16le -ar 48000 -"));
        const size_t frames = decoded.size() / f.nChannels;
        EXPECT_NEAR(double(frames), 3 * 48000.0, 960);
        const size_t second = 48000 * size_t(f.nChannels);
        const double loud = rms(decoded, second / 10, second * 9 / 10);
        const double quiet = rms(decoded, second * 11 / 10, second * 19 / 10);
        const double loudAgain = rms(decoded, second * 21 / 10, second * 29 / 10);
        EXPECT_GT(loud, 5000);
        EXPECT_GT(loudAgain, 5000);
        EXPECT_LT(quiet, loud / 100);
    }
}

TEST(OpusWriter, AFileCutOffBeforeItsCloseReadsBackToWithinASecondOfTheCut)
{
    if (!haveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is needed";
    testsupport::TempDir dir;
    const WAVEFORMATEX f = pcmFormat(2, 48000, 16);
    const std::vector<uint8_t> pcm = testSignal(f, 4.0);
    const fs::path file = dir / "take.opus";
    ASSERT_TRUE(WriteOpenOpusFile(file.c_str(), f, 96));
    writeInBlocks(pcm, f, 0, f.nAvgBytesPerSec * 3);
    const fs::path copy = dir / "cut.opus";
    testsupport::writeFile(copy, testsupport::readFile(file));
    writeInBlocks(pcm, f, f.nAvgBytesPerSec * 3);
    ASSERT_TRUE(WriteCloseFile());
    const size_t frames =
        commandOutput("ffmpeg -v quiet -i " + quoted(copy) + " -f s16le -ar 48000 -").size() / 4;
    EXPECT_GE(frames, 2 * 48000u);
    EXPECT_LE(frames, 3 * 48000u);
}

TEST(FlacOpusWriters, AFormatTheyCannotTakeIsRefusedAndLeavesNoFile)
{
    testsupport::TempDir dir;
    EXPECT_FALSE(WriteOpenFLACFile((dir / "a.flac").c_str(), pcmFormat(2, 44100, 8)));
    EXPECT_FALSE(WriteOpenOpusFile((dir / "a.opus").c_str(), pcmFormat(2, 48000, 24), 96));
    EXPECT_FALSE(WriteOpenOpusFile((dir / "b.opus").c_str(), pcmFormat(2, 48000, 16), 0));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    // An empty Opus take (nothing written) still closes into a file with its headers.
    ASSERT_TRUE(WriteOpenOpusFile((dir / "c.opus").c_str(), pcmFormat(1, 48000, 16), 64));
    EXPECT_TRUE(WriteCloseFile());
    EXPECT_TRUE(contains(testsupport::readFile(dir / "c.opus"), "OpusTags"));
}
