// The main window driven through its real buttons on the virtual sound card: each state's look
// (button states, tooltips, status line, time display, format label), the transitions between
// them, the files a recording leaves, Save As, Settings, exit and the automation.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "CDravikDlg.h"
#include "CSkinButton.h"
#include "CSkinLamp.h"
#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "CSkinTextDisplay.h"
#include "CSkinTimeDisplay.h"
#include "copy_progress.h"
#include "skin.h"
#include "testsupport/testsupport.h"
#include "window_messages.h"

namespace fs = std::filesystem;
using mainwnd::WindowState;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "dravik-mainwnd-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code code;
    // A hidden file is the one a recording has opened ahead for its next split.
    for (const auto& entry : fs::directory_iterator(folder, code))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The window with a store, folders and answers of its own.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=fast", 1);
        store = std::make_unique<SettingsStore>((dir / "Dravik.ini").string(), "1.0",
                                                dir.path().string());
        temp = dir / "Temp";
        save = dir / "Save";
        fs::create_directories(temp);
        fs::create_directories(save);
        store->writeString("TempFolder", temp.string());
        store->writeString("SaveFolder", save.string());
        store->writeInt("bAlwaysOnTop", 0);
    }

    void TearDown() override
    {
        if (window) {
            answers.assign(8, true);
            window->close();
            window.reset();
        }
        QCoreApplication::processEvents();
    }

    using Window = CDravikDlg;

    WindowServices services()
    {
        WindowServices s;
        s.askYesNo = [this](QWidget*, const QString& question) {
            questions.push_back(question);
            if (answers.empty())
                return false;
            bool answer = answers.front();
            answers.pop_front();
            return answer;
        };
        s.tell = [this](QWidget*, const QString& message, bool) -> QWidget* {
            messages.push_back(message);
            return keepMessageOpen ? openBox.get() : nullptr;
        };
        s.openFile = [this](QWidget*, const QString&, const QString&) { return toOpen; };
        s.saveFile = [this](QWidget*, const QString&, const QString& filter) {
            saveFilters.push_back(filter);
            return toSave;
        };
        s.confirmOverwrite = [](QWidget*, const QString&) { return true; };
        s.settings = [this](QWidget*, CRecorder&) { ++settingsOpened; };
        s.help = [this](QWidget*, const QString& topic) { helpTopics.push_back(topic); };
        s.freeSpace = [this](const std::string&) { return freeBytes; };
        s.transfer.chunkBytes = chunkBytes;
        s.transfer.afterChunk = afterChunk;
        s.now = [this] { return now.isValid() ? now : QDateTime::currentDateTime(); };
        return s;
    }

    Window& open()
    {
        window = std::make_unique<Window>(*store, services());
        window->show();
        QCoreApplication::processEvents();
        return *window;
    }

    void click(int id)
    {
        CSkinButton* b = window->button(id);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled())
            << "button " << id << " is disabled in state " << mainwnd::stateName(window->state());
        QTest::mouseMove(b);
        QTest::mouseClick(b, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    int buttonState(int id) const { return window->button(id)->State(); }

    // The five transport buttons' states and the status line agree with the state table.
    void expectLook(WindowState state, const std::string& status)
    {
        EXPECT_EQ(window->state(), state) << mainwnd::stateName(window->state());
        const bool autoSave = store->readInt("nSettingFileCheckButtonSates", 0) != 0;
        const mainwnd::StateLook look = mainwnd::lookOf(state, autoSave);
        EXPECT_EQ(buttonState(dlgid::Record), look.record) << mainwnd::stateName(state);
        EXPECT_EQ(buttonState(dlgid::Stop), look.stop) << mainwnd::stateName(state);
        EXPECT_EQ(buttonState(dlgid::Play), look.play) << mainwnd::stateName(state);
        EXPECT_EQ(buttonState(dlgid::Save), look.save) << mainwnd::stateName(state);
        EXPECT_EQ(buttonState(dlgid::Open), look.open) << mainwnd::stateName(state);
        EXPECT_EQ(window->button(dlgid::Save)->toolTip(), skinString(look.saveTooltip));
        EXPECT_EQ(window->statusText().toStdString(), status);
    }

    // Records until the take holds at least `hundredths` of sound.
    void recordFor(int hundredths)
    {
        click(dlgid::Record);
        ASSERT_TRUE(pumpUntil([&] { return window->recorder().FileHundredths() >= hundredths; }));
    }

    void recordTake(int hundredths = 100)
    {
        recordFor(hundredths);
        click(dlgid::Stop);
        ASSERT_EQ(window->state(), WindowState::TakeHeld);
    }

    testsupport::TempDir dir;
    std::unique_ptr<SettingsStore> store;
    fs::path temp;
    fs::path save;
    std::unique_ptr<Window> window;

    std::deque<bool> answers;
    std::vector<QString> questions;
    std::vector<QString> messages;
    std::vector<QString> saveFilters;
    std::vector<QString> helpTopics;
    bool keepMessageOpen = false;
    std::unique_ptr<QWidget> openBox;
    QString toOpen;
    QString toSave;
    int settingsOpened = 0;
    std::optional<uint64_t> freeBytes = uint64_t{1} << 40;
    qint64 chunkBytes = 1000000;
    std::function<void(qint64)> afterChunk;
    // The clock of the scheduled start (the system's while invalid).
    QDateTime now;
};

