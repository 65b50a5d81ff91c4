#include <gtest/gtest.h>

#include <filesystem>

#include "audio_test_support.h"
#include "player.h"
#include "recording_controller.h"
#include "take_files.h"

namespace fs = std::filesystem;

namespace {

// A window stand-in: answers the recorder's messages through the controller, as the main window
// does, with a free-space reading the test sets.
struct ControlledSession {
    TestSettings settings;
    MessageLog window;
    std::unique_ptr<CRecorder> recorder;
    std::unique_ptr<RecordingController> controller;
    std::optional<uint64_t> freeBytes = uint64_t{1} << 40;
    std::vector<RecordingController::StopResult> stops;
    int splitsRequested = 0;

    ControlledSession()
    {
        recorder = std::make_unique<CRecorder>(&window, *settings.store);
        controller = std::make_unique<RecordingController>(
            *recorder, *settings.store, [this](const std::string&) { return freeBytes; });
        window.onMessage = [this](const ReceivedMessage& m) {
            if (!controller)
                return;
            if (m.message == WM_STOP_BUTTON)
                stops.push_back(controller->stop());
            else if (m.message == WM_REC_LEVEL)
                splitsRequested += controller->onLevel();
        };
    }

    ~ControlledSession()
    {
        if (!recorder)
            return;
        controller->stop();
        recorder->StopDevice();
        pumpUntil([&] { return controller->partsBeingSaved() == 0; });
        pumpFor(20);
    }

    void set(const char* name, int value) { settings.store->writeInt(name, value); }
    void set(const char* name, const char* value) { settings.store->writeString(name, value); }

    void startDevice() { ASSERT_TRUE(recorder->StartDevice()) << recorder->lastError(); }

    double seconds(const fs::path& file)
    {
        CPlayer player(nullptr);
        if (!player.Open(file.string()))
            return -1;
        double length = player.Duration() / 1e7;
        player.Close();
        return length;
    }
};

} // namespace

TEST(RecordingController, VoxToleranceTextsBecomeHoldsInBlocks)
{
    using C = RecordingController;
    EXPECT_EQ(C::voxHoldBlocks("1.0", C::kRecordingBlockSeconds), 25);
    EXPECT_EQ(C::voxHoldBlocks("0.4", C::kPageBlockSeconds), 8);
    // Truncated in double precision: 0.6 ÷ 0.05 is just under 12.
    EXPECT_EQ(C::voxHoldBlocks("0.6", C::kPageBlockSeconds), 11);
    EXPECT_EQ(C::voxHoldBlocks(" 30", C::kRecordingBlockSeconds), 750);
    EXPECT_EQ(C::voxHoldBlocks("2.0s", C::kRecordingBlockSeconds), 50);
    EXPECT_EQ(C::voxHoldBlocks("", C::kRecordingBlockSeconds), 0);
    EXPECT_EQ(C::voxHoldBlocks("loud", C::kRecordingBlockSeconds), 0);
    EXPECT_EQ(C::voxHoldBlocks("-1", C::kRecordingBlockSeconds), 0);
    EXPECT_EQ(C::voxHoldBlocks("1e300", C::kRecordingBlockSeconds), INT_MAX);
}

TEST(RecordingController, WindowCreationAndTheVoxPageUseTheirOwnDivisorAndEveryStartTheRecordingOne)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    // Nothing stored: window creation reads "0.4".
    EXPECT_EQ(s.controller->holdForWindowCreation(), 8);
    s.set("VoxToleranceTime", "1.0");
    EXPECT_EQ(s.controller->holdForWindowCreation(), 20);
    EXPECT_EQ(s.controller->holdForVoxPage("3.0"), 60);
    s.startDevice();
    ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
    EXPECT_EQ(s.recorder->voxHold(), 25);
}

