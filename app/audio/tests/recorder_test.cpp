#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <thread>

#include "audio_test_support.h"
#include "format_tables.h"
#include "player.h"
#include "recorder.h"
#include "stream_headers.h"

namespace fs = std::filesystem;

namespace {

// Records on the virtual card until the recorder asks to stop (the time limit) or a split count
// is reached, answering WM_STOP_BUTTON as the window does.
struct Session {
    TestSettings settings;
    MessageLog window;
    std::unique_ptr<CRecorder> recorder;
    bool stopped = false;

    Session()
    {
        recorder = std::make_unique<CRecorder>(&window, *settings.store);
        window.onMessage = [this](const ReceivedMessage& m) {
            if (m.message == WM_STOP_BUTTON && !stopped) {
                stopped = true;
                recorder->StopRecording();
            }
        };
    }

    void set(const char* name, int value) { settings.store->writeInt(name, value); }

    // Starts the device and a recording with the VOX hold of a one-second tolerance.
    void start()
    {
        recorder->SetVoxHold(25);
        ASSERT_TRUE(recorder->StartDevice()) << recorder->lastError();
        ASSERT_TRUE(recorder->StartRecording()) << recorder->lastError();
    }

    void finish()
    {
        if (!stopped) {
            stopped = true;
            recorder->StopRecording();
        }
        recorder->StopDevice();
        // The part saver reports on its own thread; its messages arrive after it is done.
        EXPECT_TRUE(pumpUntil([&] { return recorder->partsBeingSaved() == 0; }));
        pumpFor(20);
    }
};

// Duration in seconds and format of a recorded file, read back through the player.
struct ReadBack {
    bool opened = false;
    double seconds = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
};

ReadBack readBack(const fs::path& path)
{
    ReadBack result;
    CPlayer player(nullptr);
    result.opened = player.Open(path.string());
    if (result.opened) {
        result.seconds = player.Duration() / 1e7;
        result.channels = player.Channels();
        result.rate = player.SampleRate();
        result.bits = player.BitsPerSample();
        player.Close();
    }
    return result;
}

// The left channel of a 16-bit stereo WAV file's sound.
std::vector<int16_t> leftSamples(const fs::path& path)
{
    std::vector<uint8_t> bytes = testsupport::readFile(path);
    std::vector<int16_t> left;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                        static_cast<uint32_t>(bytes[at + 7]) << 24;
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            for (size_t i = at + 8; i + 4 <= std::min(bytes.size(), at + 8 + size); i += 4)
                left.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
            break;
        }
        at += 8 + size + (size & 1);
    }
    return left;
}

size_t firstSound(const std::vector<int16_t>& samples)
{
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > 100)
            return i;
    }
    return samples.size();
}

} // namespace

TEST(Recorder, TimeLimitStopsOnceAndKeepsExactlyTheLimit)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("nAutoStopTime", 1);
    s.set("nAutoStopTimeVOX", 2);
    s.start();
    ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
    pumpFor(200);
    s.finish();
    // The automatic stop is posted once per recording, not with every later block.
    EXPECT_EQ(s.window.count(WM_STOP_BUTTON), 1u);
    EXPECT_EQ(s.recorder->TotalHundredths(), 200);
    ReadBack take = readBack(s.recorder->temporaryPath());
    ASSERT_TRUE(take.opened);
    EXPECT_NEAR(take.seconds, 2.0, 1e-6);
    EXPECT_EQ(take.rate, 44100);
    EXPECT_EQ(take.channels, 2);
    EXPECT_GT(s.window.count(WM_REC_LEVEL), 0u);
}

TEST(Recorder, BlockTimesCountOnlyTheBlocksARecordingSaw)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    ASSERT_TRUE(s.recorder->StartDevice()) << s.recorder->lastError();
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->blocksCaptured() >= 50; }));
    // Blocks that only feed the meters are not part of the figures.
    EXPECT_EQ(s.recorder->meanBlockMicros(), 0.0);
    EXPECT_EQ(s.recorder->largestBlockMicros(), 0.0);
    ASSERT_TRUE(s.recorder->StartRecording()) << s.recorder->lastError();
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->blocksGated() >= 20; }));
    s.finish();
    EXPECT_GT(s.recorder->meanBlockMicros(), 0.0);
    EXPECT_GE(s.recorder->largestBlockMicros(), s.recorder->meanBlockMicros());
}