TEST_F(WindowTest, OpensIdleWithItsFaceControlsAndMovingMeters)
{
    Window& w = open();
    expectLook(WindowState::Idle, "Ready");
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Dravik 1.0"));
    EXPECT_EQ(w.size(), QSize(256, 182));
    EXPECT_EQ(w.formatLabel()->Text(), QStringLiteral("WAV|44100 Hz, 16-bit, stereo"));
    // Every control at its place.
    EXPECT_EQ(w.button(dlgid::Record)->pos(), QPoint(8, 125));
    EXPECT_EQ(w.button(dlgid::Open)->pos(), QPoint(168, 125));
    EXPECT_EQ(w.button(dlgid::Exit)->pos(), QPoint(236, 109));
    EXPECT_EQ(w.timeDisplay()->pos(), QPoint(160, 27));
    EXPECT_EQ(w.seekSlider()->pos(), QPoint(13, 78));
    EXPECT_EQ(w.button(dlgid::Record)->toolTip(), skinString(7));
    // The capture device runs from the start: the tone lights the meters.
    EXPECT_FALSE(w.deviceFailed());
    EXPECT_TRUE(pumpUntil([&] { return w.meter(true)->ShownLevel() > 10; }));
    EXPECT_GT(w.meter(false)->ShownLevel(), 10);
    // The face is drawn: the grabbed window is the composed background, not blank.
    QImage shot = w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QImage face = w.background().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shot.size(), face.size());
    EXPECT_EQ(shot.pixel(2, 2), face.pixel(2, 2));
    EXPECT_EQ(shot.pixel(250, 100), face.pixel(250, 100));
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 100);
}

TEST_F(WindowTest, AMinimisedWindowLetsItsMetersFallAndFeedsThemAgainWhenShown)
{
    Window& w = open();
    ASSERT_TRUE(pumpUntil([&] { return w.meter(true)->ShownLevel() > 10; }));
    // The tone goes on, but nobody sees the meters: they fall to nothing and stay there.
    w.showMinimized();
    ASSERT_TRUE(w.isMinimized());
    EXPECT_TRUE(pumpUntil([&] { return w.meter(true)->ShownLevel() == 0; }, 5000));
    pumpFor(200);
    EXPECT_EQ(w.meter(true)->ShownLevel(), 0);
    EXPECT_EQ(w.meter(false)->ShownLevel(), 0);
    w.showNormal();
    EXPECT_TRUE(pumpUntil([&] { return w.meter(true)->ShownLevel() > 10; }, 5000));
}

TEST_F(WindowTest, SaveButtonStartsDimmedOnItsCutFaceWithAutoSave)
{
    store->writeInt("nSettingFileCheckButtonSates", 2);
    Window& w = open();
    EXPECT_EQ(buttonState(dlgid::Save), 8);
    EXPECT_FALSE(w.button(dlgid::Save)->isEnabled());
}

TEST_F(WindowTest, RecordPauseResumeStopHoldsTheTakeThenPlaysItAndDiscardsItOnClose)
{
    Window& w = open();
    click(dlgid::Record);
    expectLook(WindowState::Recording, "Recording...");
    EXPECT_EQ(w.timeDisplay()->toolTip(), skinString(18));
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 100; }));
    // The display follows at the next level message.
    EXPECT_TRUE(pumpUntil([&] { return w.timeDisplay()->Value() >= 1; }));

    click(dlgid::Record);
    expectLook(WindowState::RecordingPaused, "Paused");
    click(dlgid::Record);
    expectLook(WindowState::Recording, "Recording...");

    click(dlgid::Stop);
    expectLook(WindowState::TakeHeld, "Recorded");
    EXPECT_EQ(w.timeDisplay()->Value(), 0);
    auto takes = filesIn(temp);
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_EQ(takes[0].extension(), ".wav");
    EXPECT_GT(w.seekSlider()->Maximum(), 0);

    // The held take plays to its end and is held again.
    click(dlgid::Play);
    expectLook(WindowState::Playing, "Playing Recorded File");
    EXPECT_EQ(w.timeDisplay()->toolTip(), skinString(15));
    ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::TakeHeld; }));
    expectLook(WindowState::TakeHeld, "Recorded");

    // Close asks first; No keeps everything.
    answers = {false};
    click(dlgid::Open);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], skinString(41));
    expectLook(WindowState::TakeHeld, "Recorded");
    EXPECT_TRUE(fs::exists(takes[0]));
    answers = {true};
    click(dlgid::Open);
    expectLook(WindowState::Idle, "Ready");
    EXPECT_FALSE(fs::exists(takes[0]));
}

TEST_F(WindowTest, StopWhilePausedEndsTheRecording)
{
    open();
    recordFor(50);
    click(dlgid::Record);
    ASSERT_EQ(window->state(), WindowState::RecordingPaused);
    click(dlgid::Stop);
    expectLook(WindowState::TakeHeld, "Recorded");
}

TEST_F(WindowTest, RecordingWithAutoSaveOffersCutAndSaveAndSavesOnStop)
{
    store->writeInt("nSettingFileCheckButtonSates", 1);
    Window& w = open();
    recordFor(100);
    expectLook(WindowState::Recording, "Recording...");
    EXPECT_EQ(w.button(dlgid::Save)->toolTip(), skinString(10));
    click(dlgid::Record);
    expectLook(WindowState::RecordingPaused, "Paused");
    click(dlgid::Record);

    // Cut and Save: the part so far is saved and recording goes on.
    click(dlgid::Save);
    ASSERT_TRUE(pumpUntil([&] { return filesIn(save).size() == 1; }));
    EXPECT_EQ(w.state(), WindowState::Recording);
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 50; }));

    click(dlgid::Stop);
    ASSERT_TRUE(pumpUntil([&] { return filesIn(save).size() == 2; }));
    EXPECT_EQ(w.state(), WindowState::Idle);
    // The saved part's name reaches the status line once the part saver reports it.
    EXPECT_TRUE(pumpUntil([&] { return w.statusText().startsWith(QStringLiteral("Saved ")); }))
        << w.statusText().toStdString();
    EXPECT_TRUE(filesIn(temp).empty());
}

