#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>

#include <lame/lame.h>

#include <random>

#include "BrevonCodec.h"
#include "file_test_support.h"
#include "mp3_writer.h"

using namespace filetest;

namespace {

struct Decoded {
    bool opened = false;
    WAVEFORMATEX format{};
    uint32_t chunkRoom = 0;
    std::vector<int16_t> samples;
};

// Opens an MP3 file and plays it from the start through the fill procedure.
Decoded decodeFile(const std::filesystem::path& path, uint32_t room = 0)
{
    Decoded d;
    d.opened = ReadOpenMP3File(path.c_str(), &d.chunkRoom, &d.format);
    if (!d.opened)
        return d;
    uint64_t start = 0;
    EXPECT_NE(WaveOutPlayStartCallBackProc(&start, 0), 0);
    std::vector<uint8_t> buffer(room ? room : d.chunkRoom);
    for (;;) {
        FillRequest request{buffer.data(), static_cast<uint32_t>(buffer.size()), 0};
        FillMP3DataCallBackProc(&request, 0);
        if (request.length == 0)
            break;
        EXPECT_LE(request.length, buffer.size());
        const auto* pcm = reinterpret_cast<const int16_t*>(buffer.data());
        d.samples.insert(d.samples.end(), pcm, pcm + request.length / 2);
    }
    return d;
}

// Frequency of one channel of a stretch of interleaved samples, from its rising zero crossings.
double frequency(const std::vector<int16_t>& samples, int channels, size_t first, size_t frames,
                 int rate)
{
    int crossings = 0;
    size_t firstCrossing = 0, lastCrossing = 0;
    for (size_t i = first + 1; i < first + frames; ++i) {
        int16_t a = samples[(i - 1) * channels], b = samples[i * channels];
        if (a < 0 && b >= 0) {
            if (crossings == 0)
                firstCrossing = i;
            lastCrossing = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return (crossings - 1) * static_cast<double>(rate) /
           static_cast<double>(lastCrossing - firstCrossing);
}

bool writeMp3(const std::filesystem::path& path, const std::vector<int16_t>& pcm,
              const WAVEFORMATEX& format, int kbps)
{
    if (!WriteOpenMP3File(path.c_str(), format, kbps))
        return false;
    const uint32_t block = format.nBlockAlign * (format.nSamplesPerSec / 25); // 40 ms
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    for (size_t at = 0; at < total; at += block)
        if (!writeBlock(bytes + at, static_cast<uint32_t>(std::min<size_t>(block, total - at))))
            return false;
    return WriteCloseFile();
}

} // namespace

TEST(Mp3Writer, EncoderSettingsFollowTheCaptureFormat)
{
    auto mono = file::encoderSettings(pcmFormat(1, 44100, 16), 8);
    EXPECT_EQ(mono.mode, 3);
    EXPECT_EQ(mono.sampleRate, 44100);
    EXPECT_EQ(mono.kbps, 8);
    auto stereo = file::encoderSettings(pcmFormat(2, 48000, 16), 192);
    EXPECT_EQ(stereo.mode, 0);
    EXPECT_EQ(stereo.channels, 2);
    EXPECT_TRUE(stereo.crc && stereo.privateBit && stereo.copyright && stereo.original);
    EXPECT_FALSE(stereo.vbrHeader || stereo.variableRate);
}

TEST(Mp3Writer, RefusesWithoutEncoderOrWritableFileAndLeavesNoFile)
{
    testsupport::TempDir dir;
    file::Mp3Writer writer;
    EXPECT_FALSE(writer.open((dir / "a.mp3").c_str(), pcmFormat(2, 44100, 16), 128,
                             "libmp3lame-missing.so.0"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mp3"));
    // Formats the encoder cannot take: refused before any file exists.
    EXPECT_FALSE(writer.open((dir / "b.mp3").c_str(), pcmFormat(2, 44100, 8), 128));
    EXPECT_FALSE(writer.open((dir / "c.mp3").c_str(), pcmFormat(2, 0, 16), 128));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.mp3"));
    EXPECT_FALSE(std::filesystem::exists(dir / "c.mp3"));
    EXPECT_FALSE(
        WriteOpenMP3File((dir / "no" / "folder.mp3").c_str(), pcmFormat(2, 44100, 16), 128));
    std::vector<uint8_t> block(7056);
    EXPECT_FALSE(writeBlock(block.data(), 7056));
}

TEST(Mp3Writer, AFullDiskIsReportedAndTheFramesWrittenStillPlay)
{
    testsupport::TempDir dir;
    auto tone = testsupport::sine16(1000, 44100, 2, 4.0);
    ASSERT_TRUE(WriteOpenMP3File((dir / "full.mp3").c_str(), pcmFormat(2, 44100, 16), 128));
    int failures = 0;
    {
        testsupport::FileSizeLimit limit(20000); // a little over a second at 128 kbit/s
        for (size_t at = 0; at < tone.size(); at += 3528)
            failures += writeBlock(tone.data() + at, 7056) ? 0 : 1;
        EXPECT_FALSE(WriteCloseFile()); // the encoder's last frames do not fit either
    }
    EXPECT_GT(failures, 0);
    auto bytes = testsupport::readFile(dir / "full.mp3");
    EXPECT_LE(bytes.size(), 20000u);
    auto d = decodeFile(dir / "full.mp3");
    ASSERT_TRUE(d.opened);
    EXPECT_GT(d.samples.size(), 44100u * 2);
    ReadCloseFile();
}

TEST(Mp3Writer, WritesConstantRateMpeg1FramesWithTheConfiguredFlags)
{
    testsupport::TempDir dir;
    const uint64_t pcmBefore = GetWaveInPosition();
    auto tone = testsupport::sine16(1000, 44100, 2, 2.0);
    ASSERT_TRUE(WriteOpenMP3File((dir / "t.mp3").c_str(), pcmFormat(2, 44100, 16), 128));
    const uint64_t mp3Before = GetWritePosition();
    for (size_t at = 0; at < tone.size(); at += 3528)
        ASSERT_TRUE(writeBlock(tone.data() + at, 7056));
    ASSERT_TRUE(WriteCloseFile());
    auto bytes = testsupport::readFile(dir / "t.mp3");
    EXPECT_EQ(GetWritePosition() - mp3Before, bytes.size());
    EXPECT_EQ(GetWaveInPosition() - pcmBefore, tone.size() * 2);

    // Walk every frame: MPEG-1 Layer III with CRC, 128 kbit/s, 44100 Hz, private, stereo,
    // copyright and original; no Xing or Info frame.
    size_t at = 0, frames = 0;
    while (at + 4 <= bytes.size()) {
        ASSERT_EQ(bytes[at], 0xFF) << "frame " << frames;
        ASSERT_EQ(bytes[at + 1], 0xFA);
        ASSERT_EQ(bytes[at + 2] & 0xF1, 0x91);
        ASSERT_EQ(bytes[at + 3] & 0xCF, 0x0C);
        const bool padded = bytes[at + 2] & 0x02;
        at += 144 * 128000 / 44100 + (padded ? 1 : 0);
        ++frames;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_GE(frames, 2 * 44100 / 1152u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("Xing"), std::string::npos);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("Info"), std::string::npos);
}

// Noise shaped towards the low end (each sample half the last plus a random step), which makes
// the encoder's psychoacoustic choices matter in every frame.
std::vector<int16_t> shapedNoise(size_t frames, int channels)
{
    std::minstd_rand random(7);
    std::uniform_int_distribution<int> step(-6000, 6000);
    std::vector<int16_t> pcm(frames * channels);
    int last[2] = {0, 0};
    for (size_t i = 0; i < pcm.size(); ++i) {
        int& v = last[i % channels];
        v = std::clamp(v / 2 + step(random), -32768, 32767);
        pcm[i] = static_cast<int16_t>(v);
    }
    return pcm;
}

TEST(Mp3Writer, EncodesExactlyAsAPlainConstantRateEncoderWithTheSameFlags)
{
    // Only what a constant bit rate uses may reach the encoder: a VBR quality or any other tuning
    // changes every frame (and the encoding time) while the file still looks alike.
    testsupport::TempDir dir;
    auto noise = shapedNoise(44100 * 2, 2);
    ASSERT_TRUE(writeMp3(dir / "ours.mp3", noise, pcmFormat(2, 44100, 16), 128));
    auto ours = testsupport::readFile(dir / "ours.mp3");

    lame_global_flags* plain = lame_init();
    ASSERT_NE(plain, nullptr);
    lame_set_in_samplerate(plain, 44100);
    lame_set_num_channels(plain, 2);
    lame_set_mode(plain, STEREO);
    lame_set_brate(plain, 128);
    lame_set_quality(plain, 2);
    lame_set_error_protection(plain, 1);
    lame_set_extension(plain, 1);
    lame_set_copyright(plain, 1);
    lame_set_original(plain, 1);
    lame_set_bWriteVbrTag(plain, 0);
    ASSERT_EQ(lame_init_params(plain), 0);
    std::vector<uint8_t> reference(noise.size() * 2 + 7200);
    int size = lame_encode_buffer_interleaved(plain, noise.data(), 44100 * 2, reference.data(),
                                              static_cast<int>(reference.size()));
    ASSERT_GE(size, 0);
    int tail = lame_encode_flush(plain, reference.data() + size,
                                 static_cast<int>(reference.size()) - size);
    lame_close(plain);
    ASSERT_GE(tail, 0);
    reference.resize(static_cast<size_t>(size + tail));
    ASSERT_GT(reference.size(), 30000u);
    EXPECT_TRUE(ours == reference)
        << "ours " << ours.size() << " bytes, plain " << reference.size();
}

TEST(Mp3Writer, ASingleBlockStillGivesADecodableFile)
{
    testsupport::TempDir dir;
    auto tone = testsupport::sine16(440, 44100, 1, 0.04);
    ASSERT_TRUE(writeMp3(dir / "one.mp3", tone, pcmFormat(1, 44100, 16), 64));
    auto d = decodeFile(dir / "one.mp3");
    ASSERT_TRUE(d.opened);
    EXPECT_GE(d.samples.size(), tone.size());
    ReadCloseFile();
}

TEST(Mp3Writer, ASwitchGoesOnInTheFileOpenedAheadAndBothDecodeWhole)
{
    testsupport::TempDir dir;
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    const auto tone = testsupport::sine16(1000, 44100, 2, 3.0);
    const uint32_t block = format.nBlockAlign * 1764; // 40 ms
    const auto* bytes = reinterpret_cast<const uint8_t*>(tone.data());
    const uint32_t total = static_cast<uint32_t>(tone.size() * 2);
    const uint32_t cut = block * 25; // one second into the first file
    ASSERT_TRUE(WriteOpenMP3File((dir / "a.mp3").c_str(), format, 128));
    ASSERT_TRUE(WriteOpenNextMP3File((dir / "b.mp3").c_str(), format, 128));
    for (uint32_t at = 0; at < total; at += block) {
        if (at == cut) {
            ASSERT_TRUE(WriteSwitchToNextFile());
            ASSERT_TRUE(WriteCloseFinishedFile());
        }
        ASSERT_TRUE(writeBlock(bytes + at, std::min(block, total - at)));
    }
    ASSERT_TRUE(WriteCloseFile());
    for (auto [name, frames] : {std::pair{"a.mp3", 44100u}, std::pair{"b.mp3", 88200u}}) {
        SCOPED_TRACE(name);
        auto d = decodeFile(dir / name);
        ASSERT_TRUE(d.opened);
        EXPECT_GE(d.samples.size() / 2, frames);
        EXPECT_LE(d.samples.size() / 2, frames + 2 * 1152 + 576);
        ReadCloseFile();
    }
}

TEST(Mp3RoundTrip, ATonesLengthAndFrequencySurviveOurWriterAndReader)
{
    testsupport::TempDir dir;
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        const auto tone = testsupport::sine16(1000, 44100, channels, 3.0);
        ASSERT_TRUE(writeMp3(dir / "tone.mp3", tone, pcmFormat(channels, 44100, 16), 128));
        auto d = decodeFile(dir / "tone.mp3");
        ASSERT_TRUE(d.opened);
        EXPECT_EQ(+d.format.nChannels, channels);
        EXPECT_EQ(+d.format.nSamplesPerSec, 44100u);
        EXPECT_EQ(GetBitRate(), 128000);
        const size_t inFrames = tone.size() / channels;
        const size_t outFrames = d.samples.size() / channels;
        // Every frame comes back: the sound plus the encoder's delay and the last frame's fill.
        EXPECT_GE(outFrames, inFrames);
        EXPECT_LE(outFrames, inFrames + 2 * 1152 + 576);
        // Every tenth of a second after the start holds the tone: no dropped or garbled frames.
        for (size_t t = 4410; t + 4410 <= inFrames; t += 4410)
            ASSERT_NEAR(frequency(d.samples, channels, t, 4410, 44100), 1000.0, 15.0) << t;
        ReadCloseFile();
    }
}

TEST(Mp3Reader, FixturesPlayWholeWhateverTheFillBufferAndAgainAfterAPlayStart)
{
    auto path = testsupport::fixture("speech-mpeg1-128k-joint.mp3");
    Decoded full = decodeFile(path);
    ASSERT_TRUE(full.opened);
    EXPECT_EQ(GetAvgBytesPerSec(), 16000u);
    EXPECT_EQ(GetDataSize(), std::filesystem::file_size(path));
    EXPECT_NEAR(static_cast<double>(full.samples.size() / 2), 1024472.0, 1152.0);
    // A second playback from the start delivers the same sound again.
    uint64_t start = 0;
    ASSERT_NE(WaveOutPlayStartCallBackProc(&start, 0), 0);
    size_t again = 0;
    std::vector<uint8_t> buffer(full.chunkRoom);
    for (;;) {
        FillRequest request{buffer.data(), full.chunkRoom, 0};
        FillMP3DataCallBackProc(&request, 0);
        if (request.length == 0)
            break;
        again += request.length;
    }
    EXPECT_EQ(again, full.samples.size() * 2);
    ReadCloseFile();

    Decoded small = decodeFile(path, 1000); // smaller than one converted chunk
    EXPECT_TRUE(small.samples == full.samples);
    ReadCloseFile();

    for (const char* name : {"speech-mpeg25-8k-8000.mp3", "speech-id3v2.mp3"}) {
        Decoded d = decodeFile(testsupport::fixture(name));
        EXPECT_TRUE(d.opened) << name;
        EXPECT_FALSE(d.samples.empty()) << name;
        ReadCloseFile();
    }
}

TEST(Mp3Reader, RefusesLayerTwoAndRandomBytes)
{
    for (const char* name : {"speech-layer2-named.mp3", "damaged-random.mp3", "empty.wav"}) {
        uint32_t room = 0;
        WAVEFORMATEX format{};
        EXPECT_FALSE(ReadOpenMP3File(testsupport::fixture(name).c_str(), &room, &format)) << name;
        EXPECT_EQ(ReadCloseFile(), 0) << name;
    }
}

// A damaged MPEG-2.5 file whose frames of other formats once held the decoder for about 30 s of
// CPU (intact files of its size take milliseconds): it now plays out what it holds in a bounded
// number of fills, with a CPU bound a hundred times what it takes.
TEST(Mp3Reader, ADamagedFileOfMixedFormatsPlaysOutWithoutLongWork)
{
    const std::clock_t start = std::clock();
    Decoded d = decodeFile(testsupport::fixture("damaged-slow-fill.mp3"), 4096);
    const double cpuSeconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    ReadCloseFile();
    ASSERT_TRUE(d.opened);
    const uint32_t rate = d.format.nSamplesPerSec; // a field of a packed record
    EXPECT_EQ(rate, 8000u);
    EXPECT_FALSE(d.samples.empty());
    // 18.9 KB at 8 kbit/s: at most about 19 s of sound.
    EXPECT_LT(d.samples.size(), 20u * 8000u);
    EXPECT_LT(cpuSeconds, 3.0);
}

// Encoded frames are gathered before they are written, but a file still being written already
// holds all but the last half second of sound, and at the close everything reaches the file.
TEST(Mp3Writer, AFileStillBeingWrittenPlaysToWithinHalfASecondAndTheCloseWritesTheRest)
{
    testsupport::TempDir dir;
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    const auto tone = testsupport::sine16(1000, 44100, 2, 3.0);
    const uint32_t block = format.nBlockAlign * 1764; // 40 ms
    file::Mp3Writer writer;
    ASSERT_TRUE(writer.open((dir / "open.mp3").c_str(), format, 128));
    uint64_t written = 0;
    std::vector<uint64_t> onDisk;
    const auto* bytes = reinterpret_cast<const uint8_t*>(tone.data());
    for (uint32_t at = 0; at + block <= tone.size() * 2; at += block) {
        ASSERT_TRUE(writer.write(bytes + at, block, written));
        onDisk.push_back(std::filesystem::file_size(dir / "open.mp3"));
        EXPECT_EQ(onDisk.back(), written);
    }
    // 75 blocks: the file grows every half second, never lagging by more than that.
    for (size_t i = 0; i < onDisk.size(); ++i) {
        const double seconds = 0.04 * static_cast<double>(i + 1);
        EXPECT_GE(static_cast<double>(onDisk[i]), 16000 * (seconds - 0.5) - 2 * 418) << i;
    }
    std::filesystem::copy_file(dir / "open.mp3", dir / "killed.mp3");
    auto killed = decodeFile(dir / "killed.mp3");
    ASSERT_TRUE(killed.opened);
    EXPECT_GE(killed.samples.size() / 2, 44100u * 2);
    ReadCloseFile();

    ASSERT_TRUE(writer.close(written));
    EXPECT_EQ(std::filesystem::file_size(dir / "open.mp3"), written);
    auto whole = decodeFile(dir / "open.mp3");
    ASSERT_TRUE(whole.opened);
    EXPECT_GE(whole.samples.size() / 2, 44100u * 3);
    ReadCloseFile();
}