TEST(Recorder, VoxWithAutoSaveSplitsEveryBurstIntoAFileOfItsOwn)
{
    // WAV, FLAC and Opus: every part holds the same sound, and the parts add up.
    for (int encode : {2, 3, 4}) {
        SCOPED_TRACE(encode);
        // Bursts: one second of tone, two of silence. The gate holds one second after each burst.
        useVirtualCard("in=bursts,pace=fast");
        Session s;
        s.set("Encode", encode);
        s.set("nVOXONOFF", 1);
        s.set("voxlevel", 10);
        s.set("nSettingFileCheckButtonSates", 2);
        s.set("SessionNum", 7);
        s.set("nAutoStopTime", 1);
        s.set("nAutoStopTimeVOX", 7);
        // Without pre-roll each file begins with the block that opened the gate.
        s.set("nVOXPreRoll", 0);
        s.start();
        ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
        s.recorder->AutoSave();
        s.finish();

        auto files = s.settings.filesIn(s.settings.save);
        ASSERT_GE(files.size(), 3u);
        // Opus's decoder counts its own start-up delay (6.5 ms) into the length.
        const double slack = encode == 4 ? 0.008 : 0.001;
        double sum = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "Brevon 7-%.4zu%s", i + 1,
                          encode == 2   ? ".wav"
                          : encode == 3 ? ".flac"
                                        : ".opus");
            EXPECT_EQ(files[i].filename().string(), expected);
            ReadBack segment = readBack(files[i]);
            ASSERT_TRUE(segment.opened) << files[i];
            sum += segment.seconds;
            // A burst and the hold after it: 25 loud and 23 held blocks. The card may be inside the
            // first burst when the recording starts, and the limit cuts the last.
            if (i > 0 && i + 1 < files.size()) {
                EXPECT_NEAR(segment.seconds, 1.92, slack) << files[i];
            } else {
                EXPECT_GT(segment.seconds, 0.0);
                EXPECT_LE(segment.seconds, 1.92 + slack);
            }
        }
        // Nothing silent beyond the hold was written: 7 s of written sound in all, in the parts.
        EXPECT_EQ(s.recorder->TotalHundredths(), 700);
        EXPECT_NEAR(sum, 7.0, slack * files.size());
        EXPECT_GE(s.window.count(WM_REC_SAVED), 3u);
        EXPECT_TRUE(s.settings.filesIn(s.settings.temp).empty());
    }
}

TEST(Recorder, VoxPreRollStartsEveryStretchHalfASecondEarlyAndNeverRepeatsSound)
{
    // Bursts: 1 s of tone, 2 s of silence. With a one-second hold, 1.08 s of each silence is
    // dropped, of which the last 0.5 s leads the next burst into its own file.
    useVirtualCard("in=bursts,pace=fast");
    Session s;
    s.set("nVOXONOFF", 1);
    s.set("nSettingFileCheckButtonSates", 2);
    s.set("nAutoStopTime", 1);
    s.set("nAutoStopTimeVOX", 12);
    s.set("nVOXPreRoll", 500);
    s.start();
    EXPECT_EQ(s.recorder->preRollBytes(), 88200u);
    ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
    s.recorder->AutoSave();
    s.finish();
    auto files = s.settings.filesIn(s.settings.save);
    ASSERT_GE(files.size(), 4u);
    size_t frames = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        std::vector<int16_t> left = leftSamples(files[i]);
        frames += left.size();
        // The first file may begin inside a burst, and the limit cuts the last.
        if (i == 0 || i + 1 == files.size())
            continue;
        EXPECT_NEAR(static_cast<double>(firstSound(left)), 22050.0, 1764.0) << files[i];
        // Pre-roll, burst, and the 23 quiet blocks the hold writes after it.
        EXPECT_EQ(left.size(), 22050u + 44100u + 23u * 1764u) << files[i];
    }
    // The pre-roll counts as recorded sound, and every frame is in exactly one file.
    EXPECT_EQ(s.recorder->TotalHundredths(), 1200);
    EXPECT_EQ(frames, 12u * 44100u);
}