TEST(RecordingController, EveryRecordingStartCountsTheSessionAndPauseDoesNot)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    s.set("SessionNum", 4);
    s.startDevice();
    using O = RecordingController::RecordOutcome;
    EXPECT_EQ(s.controller->record().outcome, O::Started);
    EXPECT_EQ(s.controller->record().outcome, O::Paused);
    EXPECT_TRUE(s.recorder->paused());
    EXPECT_EQ(s.controller->record().outcome, O::Resumed);
    EXPECT_EQ(s.settings.store->readInt("SessionNum", 0), 5);
    s.controller->stop();
    s.controller->releaseTake();
    EXPECT_EQ(s.controller->record().outcome, O::Started);
    EXPECT_EQ(s.settings.store->readInt("SessionNum", 0), 6);
}

TEST(RecordingController, LowDiskSpaceRefusesToRecordAndUnknownSpaceDoesNot)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    s.startDevice();
    s.freeBytes = 9 * 1048576;
    RecordingController::RecordResult result = s.controller->record();
    EXPECT_EQ(result.outcome, RecordingController::RecordOutcome::LowDisk);
    EXPECT_EQ(result.message, "Not enough free disk space!\nNo recording was started.");
    EXPECT_FALSE(s.recorder->recording());
    EXPECT_TRUE(s.settings.filesIn(s.settings.temp).empty());
    // The check repeats its verdict at every call while space stays low.
    EXPECT_FALSE(s.controller->checkDiskSpace().ok);
    EXPECT_FALSE(s.controller->checkDiskSpace().ok);

    s.freeBytes = RecordingController::kLowDiskBytes;
    EXPECT_TRUE(s.controller->checkDiskSpace().ok);
    s.freeBytes.reset();
    EXPECT_TRUE(s.controller->checkDiskSpace().ok);
    EXPECT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
}

TEST(RecordingController, AStartThatFailsSaysWhyInPlainWords)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    // The device was never started.
    RecordingController::RecordResult result = s.controller->record();
    EXPECT_EQ(result.outcome, RecordingController::RecordOutcome::Failed);
    EXPECT_NE(result.message.find("input device"), std::string::npos) << result.message;
}

TEST(RecordingController, StopHoldsATakeWithSoundAndDeletesAnEmptyOne)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    s.startDevice();
    using O = RecordingController::StopOutcome;
    EXPECT_EQ(s.controller->stop().outcome, O::NotRecording);

    ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() >= 50; }));
    s.controller->record(); // paused: the stop lifts the pause first
    RecordingController::StopResult held = s.controller->stop();
    EXPECT_EQ(held.outcome, O::TakeHeld);
    EXPECT_FALSE(s.recorder->paused());
    EXPECT_GE(held.hundredths, 50);
    EXPECT_TRUE(s.recorder->IsTakeUnsaved());
    EXPECT_NEAR(s.seconds(held.takePath), held.hundredths / 100.0, 0.011);
    // The same recording cannot be stopped twice (a queued automatic stop arriving late).
    EXPECT_EQ(s.controller->stop().outcome, O::NotRecording);
    EXPECT_TRUE(s.recorder->IsTakeUnsaved());
    s.controller->releaseTake();
    EXPECT_FALSE(s.recorder->IsTakeUnsaved());
    EXPECT_TRUE(fs::exists(held.takePath));

    // VOX on a silent input writes nothing: the take is deleted.
    s.set("nVOXONOFF", 1);
    s.set("voxlevel", 100);
    ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
    pumpFor(100);
    RecordingController::StopResult empty = s.controller->stop();
    EXPECT_EQ(empty.outcome, O::Discarded) << empty.hundredths << " " << s.recorder->voiceActive();
    EXPECT_FALSE(fs::exists(empty.takePath));
    EXPECT_FALSE(s.recorder->IsTakeUnsaved());
}

TEST(RecordingController, StopWithAnAutoSaveModeSavesTheTakeAndReleasesIt)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    s.set("nSettingFileCheckButtonSates", 2);
    s.set("SessionNum", 2);
    s.startDevice();
    ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
    ASSERT_TRUE(pumpUntil([&] { return s.recorder->FileHundredths() >= 30; }));
    EXPECT_EQ(s.controller->stop().outcome, RecordingController::StopOutcome::AutoSaved);
    EXPECT_FALSE(s.recorder->IsTakeUnsaved());
    ASSERT_TRUE(pumpUntil([&] { return s.window.count(WM_REC_SAVED) == 1; }));
    EXPECT_GT(s.seconds(s.settings.save / "Brevon 3-0001.wav"), 0.29);
}