TEST_F(WindowTest, ARecordingThatWroteNothingLeavesNoFile)
{
    setenv("DRAVIK_AUDIO", "virtual:in=silence,pace=fast", 1);
    store->writeInt("nVOXONOFF", 1);
    Window& w = open();
    click(dlgid::Record);
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().blocksGated() > 50; }));
    click(dlgid::Stop);
    expectLook(WindowState::Idle, "Ready");
    EXPECT_TRUE(filesIn(temp).empty());
    EXPECT_TRUE(filesIn(save).empty());
}

TEST_F(WindowTest, AnOpenedFileShowsItsFormatPlaysPausesSeeksAndCloses)
{
    toOpen = QString::fromStdString(testsupport::fixture("speech-16000-16-mono.wav").string());
    Window& w = open();
    click(dlgid::Open);
    expectLook(WindowState::FileLoaded, "speech-16000-16-mono.wav");
    EXPECT_EQ(w.formatLabel()->Text(), QStringLiteral("WAV|16000 Hz, 16-bit, mono"));
    EXPECT_EQ(store->readString("LastOpenSavedFolder", ""),
              std::filesystem::weakly_canonical(
                  testsupport::fixture("speech-16000-16-mono.wav").parent_path())
                  .string());

    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=realtime", 1);
    click(dlgid::Play);
    expectLook(WindowState::Playing, "Playing speech-16000-16-mono.wav");
    click(dlgid::Play);
    expectLook(WindowState::PlaybackPaused, "Paused: speech-16000-16-mono.wav");

    // Seeking while paused: take the thumb, drag it, let go; playback runs from there.
    CSkinSlider* slider = w.seekSlider();
    QPoint thumb(slider->ThumbLeft() + 3, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(slider, QPoint(slider->width() / 2, slider->height() / 2));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 2));
    pumpFor(50);
    EXPECT_EQ(w.state(), WindowState::Playing);
    EXPECT_EQ(w.statusText(), QStringLiteral("Paused: speech-16000-16-mono.wav"));
    const int64_t from = slider->GetValue();
    EXPECT_GT(from, 0);
    ASSERT_TRUE(pumpUntil([&] { return w.timeDisplay()->Value() > from / 100000; }, 5000));

    // Stop returns to the loaded file once the player has closed its device.
    click(dlgid::Stop);
    ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::FileLoaded; }));
    expectLook(WindowState::FileLoaded, "speech-16000-16-mono.wav");
    EXPECT_EQ(slider->GetValue(), 0);

    click(dlgid::Open);
    expectLook(WindowState::Idle, "Ready");
    EXPECT_EQ(w.formatLabel()->Text(), QStringLiteral("WAV|44100 Hz, 16-bit, stereo"));
}

TEST_F(WindowTest, OpeningByExtensionGivesTheFormatCaption)
{
    Window& w = open();
    toOpen = QString::fromStdString(testsupport::fixture("speech-mpeg1-48k-mono.mp3").string());
    click(dlgid::Open);
    ASSERT_EQ(w.state(), WindowState::FileLoaded);
    EXPECT_EQ(w.formatLabel()->Text(), QStringLiteral("MP3|48 kbps, mono"));
    EXPECT_EQ(w.encoding(), 1);
    click(dlgid::Open);
    toOpen = QString::fromStdString(testsupport::fixture("speech-wmav2-128k-stereo.wma").string());
    click(dlgid::Open);
    ASSERT_EQ(w.state(), WindowState::FileLoaded);
    EXPECT_TRUE(w.formatLabel()->Text().startsWith(QStringLiteral("WMA|")));
    EXPECT_TRUE(w.formatLabel()->Text().endsWith(QStringLiteral("kbps, stereo")));
    click(dlgid::Open);
    // FLAC shows the file's own sample size (the player decodes it to 16 bits); an .ogg file
    // says whether it holds Opus.
    const std::pair<const char*, QString> captions[] = {
        {"speech-24-stereo-flac-tool.flac", QStringLiteral("FLAC|44100 Hz, 24-bit, stereo")},
        {"speech-opusenc-mono.ogg", QStringLiteral("Opus|")},
        {"speech-opusenc-64k.opus", QStringLiteral("Opus|")},
        {"speech.ogg", QStringLiteral("Ogg|")}};
    for (const auto& [name, caption] : captions) {
        toOpen = QString::fromStdString(testsupport::fixture(name).string());
        click(dlgid::Open);
        ASSERT_EQ(w.state(), WindowState::FileLoaded) << name;
        EXPECT_TRUE(w.formatLabel()->Text().startsWith(caption)) << name;
        EXPECT_EQ(w.encoding(), std::string(name).ends_with(".flac") ? 3 : 4);
        click(dlgid::Open);
    }

    // A name the player does not play is refused in plain words and nothing opens.
    toOpen = QString::fromStdString(testsupport::fixture("speech-layer2.mp2").string());
    click(dlgid::Open);
    EXPECT_EQ(w.state(), WindowState::Idle);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("speech-layer2.mp2")));
    // A damaged file is reported, and the window stays Idle.
    toOpen = QString::fromStdString(testsupport::fixture("damaged-random.wav").string());
    click(dlgid::Open);
    EXPECT_EQ(w.state(), WindowState::Idle);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(WindowTest, ADroppedFilePlaysAtOnceButNotOverAnUnsavedTake)
{
    Window& w = open();
    const QString file =
        QString::fromStdString(testsupport::fixture("speech-16000-16-mono.wav").string());
    // Qt delivers drop events only during a drag of its own; the window's drop handler is
    // called as the drop event calls it.
    auto drop = [&](const QString& path) {
        w.dropFile(path);
        QCoreApplication::processEvents();
    };
    recordTake(50);
    drop(file);
    EXPECT_EQ(w.state(), WindowState::TakeHeld);
    answers = {true};
    click(dlgid::Open);
    ASSERT_EQ(w.state(), WindowState::Idle);

    // Played in real time, so that playback is still running when it is looked at.
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=realtime", 1);
    drop(file);
    EXPECT_EQ(w.state(), WindowState::Playing);
    EXPECT_EQ(w.statusText(), QStringLiteral("Playing speech-16000-16-mono.wav"));
    // A second drop replaces the playing file.
    drop(QString::fromStdString(testsupport::fixture("speech-44100-16-stereo.wav").string()));
    EXPECT_EQ(w.state(), WindowState::Playing);
    EXPECT_EQ(w.formatLabel()->Text(), QStringLiteral("WAV|44100 Hz, 16-bit, stereo"));
    click(dlgid::Stop);
    ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::FileLoaded; }));
}