TEST(Recorder, PreRollInOneFileNeverReachesBackIntoSoundAlreadyWritten)
{
    // A 1.6-s hold leaves 0.48 s of each silence dropped, less than the pre-roll: the take is
    // then the input without a gap and without a repeat, the 3-s loop of the card exactly.
    useVirtualCard("in=bursts,pace=fast");
    Session s;
    s.set("nVOXONOFF", 1);
    s.set("nAutoStopTime", 1);
    s.set("nAutoStopTimeVOX", 10);
    s.set("nVOXPreRoll", 2000);
    s.recorder->SetVoxHold(40);
    ASSERT_TRUE(s.recorder->StartDevice()) << s.recorder->lastError();
    ASSERT_TRUE(s.recorder->StartRecording()) << s.recorder->lastError();
    ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
    s.finish();
    std::vector<int16_t> left = leftSamples(s.recorder->temporaryPath());
    ASSERT_EQ(left.size(), 10u * 44100u);
    size_t repeats = 0;
    for (size_t i = 0; i + 3 * 44100 < left.size(); ++i)
        repeats += left[i] != left[i + 3 * 44100];
    EXPECT_EQ(repeats, 0u);
}

TEST(Recorder, ASplitOnRequestStartsANewFileAndSavesTheFirst)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("nSettingFileCheckButtonSates", 1);
    s.start();
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() >= 100; }));
    s.recorder->RequestSplit();
    ASSERT_TRUE(pumpUntil([&] { return !s.recorder->IsSplitRequested(); }));
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() >= 50; }));
    s.recorder->StopRecording();
    s.stopped = true;
    ASSERT_TRUE(s.recorder->AutoSave());
    s.finish();
    auto files = s.settings.filesIn(s.settings.save);
    ASSERT_GE(files.size(), 2u);
    std::regex stamped("Brevon \\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d( \\(\\d+\\))?\\.wav");
    for (const auto& file : files) {
        EXPECT_TRUE(std::regex_match(file.filename().string(), stamped)) << file;
        EXPECT_TRUE(readBack(file).opened);
    }
}

TEST(Recorder, EveryEncodingSplitsIntoWholePartsInOrderAndLeavesNoFileBehind)
{
    for (int encode : {2, 1, 0, 3, 4}) {
        SCOPED_TRACE(encode);
        useVirtualCard("in=tone,pace=fast");
        Session s;
        s.set("Encode", encode);
        s.set("nSettingFileCheckButtonSates", 2);
        s.set("SessionNum", 3);
        s.start();
        // Four splits in quick succession: each goes on in the file opened ahead.
        for (int split = 0; split < 4; ++split) {
            ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() >= 20; }));
            s.recorder->RequestSplit();
            ASSERT_TRUE(pumpUntil([&] { return !s.recorder->IsSplitRequested(); }));
        }
        ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() >= 20; }));
        s.recorder->StopRecording();
        s.stopped = true;
        ASSERT_TRUE(s.recorder->AutoSave());
        const double total = s.recorder->TotalHundredths() / 100.0;
        s.finish();

        auto files = s.settings.filesIn(s.settings.save);
        ASSERT_EQ(files.size(), 5u);
        double sum = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(files[i].stem().string(), "Brevon 3-000" + std::to_string(i + 1));
            ReadBack part = readBack(files[i]);
            ASSERT_TRUE(part.opened) << files[i];
            EXPECT_GE(part.seconds, 0.2 - 0.001) << files[i];
            sum += part.seconds;
        }
        // Every block is in one part: encoders add a little padding at the ends of each.
        EXPECT_NEAR(sum, total, encode == 2 || encode == 3 ? 0.001 : 5 * 0.15);
        EXPECT_GE(sum, total - 0.001);
        // The next file opened ahead was deleted at the stop.
        EXPECT_TRUE(s.settings.filesIn(s.settings.temp).empty());
        std::vector<std::string> saved;
        for (const auto& m : s.window.received)
            if (m.message == WM_REC_SAVED)
                saved.push_back(fs::path(m.text).filename().string());
        ASSERT_EQ(saved.size(), 5u);
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(saved[i], files[i].filename().string());
    }
}