TEST(RecordingController, CutAndSaveNeedsAnAutoSaveModeAndARecording)
{
    useVirtualCard("in=tone,pace=fast");
    ControlledSession s;
    s.startDevice();
    s.set("nSettingFileCheckButtonSates", 1);
    EXPECT_FALSE(s.controller->cutAndSave());
    s.set("nSettingFileCheckButtonSates", 0);
    ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
    EXPECT_FALSE(s.controller->cutAndSave());
    EXPECT_FALSE(s.recorder->IsSplitRequested());
    s.set("nSettingFileCheckButtonSates", 1);
    EXPECT_TRUE(s.controller->cutAndSave());
}

TEST(RecordingController, TimedSplitsCutTracksOfTheSetLengthAndOnlyWithAnAutoSaveMode)
{
    struct Case {
        const char* length;
        int mode;
        int leastFiles;
    };
    // 4 s of sound: "0" and words split every second, "2" every two, mode 0 never. A busy
    // machine may hand the level messages over late, and a track then runs a little longer.
    for (Case c : {Case{"0", 2, 3}, Case{"many", 2, 3}, Case{"2", 2, 2}, Case{"1", 0, 0}}) {
        SCOPED_TRACE(std::string(c.length) + " mode " + std::to_string(c.mode));
        useVirtualCard("in=tone,pace=realtime");
        ControlledSession s;
        s.set("nTimedTrackSplit", 1);
        s.set("sTimedTrackSplit", c.length);
        s.set("nSettingFileCheckButtonSates", c.mode);
        s.set("nAutoStopTime", 1);
        s.set("nAutoStopTimeVOX", 4);
        s.startDevice();
        ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
        ASSERT_TRUE(pumpUntil([&] { return !s.stops.empty(); }));
        ASSERT_TRUE(pumpUntil([&] { return s.controller->partsBeingSaved() == 0; }));
        auto files = s.settings.filesIn(s.settings.save);
        if (c.mode == 0)
            EXPECT_TRUE(files.empty());
        else
            EXPECT_GE(static_cast<int>(files.size()), c.leastFiles);
        double total = 0;
        for (const auto& file : files) {
            double length = s.seconds(file);
            total += length;
            if (file != files.back()) {
                double expected = c.length[0] == '2' ? 2.0 : 1.0;
                // Cut by the recorder at the sample where the length is reached.
                EXPECT_NEAR(length, expected, 0.001) << file;
            }
        }
        if (c.mode != 0) {
            EXPECT_NEAR(total, 4.0, 0.001);
        }
    }
}

TEST(RecordingController, TimedSplitsFollowTheSoundsOwnClockAtAnyPaceInEveryEncoding)
{
    // 7 s split every 2 s: 2, 2, 2 and 1 s, however fast the card delivers, and so however many
    // blocks pass before the front end handles a level message.
    for (int encode : {2, 1, 0}) {
        SCOPED_TRACE(encode);
        useVirtualCard("in=tone,pace=fast");
        ControlledSession s;
        s.set("Encode", encode);
        s.set("nTimedTrackSplit", 1);
        s.set("sTimedTrackSplit", "2");
        s.set("nSettingFileCheckButtonSates", 2);
        s.set("nAutoStopTime", 1);
        s.set("nAutoStopTimeVOX", 7);
        s.startDevice();
        ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
        ASSERT_EQ(s.controller->timedSplitSeconds(), 2);
        ASSERT_TRUE(pumpUntil([&] { return s.recorder->TotalHundredths() >= 700; }));
        ASSERT_TRUE(pumpUntil([&] { return !s.stops.empty(); }));
        ASSERT_TRUE(pumpUntil([&] { return s.controller->partsBeingSaved() == 0; }));
        auto files = s.settings.filesIn(s.settings.save);
        ASSERT_EQ(files.size(), 4u);
        // Encoders pad the ends of a file a little; the sound itself is cut to the sample.
        const double padding = encode == 2 ? 0.001 : 0.1;
        double total = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            double length = s.seconds(files[i]);
            total += length;
            EXPECT_GE(length, (i < 3 ? 2.0 : 1.0) - 0.001) << files[i];
            EXPECT_LE(length, (i < 3 ? 2.0 : 1.0) + padding) << files[i];
        }
        EXPECT_EQ(s.recorder->TotalHundredths(), 700);
        EXPECT_NEAR(total, 7.0, 4 * padding);
    }
}