TEST_F(WindowTest, SaveAsOnTheSameFileSystemMovesTheTakeAndAppendsItsExtension)
{
    open();
    recordTake();
    const fs::path take = filesIn(temp).at(0);
    toSave = QString::fromStdString((save / "Interview 3.5").string());
    click(dlgid::Save);
    ASSERT_EQ(saveFilters.size(), 1u);
    EXPECT_EQ(saveFilters[0], QStringLiteral("WAV files (*.wav)"));
    expectLook(WindowState::Idle, "Saved Interview 3.5.wav");
    EXPECT_TRUE(fs::exists(save / "Interview 3.5.wav"));
    EXPECT_FALSE(fs::exists(take));
    EXPECT_EQ(store->readString("LastOpenSavedFolder", ""), save.string());
}

TEST_F(WindowTest, SaveAsOntoTheTakeItselfKeepsIt)
{
    open();
    recordTake();
    const fs::path take = filesIn(temp).at(0);
    toSave = QString::fromStdString(take.string());
    click(dlgid::Save);
    EXPECT_EQ(window->state(), WindowState::Idle);
    EXPECT_TRUE(fs::exists(take));
}

// /dev/shm is another file system than the temporary folders on these machines.
class CrossDeviceTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        shm = fs::path("/dev/shm") / ("dravik-window-test-" + std::to_string(::getpid()));
        std::error_code code;
        fs::create_directories(shm, code);
        if (!fs::is_directory(shm))
            GTEST_SKIP() << "/dev/shm is not available";
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        std::error_code code;
        fs::remove_all(shm, code);
    }
    fs::path shm;
};

TEST_F(CrossDeviceTest, SaveAsAcrossFileSystemsCopiesAndReplacesAnOldFile)
{
    chunkBytes = 50000;
    open();
    recordTake(200);
    const fs::path take = filesIn(temp).at(0);
    const std::vector<uint8_t> recorded = testsupport::readFile(take);
    testsupport::writeFile(shm / "old.wav", {1, 2, 3});
    toSave = QString::fromStdString((shm / "old.wav").string());
    click(dlgid::Save);
    expectLook(WindowState::Idle, "Saved old.wav");
    EXPECT_EQ(testsupport::readFile(shm / "old.wav"), recorded);
    EXPECT_FALSE(fs::exists(take));
    EXPECT_EQ(filesIn(shm).size(), 1u);
}

TEST_F(CrossDeviceTest, CancelDuringTheCopyKeepsTheTakeAndTheOldFile)
{
    chunkBytes = 20000;
    afterChunk = [](qint64) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    open();
    recordTake(300);
    const fs::path take = filesIn(temp).at(0);
    testsupport::writeFile(shm / "kept.wav", {7, 7, 7});
    toSave = QString::fromStdString((shm / "kept.wav").string());
    bool cancelled = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            for (auto* progress : top->findChildren<saveas::CopyProgress*>())
                if (progress->isVisible() && !cancelled) {
                    for (auto* b : progress->findChildren<QPushButton*>())
                        QTest::mouseClick(b, Qt::LeftButton);
                    cancelled = true;
                }
    });
    cancel.start(30);
    click(dlgid::Save);
    cancel.stop();
    EXPECT_TRUE(cancelled);
    expectLook(WindowState::TakeHeld, "Recorded");
    EXPECT_TRUE(fs::exists(take));
    EXPECT_EQ(testsupport::readFile(shm / "kept.wav"), (std::vector<uint8_t>{7, 7, 7}));
    // Nothing else was left beside it.
    EXPECT_EQ(filesIn(shm).size(), 1u);
}

TEST_F(CrossDeviceTest, ACopyThatFailsIsReportedAndTheTakeStaysHeld)
{
    open();
    recordTake(300);
    const fs::path take = filesIn(temp).at(0);
    toSave = QString::fromStdString((shm / "full.wav").string());
    {
        testsupport::FileSizeLimit limit(100000);
        click(dlgid::Save);
    }
    expectLook(WindowState::TakeHeld, "Recorded");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(fs::exists(take));
    EXPECT_TRUE(filesIn(shm).empty());
}

TEST_F(WindowTest, SettingsAreRefusedWhileRecordingWithATakeOrAFileOtherwiseOpened)
{
    Window& w = open();
    click(dlgid::Settings);
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(messages.empty());

    recordFor(50);
    click(dlgid::Settings);
    click(dlgid::Stop);
    ASSERT_EQ(w.state(), WindowState::TakeHeld);
    click(dlgid::Settings);
    answers = {true};
    click(dlgid::Open);
    toOpen = QString::fromStdString(testsupport::fixture("speech-16000-16-mono.wav").string());
    click(dlgid::Open);
    click(dlgid::Settings);
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(messages, (std::vector<QString>{"Please stop recording and save it first.",
                                              "Please save the recorded file first.",
                                              "Please close the file first."}));
}

TEST_F(WindowTest, SettingsRefreshTheCaptionAndTheSaveButton)
{
    Window& w = open();
    store->writeInt("Encode", 1);
    store->writeInt("nSettingFileCheckButtonSates", 1);
    // The sheet's own effect is simulated by the writes above; the window reads them on return.
    click(dlgid::Settings);
    EXPECT_EQ(w.formatLabel()->Text(), QStringLiteral("MP3|128 kbps, stereo"));
    EXPECT_EQ(buttonState(dlgid::Save), 8);
    EXPECT_EQ(w.encoding(), 1);
}