TEST(Recorder, TemporaryNamesCountOnWrapAndSkipTakesThatExist)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("NumInst", 9999);
    // A take kept from an earlier run under the next name.
    testsupport::writeFile(s.settings.temp / "tmp0000.wav", {1, 2, 3});
    s.start();
    s.finish();
    EXPECT_EQ(fs::path(s.recorder->temporaryPath()).filename(), "tmp0001.wav");
    EXPECT_EQ(s.settings.store->readInt("NumInst", 0), 10001);
    EXPECT_EQ(s.settings.store->readString("sTempFileName", ""), "tmp0001.wav");
    EXPECT_EQ(testsupport::readFile(s.settings.temp / "tmp0000.wav"),
              (std::vector<uint8_t>{1, 2, 3}));
}

TEST(Recorder, AnEmptyTakeIsDeletedInsteadOfSaved)
{
    useVirtualCard("in=silence,pace=fast");
    Session s;
    s.set("nVOXONOFF", 1);
    s.set("nSettingFileCheckButtonSates", 1);
    s.start();
    pumpFor(100);
    s.recorder->StopRecording();
    s.stopped = true;
    EXPECT_TRUE(s.recorder->AutoSave());
    s.finish();
    EXPECT_TRUE(s.settings.filesIn(s.settings.save).empty());
    EXPECT_TRUE(s.settings.filesIn(s.settings.temp).empty());
}

TEST(Recorder, AnAutoSaveNeverReplacesAFileThatExists)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("nSettingFileCheckButtonSates", 2);
    s.set("SessionNum", 1);
    s.set("nAutoStopTime", 1);
    s.set("nAutoStopTimeVOX", 1);
    testsupport::writeFile(s.settings.save / "Brevon 1-0001.wav", {7});
    s.start();
    ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
    EXPECT_TRUE(s.recorder->AutoSave());
    s.finish();
    EXPECT_EQ(testsupport::readFile(s.settings.save / "Brevon 1-0001.wav"),
              std::vector<uint8_t>{7});
    EXPECT_TRUE(readBack(s.settings.save / "Brevon 1-0001 (2).wav").opened);
}

TEST(Recorder, APrefixCannotMoveATakeOutOfTheSaveFolder)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("nSettingFileCheckButtonSates", 2);
    s.settings.store->writeString("AutoSavePrefix", "../escaped");
    s.set("nAutoStopTime", 1);
    s.set("nAutoStopTimeVOX", 1);
    s.start();
    ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
    EXPECT_TRUE(s.recorder->AutoSave());
    s.finish();
    auto files = s.settings.filesIn(s.settings.save);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("escaped", 0), 0u);
}

TEST(Recorder, EveryEncodingRecordsAFileThatReadsBackWithItsFormatAndLength)
{
    struct Case {
        int encode;
        const char* rowKey;
        int row;
        int channels;
        int rate;
    };
    for (Case c : {Case{2, "nWAVFormat", 13, 1, 16000}, Case{2, "nWAVFormat", 2, 2, 44100},
                   Case{1, "nMP3Format", 11, 1, 44100}, Case{1, "nMP3Format", 10, 2, 44100},
                   Case{0, "nWMAFormat", 5, 2, 44100}, Case{0, "nWMAFormat", 0, 2, 44100},
                   Case{0, "nWMAFormat", 25, 1, 8000}}) {
        SCOPED_TRACE(std::string(c.rowKey) + " " + std::to_string(c.row));
        useVirtualCard("in=tone,pace=fast");
        Session s;
        s.set("Encode", c.encode);
        s.set(c.rowKey, c.row);
        s.set("nAutoStopTime", 1);
        s.set("nAutoStopTimeVOX", 3);
        s.start();
        ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
        s.finish();
        const char* extension = c.encode == 0 ? ".wma" : c.encode == 1 ? ".mp3" : ".wav";
        EXPECT_EQ(fs::path(s.recorder->temporaryPath()).extension(), extension);
        ReadBack take = readBack(s.recorder->temporaryPath());
        ASSERT_TRUE(take.opened);
        EXPECT_EQ(take.channels, c.channels);
        EXPECT_EQ(take.rate, c.rate);
        // Encoders add a little padding at the ends; the sound itself is all there.
        EXPECT_NEAR(take.seconds, 3.0, c.encode == 2 ? 1e-6 : 0.15);
    }
}