TEST(RecordingController, ADeviceThatFailsEndsTheRecordingWithoutTheFrontEndAsking)
{
    useVirtualCard("in=tone,pace=realtime,fail=1");
    ControlledSession s;
    s.startDevice();
    ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
    // Nothing here calls CheckDevice: the controller's own timer does.
    ASSERT_TRUE(pumpUntil([&] { return !s.stops.empty(); }, 8000));
    EXPECT_EQ(s.window.count(WM_REC_FAILED), 1u);
    EXPECT_EQ(s.stops.front().outcome, RecordingController::StopOutcome::TakeHeld);
    // What was written before the card vanished is kept whole.
    EXPECT_GT(s.stops.front().hundredths, 0);
    EXPECT_NEAR(s.seconds(s.stops.front().takePath), s.stops.front().hundredths / 100.0, 0.011);
}

TEST(RecordingController, ASlowSaveFolderNeverStallsTheCaptureAndEveryBlockIsKept)
{
    struct Case {
        const char* input;
        bool vox;
    };
    // A timed split every second on a steady tone, and a VOX split after every burst.
    for (Case c : {Case{"tone", false}, Case{"bursts", true}}) {
        SCOPED_TRACE(c.input);
        useVirtualCard(std::string("in=") + c.input + ",pace=realtime");
        ControlledSession s;
        // Each part takes 1.5 s to reach the save folder, like a copy onto a slow stick.
        s.recorder->setPartMove([](const std::string& from, const std::string& to) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            return takefiles::moveFile(from, to);
        });
        s.set("nSettingFileCheckButtonSates", 2);
        s.set("nTimedTrackSplit", c.vox ? 0 : 1);
        s.set("sTimedTrackSplit", "1");
        s.set("nVOXONOFF", c.vox ? 1 : 0);
        s.set("nAutoStopTime", 1);
        s.set("nAutoStopTimeVOX", 4);
        s.startDevice();
        ASSERT_EQ(s.controller->record().outcome, RecordingController::RecordOutcome::Started);
        ASSERT_TRUE(pumpUntil([&] { return !s.stops.empty(); }));
        // The stop does not wait for the saves, and says they are still going on.
        EXPECT_GT(s.controller->partsBeingSaved(), 0);
        EXPECT_NE(s.controller->savingText().find("Saving"), std::string::npos);
        int32_t total = s.recorder->TotalHundredths();
        uint32_t gaps = s.recorder->gapCount();
        double largestMs = s.recorder->largestBlockMicros() / 1000.0;
        // Closing the program meanwhile loses nothing: the recorder saves what is queued.
        s.controller.reset();
        s.recorder->StopDevice();
        s.recorder.reset();
        EXPECT_EQ(total, 400);
        EXPECT_EQ(gaps, 0u);
        EXPECT_LT(largestMs, 40.0);
        auto files = s.settings.filesIn(s.settings.save);
        EXPECT_GE(files.size(), c.vox ? 2u : 3u);
        double sum = 0;
        for (const auto& file : files)
            sum += s.seconds(file);
        EXPECT_NEAR(sum, total / 100.0, 0.001 * static_cast<double>(files.size()));
        EXPECT_TRUE(s.settings.filesIn(s.settings.temp).empty());
        // Every part was reported, in the order of its number.
        pumpFor(50);
        std::vector<std::string> saved;
        for (const auto& m : s.window.received) {
            if (m.message == WM_REC_SAVED)
                saved.push_back(m.text);
        }
        ASSERT_EQ(saved.size(), files.size());
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(fs::path(saved[i]).filename(), files[i].filename());
    }
}