TEST_F(WindowTest, TheSettingsButtonOpensTheRealSheetModally)
{
    Window& w = open();
    // The window's own sheet: no stand-in for it this time.
    w.setSettingsService({});
    QString caption;
    QTimer::singleShot(200, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* sheet = qobject_cast<QDialog*>(top); sheet && sheet->isVisible()) {
                caption = sheet->windowTitle();
                sheet->reject();
            }
    });
    click(dlgid::Settings);
    EXPECT_EQ(caption, QStringLiteral("Settings"));
    expectLook(WindowState::Idle, "Ready");
}

TEST_F(WindowTest, ExitAsksWhileRecordingOrWithATakeAndNeverAbandonsARecording)
{
    Window& w = open();
    // Idle: no question.
    EXPECT_TRUE(w.confirmExit());
    EXPECT_TRUE(questions.empty());

    click(dlgid::Record);
    // The window manager's close asks like Exit; No keeps recording.
    answers = {false};
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.state(), WindowState::Recording);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], skinString(42));
    // Alt+F4 asks too.
    answers = {false};
    QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(w.state(), WindowState::Recording);
    EXPECT_EQ(questions.size(), 2u);

    // Yes stops the recording properly: the take stays in the temporary folder, whole.
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 50; }));
    answers = {true};
    click(dlgid::Exit);
    EXPECT_FALSE(w.isVisible());
    auto takes = filesIn(temp);
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_GT(fs::file_size(takes[0]), 44100u);
    window.reset();
}

TEST_F(WindowTest, ExitWithAHeldTakeAsksAndKeepsTheTake)
{
    Window& w = open();
    recordTake();
    answers = {false};
    click(dlgid::Exit);
    EXPECT_TRUE(w.isVisible());
    answers = {true};
    click(dlgid::Exit);
    EXPECT_FALSE(w.isVisible());
    window.reset();
    EXPECT_EQ(filesIn(temp).size(), 1u);
}

TEST_F(WindowTest, AnEndAskedByTheSystemCompletesTheRecordingWithoutAQuestion)
{
    Window& w = open();
    click(dlgid::Record);
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 50; }));
    w.endWithoutAsking();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(questions.empty());
    window.reset();
    // The take is whole: its header counts every byte of sound that follows it.
    auto takes = filesIn(temp);
    ASSERT_EQ(takes.size(), 1u);
    std::ifstream take(takes[0], std::ios::binary);
    char header[46] = {};
    take.read(header, sizeof header);
    uint32_t dataSize = 0;
    std::memcpy(&dataSize, header + 42, 4);
    EXPECT_GT(dataSize, 0u);
    EXPECT_EQ(fs::file_size(takes[0]), 46u + dataSize);
}

TEST_F(WindowTest, AutomaticStartRecordsAtOnce)
{
    store->writeInt("nAutoStart", 1);
    Window& w = open();
    ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::Recording; }));
    expectLook(WindowState::Recording, "Recording...");
}

TEST_F(WindowTest, ScheduledStartSavesAHeldTakeFirstRecordsAtItsMomentAndClearsItsBox)
{
    now = QDateTime(QDate(2030, 1, 2), QTime(10, 0, 0));
    store->writeInt("nAutoStartDatetime", 1);
    store->writeString("sAutoStartAt", "2030-01-02 10:00:05");
    Window& w = open();
    recordTake();
    pumpFor(600);
    EXPECT_EQ(w.state(), WindowState::TakeHeld) << "not before its moment";
    now = now.addSecs(5);
    // The window's own timer notices within a second.
    ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::Recording; }, 1500));
    EXPECT_EQ(store->readInt("nAutoStartDatetime", -1), 0);
    auto saved = filesIn(save);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].filename(), "Brevon 2030-01-02-10-00-05.wav");
    EXPECT_GT(fs::file_size(saved[0]), 176400u);
    EXPECT_TRUE(w.statusText().contains("scheduled start 2030-01-02 10:00:05"));
    EXPECT_TRUE(w.statusText().contains("saved as Brevon 2030-01-02-10-00-05.wav"));
    EXPECT_TRUE(questions.empty()) << "nobody is asked";
    // One start per setting: a later stop stays stopped.
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 10; }));
    click(dlgid::Stop);
    pumpFor(700);
    EXPECT_EQ(w.state(), WindowState::TakeHeld);
}

TEST_F(WindowTest, ScheduledStartClosesAnOpenFileAndAMissedMomentIsOnlyReported)
{
    now = QDateTime(QDate(2030, 1, 2), QTime(10, 0, 0));
    store->writeInt("nAutoStartDatetime", 1);
    store->writeString("sAutoStartAt", "2030-01-02 10:00:00");
    toOpen = QString::fromStdString(testsupport::fixture("speech-16000-16-mono.wav").string());
    {
        // A moment that comes as the program starts is still taken.
        Window& w = open();
        ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::Recording; }, 1500));
        click(dlgid::Stop);
        w.controller().releaseTake();
    }
    window.reset();
    store->writeInt("nAutoStartDatetime", 1);
    store->writeString("sAutoStartAt", "2030-01-02 10:00:30");
    Window& w = open();
    click(dlgid::Open);
    ASSERT_EQ(w.state(), WindowState::FileLoaded);
    now = now.addSecs(31);
    w.checkScheduledStart();
    EXPECT_EQ(w.state(), WindowState::Recording);
    EXPECT_TRUE(w.openFilePath().empty());
    EXPECT_TRUE(w.statusText().contains("closed speech-16000-16-mono.wav"))
        << w.statusText().toStdString();
    click(dlgid::Stop);
    window.reset();

    // The program was not running at the moment: nothing is made up for.
    store->writeInt("nAutoStartDatetime", 1);
    store->writeString("sAutoStartAt", "2030-01-02 09:00:00");
    Window& late = open();
    EXPECT_EQ(late.statusText(), "Scheduled start at 2030-01-02 09:00:00 was missed");
    pumpFor(700);
    EXPECT_EQ(late.state(), WindowState::Idle);
    EXPECT_EQ(store->readInt("nAutoStartDatetime", -1), 0);
}