TEST(Recorder, EveryFlacAndOpusRowRecordsAFileThatReadsBackWithItsFormat)
{
    struct Case {
        int encode;
        int row;
    };
    std::vector<Case> cases;
    for (int row = 0; row < formats::kFLACRows; ++row)
        cases.push_back({formats::kFLAC, row});
    for (int row = 0; row < formats::kOpusRows; ++row)
        cases.push_back({formats::kOpus, row});
    for (Case c : cases) {
        const bool flac = c.encode == formats::kFLAC;
        SCOPED_TRACE(formats::encodingName(c.encode) + (' ' + formats::rowText(c.encode, c.row)));
        // Noise, so that the encoder spends its whole bit rate.
        useVirtualCard("in=noise,pace=fast");
        Session s;
        s.set("Encode", c.encode);
        s.set(flac ? "nFLACFormat" : "nOpusFormat", c.row);
        s.set("nAutoStopTime", 1);
        s.set("nAutoStopTimeVOX", 2);
        s.start();
        ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
        s.finish();
        const std::string take = s.recorder->temporaryPath();
        EXPECT_EQ(fs::path(take).extension(), flac ? ".flac" : ".opus");
        ReadBack back = readBack(take);
        ASSERT_TRUE(back.opened);
        if (flac) {
            const WAVEFORMATEX f = formats::flacFormat(c.row);
            auto info = headers::readFlacStreamInfo(take);
            ASSERT_TRUE(info);
            EXPECT_EQ(info->sampleRate, f.nSamplesPerSec);
            EXPECT_EQ(info->channels, f.nChannels);
            EXPECT_EQ(info->bitsPerSample, f.wBitsPerSample);
            EXPECT_EQ(info->totalSamples, 2 * f.nSamplesPerSec);
            EXPECT_EQ(back.channels, f.nChannels);
            EXPECT_NEAR(back.seconds, 2.0, 1e-6);
        } else {
            const formats::OpusRow row = formats::opusRow(c.row);
            EXPECT_TRUE(headers::fileIsOggOpus(take));
            EXPECT_EQ(back.channels, row.channels);
            EXPECT_NEAR(back.seconds, 2.0, 0.01);
            EXPECT_NEAR(fs::file_size(take) * 8 / 2.0 / 1000, row.kbps, row.kbps * 0.3);
        }
    }
}

TEST(Recorder, AnOutputFileThatCannotBeCreatedIsRefusedWithAReason)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.settings.store->writeString("TempFolder", (s.settings.dir / "no" / "such").string());
    s.recorder->SetVoxHold(25);
    ASSERT_TRUE(s.recorder->StartDevice());
    EXPECT_FALSE(s.recorder->StartRecording());
    EXPECT_NE(s.recorder->lastError().find("cannot create"), std::string::npos);
    EXPECT_FALSE(s.recorder->recording());
    s.finish();
}

TEST(Recorder, AVanishedDeviceEndsTheRecordingAndKeepsWhatWasRecorded)
{
    // In real time, so that the recording is running when the card fails after one second.
    useVirtualCard("in=tone,pace=realtime,fail=1");
    Session s;
    s.start();
    ASSERT_TRUE(pumpUntil([&] {
        s.recorder->CheckDevice();
        return s.stopped;
    }));
    s.finish();
    EXPECT_EQ(s.window.count(WM_REC_FAILED), 1u);
    ReadBack take = readBack(s.recorder->temporaryPath());
    ASSERT_TRUE(take.opened);
    // What was written before the card vanished (at most its one second) is kept whole.
    EXPECT_GT(s.recorder->FileHundredths(), 0);
    EXPECT_NEAR(take.seconds, s.recorder->FileHundredths() / 100.0, 0.011);
    EXPECT_LE(take.seconds, 1.0);
}

TEST(Recorder, MissingSettingsAndValuesOutOfRangeStillGiveAWorkingFormat)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("Encode", 9);
    s.set("nWAVFormat", 24);
    s.set("voxlevel", -40);
    s.set("nAutoStopTimeVOX", -5);
    s.set("nAutoStopTime", 1);
    ASSERT_TRUE(s.recorder->StartDevice()) << s.recorder->lastError();
    EXPECT_EQ(s.recorder->captureFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(s.recorder->captureFormat().nBlockAlign, 4);
    ASSERT_TRUE(s.recorder->StartRecording());
    pumpFor(100);
    // A negative time limit is no limit.
    EXPECT_EQ(s.window.count(WM_STOP_BUTTON), 0u);
    s.finish();
}

