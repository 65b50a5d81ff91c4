#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "audio_test_support.h"
#include "player.h"

namespace fs = std::filesystem;

namespace {

// The data chunk of a WAV file written by the virtual card.
std::vector<uint8_t> dataOf(const fs::path& wav)
{
    auto bytes = testsupport::readFile(wav);
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const size_t length = std::min<size_t>(size, bytes.size() - at - 8);
            return {bytes.begin() + long(at + 8), bytes.begin() + long(at + 8 + length)};
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

struct PlayResult {
    bool ended = false;
    double seconds = 0; // of sound written to the card's output
    size_t opened = 0;
    size_t progress = 0;
    std::vector<uint8_t> sound;
};

PlayResult playToFile(const fs::path& file, uint64_t start = 0)
{
    testsupport::TempDir dir;
    testApplication();
    fs::path out = dir / "out.wav";
    useVirtualCard("pace=fast,out=" + out.string());
    MessageLog window;
    PlayResult result;
    {
        CPlayer player(&window);
        if (!player.Open(file.string()))
            return result;
        WAVEFORMATEX format = player.format();
        player.Start(static_cast<uint32_t>(start), static_cast<uint32_t>(start >> 32));
        result.ended = pumpUntil([&] { return window.count(WM_PLAY_ENDED) > 0; });
        player.Stop();
        player.Close();
        pumpFor(20);
        result.sound = dataOf(out);
        result.seconds = static_cast<double>(result.sound.size()) / format.nAvgBytesPerSec;
    }
    result.opened = window.count(WM_PLAY_OPENED);
    result.progress = window.count(WM_PLAY_PROGRESS);
    return result;
}

} // namespace

TEST(Player, WavFilesArePulledAndPlayedWhole)
{
    PlayResult played = playToFile(testsupport::fixture("speech-16000-16-mono.wav"));
    ASSERT_TRUE(played.ended);
    EXPECT_EQ(played.opened, 1u);
    EXPECT_GT(played.progress, 0u);
    // 185890 bytes of file, 185846 of them sound at 32000 bytes a second.
    EXPECT_NEAR(played.seconds, (185890 - 44) / 32000.0, 0.05);
}

TEST(Player, MP3AndWMAFilesArePushedByTheReaderAndPlayedWhole)
{
    for (const char* name : {"speech-mpeg1-128k-joint.mp3", "speech-wmav2-128k-stereo.wma"}) {
        SCOPED_TRACE(name);
        testApplication();
        double duration = 0;
        {
            CPlayer probe(nullptr);
            ASSERT_TRUE(probe.Open(testsupport::fixture(name).string()));
            duration = probe.Duration() / 1e7;
            probe.Close();
        }
        PlayResult played = playToFile(testsupport::fixture(name));
        ASSERT_TRUE(played.ended);
        EXPECT_NEAR(played.seconds, duration, 0.1);
    }
}

TEST(Player, PushedFilesArePlayedSampleForSampleAsTheDecoderGivesThem)
{
    // Every sample, in order, nothing doubled or dropped between the reader, the engine's blocks
    // and the device's batches: the same bytes as FFmpeg's own decoding. FLAC and Opus made by
    // other encoders (24-bit FLAC, Opus under .opus and .ogg names, Vorbis under .ogg) too.
    for (const char* name : {"speech-mpeg1-128k-joint.mp3", "speech-wmav2-128k-stereo.wma",
                             "speech.flac", "speech-24-stereo-flac-tool.flac",
                             "speech-opusenc-64k.opus", "speech-opusenc-mono.ogg", "speech.ogg"}) {
        SCOPED_TRACE(name);
        testsupport::TempDir dir;
        const std::string command = "ffmpeg -v error -y -i '" +
                                    testsupport::fixture(name).string() + "' -f s16le '" +
                                    (dir / "ref.raw").string() + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            GTEST_SKIP() << "ffmpeg is not available";
        PlayResult played = playToFile(testsupport::fixture(name));
        ASSERT_TRUE(played.ended);
        EXPECT_TRUE(played.sound == testsupport::readFile(dir / "ref.raw"));
    }
}

TEST(Player, StartAtAPositionPlaysOnlyTheRest)
{
    auto file = testsupport::fixture("speech-44100-16-stereo.wav");
    PlayResult whole = playToFile(file);
    PlayResult rest = playToFile(file, 20000000); // 2 s
    ASSERT_TRUE(rest.ended);
    EXPECT_NEAR(whole.seconds - rest.seconds, 2.0, 0.05);
}

TEST(Player, AFlacFileWhoseHeaderWasNeverCompletedPlaysWholeAndSeeks)
{
    // A take cut off while recording: no length, no MD5 and no frame sizes in its header.
    testsupport::TempDir dir;
    std::vector<uint8_t> bytes = testsupport::readFile(testsupport::fixture("speech.flac"));
    ASSERT_GT(bytes.size(), 42u);
    std::fill(bytes.begin() + 12, bytes.begin() + 18, 0);
    bytes[21] &= 0xF0;
    std::fill(bytes.begin() + 22, bytes.begin() + 42, 0);
    const fs::path cut = dir / "cut.flac";
    testsupport::writeFile(cut, bytes);
    testApplication();
    {
        CPlayer player(nullptr);
        ASSERT_TRUE(player.Open(cut.string())) << player.lastError();
        EXPECT_NEAR(player.Duration() / 1e7, 256118 / 44100.0, 0.01);
    }
    PlayResult whole = playToFile(cut);
    ASSERT_TRUE(whole.ended);
    EXPECT_NEAR(whole.seconds, 256118 / 44100.0, 0.01);
    PlayResult rest = playToFile(cut, 20000000); // 2 s
    ASSERT_TRUE(rest.ended);
    EXPECT_NEAR(whole.seconds - rest.seconds, 2.0, 0.11);
}

TEST(Player, ATruncatedFlacOrOpusFilePlaysWhatItHoldsAndEnds)
{
    for (const char* name : {"damaged-truncated.flac", "damaged-truncated.opus"}) {
        SCOPED_TRACE(name);
        PlayResult played = playToFile(testsupport::fixture(name));
        ASSERT_TRUE(played.ended);
        EXPECT_GT(played.seconds, 0.5);
        EXPECT_LT(played.seconds, 5.0);
    }
}

TEST(Player, NamesEndingInWavArePulledAndOthersGoToTheReader)
{
    testApplication();
    testsupport::TempDir dir;
    fs::copy_file(testsupport::fixture("speech-16000-16-mono.wav"), dir / "take.WAV");
    CPlayer player(nullptr);
    ASSERT_TRUE(player.Open((dir / "take.WAV").string()));
    EXPECT_FALSE(player.readerMode());
    EXPECT_EQ(player.BitRate(), 0u);
    EXPECT_EQ(player.blockBytes(), 2u * 640u);
    player.Close();
    ASSERT_TRUE(player.Open(testsupport::fixture("speech-wmav2-32k-mono.wma").string()));
    EXPECT_TRUE(player.readerMode());
    EXPECT_EQ(player.SampleRate(), 22050);
    player.Close();
}

TEST(Player, AFileWithoutPlayableSoundIsRefused)
{
    testApplication();
    CPlayer player(nullptr);
    for (const char* name : {"damaged-random.wav", "damaged-random.mp3", "damaged-random.wma",
                             "empty.wav", "damaged-no-fmt.wav", "damaged-random.flac",
                             "damaged-random.opus", "empty.flac", "empty.opus"}) {
        EXPECT_FALSE(player.Open(testsupport::fixture(name).string())) << name;
        EXPECT_FALSE(player.fileOpen());
        EXPECT_FALSE(player.lastError().empty());
    }
    EXPECT_FALSE(player.Open("/no/such/file.mp3"));
}

TEST(Player, PauseTwicePausesOnceAndResumeWithoutPauseDoesNothing)
{
    testApplication();
    testsupport::TempDir dir;
    useVirtualCard("pace=realtime,out=" + (dir / "out.wav").string());
    MessageLog window;
    CPlayer player(&window);
    ASSERT_TRUE(player.Open(testsupport::fixture("speech-16000-16-mono.wav").string()));
    player.Resume();
    EXPECT_FALSE(player.paused());
    player.Start(0, 0);
    ASSERT_TRUE(pumpUntil([&] { return window.count(WM_PLAY_OPENED) > 0; }, 5000));
    player.Pause();
    player.Pause();
    EXPECT_TRUE(player.paused());
    pumpFor(100);
    size_t progress = window.count(WM_PLAY_PROGRESS);
    pumpFor(300);
    // While paused no block is played.
    EXPECT_LE(window.count(WM_PLAY_PROGRESS), progress + 1);
    player.Resume();
    EXPECT_FALSE(player.paused());
    ASSERT_TRUE(pumpUntil([&] { return window.count(WM_PLAY_PROGRESS) > progress + 3; }, 5000));
    player.Stop();
    ASSERT_TRUE(pumpUntil([&] { return window.count(WM_PLAY_ENDED) > 0; }, 5000));
    player.Close();
}

TEST(Player, AWindowThatFallsBehindGetsOneProgressMessageNotABacklog)
{
    testApplication();
    testsupport::TempDir dir;
    useVirtualCard("pace=realtime,out=" + (dir / "out.wav").string());
    MessageLog window;
    CPlayer player(&window);
    ASSERT_TRUE(player.Open(testsupport::fixture("speech-16000-16-mono.wav").string()));
    player.Start(0, 0);
    ASSERT_TRUE(pumpUntil([&] { return window.count(WM_PLAY_OPENED) > 0; }, 5000));
    // The window is busy for half a second: about twelve 40-ms blocks are played meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const size_t before = window.count(WM_PLAY_PROGRESS);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.count(WM_PLAY_PROGRESS), before + 1);
    // Once handled, the next block is posted again.
    ASSERT_TRUE(pumpUntil([&] { return window.count(WM_PLAY_PROGRESS) > before + 3; }, 5000));
    player.Stop();
    ASSERT_TRUE(pumpUntil([&] { return window.count(WM_PLAY_ENDED) > 0; }, 5000));
    player.Close();
}