TEST_F(WindowTest, ExitAfterAnAutomaticStopEndsTheProgramOnceTheTakeIsSavedOrKept)
{
    for (int autoSave : {2, 0}) {
        SCOPED_TRACE(autoSave);
        store->writeInt("nSettingFileCheckButtonSates", autoSave);
        store->writeInt("nAutoStopTime", 1);
        store->writeInt("nAutoStopTimeVOX", 1);
        store->writeInt("nAutoExit", 1);
        Window& w = open();
        click(dlgid::Record);
        ASSERT_TRUE(pumpUntil([&] { return !w.isVisible(); }));
        EXPECT_TRUE(questions.empty()) << "nobody is asked";
        // Saved before the window went, or kept in the temporary folder.
        auto kept = filesIn(autoSave ? save : temp);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_GE(fs::file_size(kept[0]), 176400u);
        EXPECT_LE(fs::file_size(kept[0]), 176400u + 100u);
        window.reset();
        fs::remove(kept[0]);
    }
    // A stop by the user does not exit.
    store->writeInt("nAutoStopTime", 0);
    Window& w = open();
    recordFor(20);
    click(dlgid::Stop);
    pumpFor(100);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(WindowTest, AutomaticStopHoldsTheTakeOnceEvenWithASecondStopQueued)
{
    store->writeInt("nAutoStopTime", 1);
    store->writeInt("nAutoStopTimeVOX", 1);
    Window& w = open();
    click(dlgid::Record);
    ASSERT_TRUE(pumpUntil([&] { return w.state() == WindowState::TakeHeld; }));
    postWindowMessage(&w, WM_STOP_BUTTON);
    postWindowMessage(&w, WM_STOP_BUTTON);
    pumpFor(50);
    expectLook(WindowState::TakeHeld, "Recorded");
    EXPECT_TRUE(w.recorder().IsTakeUnsaved());
    EXPECT_EQ(filesIn(temp).size(), 1u);
}

TEST_F(WindowTest, TimedSplitCutsTracksOfWrittenSound)
{
    // In real time: the recorder cuts the parts from the sound it wrote, whenever the window
    // handles its level messages.
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=realtime", 1);
    store->writeInt("nSettingFileCheckButtonSates", 1);
    store->writeInt("nTimedTrackSplit", 1);
    store->writeString("sTimedTrackSplit", "1");
    Window& w = open();
    click(dlgid::Record);
    ASSERT_TRUE(pumpUntil([&] { return filesIn(save).size() >= 2; }));
    // Let the third part hold some sound: one stopped right after its split is empty and is
    // deleted, not saved.
    pumpFor(300);
    click(dlgid::Stop);
    ASSERT_TRUE(pumpUntil([&] { return w.controller().partsBeingSaved() == 0; }));
    pumpFor(50);
    auto parts = filesIn(save);
    ASSERT_GE(parts.size(), 3u);
    // Every part but the last holds one second exactly: 176400 bytes of sound and the header.
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        EXPECT_GE(fs::file_size(parts[i]), 176400u) << parts[i];
        EXPECT_LE(fs::file_size(parts[i]), 176400u + 100) << parts[i];
    }
}

TEST_F(WindowTest, LowDiskSpaceRefusesRecordAndStopsARecordingWithOneMessageAtATime)
{
    Window& w = open();
    freeBytes = 9u << 20;
    click(dlgid::Record);
    EXPECT_EQ(w.state(), WindowState::Idle);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              QStringLiteral("Not enough free disk space!\nNo recording was started."));
    EXPECT_TRUE(filesIn(temp).empty());

    freeBytes = uint64_t{1} << 40;
    recordFor(50);
    freeBytes = 9u << 20;
    openBox = std::make_unique<QWidget>();
    keepMessageOpen = true;
    w.onTimer();
    EXPECT_EQ(w.state(), WindowState::TakeHeld);
    EXPECT_EQ(messages.size(), 2u);
    // The next tick while the message is open shows no second one, and keeps the take.
    w.onTimer();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(w.state(), WindowState::TakeHeld);
    // Once it is closed, the next tick shows it again.
    openBox.reset();
    w.onTimer();
    EXPECT_EQ(messages.size(), 3u);
}

TEST_F(WindowTest, UnreadableFreeSpaceDoesNotStopARecording)
{
    Window& w = open();
    click(dlgid::Record);
    freeBytes.reset();
    w.onTimer();
    EXPECT_EQ(w.state(), WindowState::Recording);
    EXPECT_EQ(w.statusText(), QStringLiteral("Free disk space cannot be read"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, PanelFoldsAndUnfoldsTheFace)
{
    Window& w = open();
    click(dlgid::Panel);
    EXPECT_FALSE(w.panelShown());
    EXPECT_FALSE(w.mask().contains(QPoint(20, 20)));
    EXPECT_TRUE(w.mask().contains(QPoint(20, 150)));
    click(dlgid::Panel);
    EXPECT_TRUE(w.mask().contains(QPoint(20, 20)));
}

TEST_F(WindowTest, DraggingByTheBorderMovesTheWindowAndStoresItsPlace)
{
    Window& w = open();
    const QPoint before = w.pos();
    EXPECT_TRUE(w.inDragArea(QPoint(3, 3)));
    EXPECT_FALSE(w.inDragArea(QPoint(30, 30)));
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(3, 3));
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(w.mapToGlobal(QPoint(43, 23))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &move);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(w.pos(), before + QPoint(40, 21));
    EXPECT_EQ(store->readInt("XPos", -1), w.pos().x());
    EXPECT_EQ(store->readInt("YPos", -1), w.pos().y());

    // A press inside the meter area does not drag.
    const QPoint at = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(30, 30));
    QMouseEvent move2(QEvent::MouseMove, QPointF(30, 30), QPointF(w.mapToGlobal(QPoint(90, 90))),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &move2);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(w.pos(), at);
}