TEST(Recorder, AFullDiskStopsTheRecordingCleanlyAndKeepsWhatWasWritten)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    bool stopped = false;
    {
        // The disk as the writer sees it holds a little over one second of sound.
        testsupport::FileSizeLimit fullDisk(200000);
        s.start();
        stopped = pumpUntil([&] { return s.stopped; }, 10000);
    }
    ASSERT_TRUE(stopped);
    s.finish();
    ASSERT_EQ(s.window.count(WM_REC_FAILED), 1u);
    for (const auto& m : s.window.received) {
        if (m.message == WM_REC_FAILED) {
            EXPECT_NE(m.text.find("cannot write"), std::string::npos) << m.text;
        }
    }
    ReadBack take = readBack(s.recorder->temporaryPath());
    ASSERT_TRUE(take.opened);
    EXPECT_GT(take.seconds, 0.9);
    EXPECT_NEAR(take.seconds, s.recorder->FileHundredths() / 100.0, 0.011);
}

TEST(Recorder, ASaveFolderThatCannotBeWrittenLeavesTheTakeInTheTemporaryFolder)
{
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("nSettingFileCheckButtonSates", 1);
    s.set("nAutoStopTime", 1);
    s.set("nAutoStopTimeVOX", 1);
    // A save folder under a plain file cannot be written, not even by root.
    testsupport::writeFile(s.settings.dir / "plain", {0});
    s.settings.store->writeString("SaveFolder", (s.settings.dir / "plain" / "Save").string());
    s.start();
    ASSERT_TRUE(pumpUntil([&] { return s.stopped; }));
    s.recorder->AutoSave();
    s.finish();
    EXPECT_EQ(s.window.count(WM_REC_SAVED), 0u);
    EXPECT_EQ(s.window.count(WM_REC_FAILED), 1u);
    EXPECT_TRUE(readBack(s.recorder->temporaryPath()).opened);
}

TEST(Recorder, OnlyAWavTakeHasASizeLimitAndItStopsShortOfWhatItsHeaderDescribes)
{
    WAVEFORMATEX format = *formats::wavFormat(0);
    FileApi noLibrary;
    auto wav = makeWavTakeWriter(noLibrary, format);
    EXPECT_TRUE(wav->canTake(kLargestWavTakeBytes - 7056, 7056));
    EXPECT_FALSE(wav->canTake(kLargestWavTakeBytes - 7055, 7056));
    // The RIFF size (the data, its header and the format chunk) still fits in 32 bits.
    EXPECT_LT(kLargestWavTakeBytes + 46, 0xFFFFFFFFull);
    EXPECT_TRUE(makeMp3TakeWriter(noLibrary, format, 128)->canTake(uint64_t{1} << 40, 7056));
    EXPECT_TRUE(makeWmaTakeWriter(format)->canTake(uint64_t{1} << 40, 7056));
}

TEST(Recorder, AGateHeldOpenBeforeATakeDoesNotLetSoundUnderTheNewThresholdIn)
{
    // The tone is loud at the default level 10, so the gate is open between the takes; each
    // take then starts with level 100, which no peak reaches.
    useVirtualCard("in=tone,pace=fast");
    Session s;
    s.set("nVOXONOFF", 1);
    s.start();
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() > 20; }));
    s.recorder->StopRecording();
    for (int i = 0; i < 30; ++i) {
        s.set("voxlevel", 100);
        ASSERT_TRUE(s.recorder->StartRecording());
        pumpFor(15);
        s.recorder->StopRecording();
        EXPECT_EQ(s.recorder->FileHundredths(), 0) << "take " << i;
        s.set("voxlevel", 10);
        ASSERT_TRUE(s.recorder->StartRecording());
        pumpFor(5);
        s.recorder->StopRecording();
    }
    s.stopped = true;
    s.finish();
}

TEST(Recorder, ALevelMessageStillQueuedWhenTheRecorderGoesAwayIsHarmless)
{
    // The window may drop its queue only after the recorder is gone (the sanitizer build
    // catches a message that writes into the freed recorder).
    useVirtualCard("in=tone,pace=realtime");
    TestSettings settings;
    MessageLog window;
    auto recorder = std::make_unique<CRecorder>(&window, *settings.store);
    ASSERT_TRUE(recorder->StartDevice());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    recorder.reset();
    pumpFor(50);
    EXPECT_GE(window.count(WM_REC_LEVEL), 1u);
}