TEST_F(WindowTest, MenuTogglesAlwaysOnTopAndOpensHelp)
{
    Window& w = open();
    click(dlgid::Menu);
    QMenu* sub = w.popupMenu()->actions().first()->menu();
    ASSERT_TRUE(pumpUntil([&] { return sub->isVisible(); }, 2000));
    QAction* onTop = nullptr;
    QAction* help = nullptr;
    for (QAction* a : sub->actions()) {
        if (a->data().toInt() == menuid::AlwaysOnTop)
            onTop = a;
        if (a->data().toInt() == menuid::Help)
            help = a;
    }
    ASSERT_TRUE(onTop && help);
    EXPECT_FALSE(onTop->isChecked());
    onTop->trigger();
    sub->hide();
    EXPECT_EQ(store->readInt("bAlwaysOnTop", -1), 1);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(onTop->isChecked());
    help->trigger();
    click(dlgid::Help);
    QTest::keyClick(&w, Qt::Key_F1, Qt::AltModifier);
    EXPECT_EQ(helpTopics, (std::vector<QString>(3, QStringLiteral("home.htm>Dravik"))));
}

TEST_F(WindowTest, SpaceRecordsOrPlaysByWhatIsOpen)
{
    Window& w = open();
    QTest::keyClick(&w, Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.state(), WindowState::Recording);
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 50; }));
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_EQ(w.state(), WindowState::RecordingPaused);
    click(dlgid::Stop);
    ASSERT_EQ(w.state(), WindowState::TakeHeld);
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_EQ(w.state(), WindowState::Playing);
    // Enter and Esc do nothing.
    QTest::keyClick(&w, Qt::Key_Escape);
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(WindowTest, SpaceOnAChildActsOnceThoughTheKeyTravelsUpToTheWindow)
{
    // A key a child does not take travels on to the window, and the application's filter sees it
    // at each step: Space must still start the recording only once, not start and pause it.
    Window& w = open();
    QTest::keyClick(w.button(dlgid::Settings), Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.state(), WindowState::Recording);
}

TEST_F(WindowTest, ADeviceThatFailsAtStartLeavesTheWindowUseful)
{
    setenv("DRAVIK_AUDIO", "virtual:in=/nonexistent/input.wav,pace=fast", 1);
    Window& w = open();
    pumpFor(20);
    if (!w.deviceFailed())
        GTEST_SKIP() << "the virtual card starts without its input file";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(skinString(38)));
    // Record explains why it cannot record.
    click(dlgid::Record);
    EXPECT_EQ(w.state(), WindowState::Idle);
    EXPECT_EQ(messages.size(), 2u);
    // Files still open and play.
    toOpen = QString::fromStdString(testsupport::fixture("speech-16000-16-mono.wav").string());
    click(dlgid::Open);
    EXPECT_EQ(w.state(), WindowState::FileLoaded);
    click(dlgid::Open);
    // Settings can choose another device: the window starts it when the sheet closes.
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=fast", 1);
    click(dlgid::Settings);
    EXPECT_FALSE(w.deviceFailed());
    click(dlgid::Record);
    EXPECT_EQ(w.state(), WindowState::Recording);
}

TEST_F(WindowTest, ADeviceThatVanishedWhileIdleIsOpenedAgainForTheNextRecording)
{
    // The card delivers one second of sound and then nothing, as if unplugged.
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=fast,fail=1", 1);
    Window& w = open();
    pumpFor(2300);
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=fast", 1);
    // The watch opens it again: the meters move.
    w.onTimer();
    pumpFor(100);
    EXPECT_LT(w.recorder().msSinceLastBlock(), 500);
    click(dlgid::Record);
    EXPECT_EQ(w.state(), WindowState::Recording);
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 50; }));
    click(dlgid::Stop);
    EXPECT_EQ(w.state(), WindowState::TakeHeld);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, RecorderFailureStopsAndSaysWhy)
{
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=fast,fail=2", 1);
    Window& w = open();
    click(dlgid::Record);
    ASSERT_TRUE(pumpUntil([&] { return w.state() != WindowState::Recording; }));
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("The recording stopped: ")))
        << messages[0].toStdString();
    EXPECT_NE(w.state(), WindowState::Recording);
}

TEST_F(WindowTest, APartThatCannotBeSavedIsReportedWithoutClaimingTheRecordingStopped)
{
    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=realtime", 1);
    store->writeInt("nSettingFileCheckButtonSates", 1);
    Window& w = open();
    w.recorder().setPartMove(
        [](const std::string&, const std::string&) { return std::string("no room"); });
    click(dlgid::Record);
    ASSERT_TRUE(pumpUntil([&] { return w.recorder().FileHundredths() >= 50; }));
    click(dlgid::Save); // Cut and Save: the first part fails to move, the recording goes on
    ASSERT_TRUE(pumpUntil([&] { return !messages.empty(); }));
    EXPECT_FALSE(messages[0].startsWith(QStringLiteral("The recording stopped")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("could not be saved")));
    EXPECT_EQ(w.state(), WindowState::Recording);
    // The part stays in the temporary folder, beside the take that goes on.
    EXPECT_EQ(filesIn(temp).size(), 2u);
}

TEST_F(WindowTest, ClipLampLightsOnAFullScaleSampleStaysLitAndGoesOutOnAClickOrANewRecording)
{
    // Four seconds, looped by the card: near the start the left channel reaches full scale once
    // and the right channel stops one short of it; quiet otherwise.
    std::vector<int16_t> samples = testsupport::sine16(440, 44100, 2, 4.0, 0.1);
    samples[2 * 2000] = 32767;
    samples[2 * 2000 + 1] = 32766;
    samples[2 * 2001 + 1] = -32767;
    const fs::path input = dir / "clips.wav";
    testsupport::writeWav16(input, samples, 44100, 2);
    setenv("DRAVIK_AUDIO", ("virtual:in=" + input.string() + ",pace=realtime").c_str(), 1);
    Window& w = open();
    CSkinLamp* left = w.clipLamp(true);
    CSkinLamp* right = w.clipLamp(false);
    ASSERT_TRUE(pumpUntil([&] { return left->Lit(); }, 5000));
    const QImage lit = left->grab().toImage();
    // It stays lit over the quiet blocks after; the channel that stopped short never lights.
    pumpFor(400);
    EXPECT_TRUE(left->Lit());
    EXPECT_FALSE(right->Lit());
    // A new recording starts with it out; the loop's next full-scale sample lights it again.
    click(dlgid::Record);
    EXPECT_FALSE(left->Lit());
    EXPECT_NE(left->grab().toImage(), lit);
    ASSERT_TRUE(pumpUntil([&] { return left->Lit(); }, 8000));
    pumpFor(100);
    // The take counts that full-scale sample and the peaks of both channels.
    const CRecorder::TakePeaks peaks = w.recorder().takePeaks();
    EXPECT_EQ(peaks.clipped[0], 1u);
    EXPECT_EQ(peaks.clipped[1], 0u);
    EXPECT_EQ(peaks.peak[0], 32767u);
    EXPECT_EQ(peaks.peak[1], 32767u);
    // A click on the meters puts it out, and it stays out over the blocks after.
    QTest::mouseClick(w.meter(true), Qt::LeftButton, {}, QPoint(10, 5));
    QCoreApplication::processEvents();
    EXPECT_FALSE(left->Lit());
    pumpFor(300);
    EXPECT_FALSE(left->Lit());
    EXPECT_FALSE(w.recorder().inputClipped(0));
    click(dlgid::Stop);
}

TEST_F(WindowTest, RightClickDoesNothingOnAnyButtonAndEnterActsOnTheFocusedOne)
{
    Window& w = open();
    for (int id : {dlgid::Record, dlgid::Open, dlgid::Menu, dlgid::Settings, dlgid::Exit,
                   dlgid::Minimise, dlgid::Help, dlgid::Panel}) {
        QTest::mouseClick(w.button(id), Qt::RightButton);
        QCoreApplication::processEvents();
    }
    pumpFor(50);
    EXPECT_EQ(w.state(), WindowState::Idle);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.panelShown());
    EXPECT_EQ(settingsOpened, 0);
    EXPECT_TRUE(helpTopics.empty());
    EXPECT_FALSE(w.popupMenu()->actions().first()->menu()->isVisible());
    // Enter on the button the keyboard reached acts on it; Space still records.
    QTest::keyClick(w.button(dlgid::Help), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(helpTopics.size(), 1u);
    QTest::keyClick(w.button(dlgid::Help), Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.state(), WindowState::Recording);
    EXPECT_EQ(helpTopics.size(), 1u);
    click(dlgid::Stop);
}

TEST_F(WindowTest, ARecordingThatCannotStartSaysSoOnce)
{
    Window& w = open();
    // The temporary folder replaced by a file: no take can be opened there.
    fs::remove_all(temp);
    testsupport::writeFile(temp, {1, 2, 3});
    click(dlgid::Record);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].count(QStringLiteral("could not start")), 1) << messages[0].toStdString();
    EXPECT_EQ(w.state(), WindowState::Idle);
}

TEST_F(WindowTest, EveryControlIsFoundByItsRoleAndNameWithItsValue)
{
    Window& w = open();
    auto accessible = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
    for (int id : {dlgid::Record, dlgid::Stop, dlgid::Play, dlgid::Save, dlgid::Open, dlgid::Menu,
                   dlgid::Help, dlgid::Panel, dlgid::Settings, dlgid::Minimise, dlgid::Exit}) {
        QAccessibleInterface* b = accessible(w.button(id));
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->role(), QAccessible::Button) << id;
        EXPECT_FALSE(b->text(QAccessible::Name).isEmpty()) << id;
        EXPECT_EQ(b->text(QAccessible::Name), w.button(id)->toolTip()) << id;
        EXPECT_EQ(b->state().disabled, !w.button(id)->isEnabled()) << id;
    }
    w.meter(true)->SetValue(0x8000);
    QAccessibleInterface* meter = accessible(w.meter(true));
    EXPECT_EQ(meter->role(), QAccessible::ProgressBar);
    EXPECT_EQ(meter->text(QAccessible::Value), QStringLiteral("100 %"));
    EXPECT_FALSE(meter->text(QAccessible::Name).isEmpty());
    w.timeDisplay()->SetValue(366000);
    EXPECT_EQ(accessible(w.timeDisplay())->text(QAccessible::Value), QStringLiteral("01:01:00:00"));
    EXPECT_EQ(accessible(w.statusLine())->role(), QAccessible::StaticText);
    EXPECT_EQ(accessible(w.statusLine())->text(QAccessible::Name), QStringLiteral("Ready"));
    EXPECT_EQ(accessible(w.clipLamp(false))->text(QAccessible::Value), QStringLiteral("off"));
    // The press action is the button's click.
    QAccessibleInterface* help = accessible(w.button(dlgid::Help));
    ASSERT_NE(help->actionInterface(), nullptr);
    help->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents();
    EXPECT_EQ(helpTopics.size(), 1u);
}

} // namespace
