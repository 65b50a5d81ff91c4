// The Recording page: its mixer work over the virtual card and over a user-space ALSA card
// (device index, source list, selection, volume, answers to outside changes), its format choosers,
// what Apply, OK and Cancel store and restart, its meters, and on the virtual card the effect of
// its volume on what is recorded.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QSlider>
#include <QTabWidget>

#include <cstdlib>
#include <cstring>

#include "CSkinMeter.h"
#include "mixer_helpers.h"
#include "recorder.h"
#include "setting_source.h"
#include "sheet_test_support.h"
#include "test_card.h"
#include "testsupport/testsupport.h"

using namespace platform;
using mixertest::TestCard;

namespace {

// DRAVIK_AUDIO for one test; the virtual card's mixer is put back to its start afterwards.
class Audio {
public:
    explicit Audio(const char* value)
    {
        if (value)
            setenv("DRAVIK_AUDIO", value, 1);
        else
            unsetenv("DRAVIK_AUDIO");
        resetVirtualMixer();
    }
    ~Audio()
    {
        resetVirtualMixer();
        unsetenv("DRAVIK_AUDIO");
    }
    static void resetVirtualMixer()
    {
        const char* audio = std::getenv("DRAVIK_AUDIO");
        if (!audio || std::strncmp(audio, "virtual", 7) != 0)
            return;
        HMIXER mixer = nullptr;
        if (mixerOpen(&mixer, 0, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
            return;
        const MIXERLINE dest = mixertest::destination(mixer);
        mixertest::setValues(mixer,
                             mixertest::control(mixer, dest.dwLineID, MIXERCONTROL_CONTROLTYPE_MUX),
                             {1, 0, 0, 0});
        for (uint32_t i = 0; i < dest.cConnections; ++i) {
            const MIXERLINE line = mixertest::source(mixer, i);
            const MIXERCONTROL volume =
                mixertest::control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
            mixertest::setValues(mixer, volume,
                                 std::vector<uint32_t>(mixertest::channelsOf(volume), 65535));
            mixertest::setValues(
                mixer, mixertest::control(mixer, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE),
                {0});
        }
        mixerClose(mixer);
    }
};

// A handle of the test's own on mixer device 0, as another program holds one.
struct Outside {
    HMIXER mixer = nullptr;
    Outside() { EXPECT_EQ(mixerOpen(&mixer, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR); }
    ~Outside() { mixerClose(mixer); }
    MIXERLINE source(uint32_t i) const { return mixertest::source(mixer, i); }
    MIXERCONTROL control(uint32_t line, uint32_t type) const
    {
        return mixertest::control(mixer, line, type);
    }
    MIXERCONTROL selection() const
    {
        const uint32_t dest = mixertest::destination(mixer).dwLineID;
        MIXERCONTROL c = control(dest, MIXERCONTROL_CONTROLTYPE_MUX);
        return c.dwControlID ? c : control(dest, MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT);
    }
    std::vector<uint32_t> values(const MIXERCONTROL& c) const
    {
        return mixertest::values(mixer, c);
    }
    MMRESULT set(const MIXERCONTROL& c, std::vector<uint32_t> v) const
    {
        return mixertest::setValues(mixer, c, std::move(v));
    }
};

// A window for the recorder's messages.
struct Window : QObject {
    bool event(QEvent* e) override
    {
        return e->type() == WindowMessage::eventType() || QObject::event(e);
    }
};

// The Recording page in a sheet before the Auto Save page, with a recorder if one was made.
struct RecordingPage {
    SheetStore store;
    Window window;
    std::unique_ptr<CRecorder> recorder;
    std::unique_ptr<WatchedContext> context;
    const SettingPageInfo pages[2] = {pageInfo("Recording"), pageInfo("Auto Save")};
    std::unique_ptr<CSetting> sheet;
    CSettingSource* page = nullptr;

    // A recorder over the page's store, its capture started.
    CRecorder& startRecorder()
    {
        store.store->writeString("TempFolder", store.dir.path().string());
        recorder = std::make_unique<CRecorder>(&window, *store.store);
        EXPECT_TRUE(recorder->StartDevice());
        return *recorder;
    }
    void open()
    {
        context = std::make_unique<WatchedContext>(*store.store, recorder.get());
        sheet = std::make_unique<CSetting>(nullptr, *context, pages);
        sheet->show();
        QCoreApplication::processEvents();
        page = static_cast<CSettingSource*>(sheet->page(0));
    }
    ~RecordingPage()
    {
        sheet.reset();
        if (recorder) {
            if (recorder->recording())
                recorder->StopRecording();
            recorder->StopDevice();
            // Level messages still queued for the window point into the recorder.
            QCoreApplication::removePostedEvents(&window);
            recorder.reset();
        }
    }

    template <class T> T* get(int id) const { return page->control<T>(id); }
    QComboBox* devices() const { return get<QComboBox>(CSettingSource::DeviceChooser); }
    QComboBox* sources() const { return get<QComboBox>(CSettingSource::SourceChooser); }
    QComboBox* encodings() const { return get<QComboBox>(CSettingSource::EncodingChooser); }
    QComboBox* formats() const { return get<QComboBox>(CSettingSource::FormatChooser); }
    QSlider* left() const { return get<QSlider>(CSettingSource::LeftVolume); }
    QSlider* right() const { return get<QSlider>(CSettingSource::RightVolume); }
    QCheckBox* lock() const { return get<QCheckBox>(CSettingSource::LockLR); }

    // Chooses an entry as the user does: the list's activation.
    static void choose(QComboBox* box, int index)
    {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
};

// Collects the text of every message box that opens, and closes it.
struct BoxCatcher {
    std::vector<QString> texts;
    QTimer timer;
    BoxCatcher()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text());
                box->done(QMessageBox::Ok);
            }
        });
        timer.start(10);
    }
};

int peakOfWav(const std::string& path)
{
    auto bytes = testsupport::readFile(path);
    int peak = 0;
    // The recorder's WAV files have a 46-byte header.
    for (size_t at = 46; at + 1 < bytes.size(); at += 2) {
        int16_t v;
        std::memcpy(&v, bytes.data() + at, 2);
        peak = std::max(peak, std::abs(int(v)));
    }
    return peak;
}

} // namespace

TEST(RecordingPageMixer, SliderArithmeticAndErrorTexts)
{
    // The bottom of the slider (0 %) writes 1, the top the maximum; 100 minus the percentage.
    EXPECT_EQ(CSettingSource::volumeValue(0, 65535), 1u);
    EXPECT_EQ(CSettingSource::volumeValue(100, 65535), 65535u);
    EXPECT_EQ(CSettingSource::volumeValue(50, 65535), 32768u);
    EXPECT_EQ(CSettingSource::sliderPosition(65535, 65535), 0);
    EXPECT_EQ(CSettingSource::sliderPosition(1, 65535), 100);
    EXPECT_EQ(CSettingSource::sliderPosition(32768, 65535), 50);
    EXPECT_EQ(CSettingSource::sliderPosition(5, 0), 100); // no range: no division by zero
    EXPECT_EQ(CSettingSource::mixerErrorText(6, MMSYSERR_INVALHANDLE),
              "6: The hmxobj parameter specifies an invalid handle.");
    EXPECT_EQ(CSettingSource::mixerErrorText(2, MIXERR_INVALLINE),
              "2: The audio line reference is invalid.");
    EXPECT_EQ(CSettingSource::mixerErrorText(4, 77), "4: Error");
    EXPECT_TRUE(CSettingSource::mixerErrorText(1, MMSYSERR_NOERROR).isEmpty());
    EXPECT_EQ(CSettingSource::kControlTypes[7], MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(CSettingSource::kControlTypes[32], MIXERCONTROL_CONTROLTYPE_MUTE);
    EXPECT_EQ(CSettingSource::kControlTypes[37], MIXERCONTROL_CONTROLTYPE_MILLITIME);
}

TEST(RecordingPageMixer, DeviceIndexOutOfRangeIsWrittenBackAsZeroAndTheSourceIsChosen)
{
    Audio audio("virtual:pace=fast");
    RecordingPage p;
    p.store.store->writeInt("uMxId", 57);
    p.open();
    ASSERT_TRUE(p.page->complete());
    EXPECT_EQ(p.store.readInt("uMxId"), 0);
    EXPECT_EQ(p.devices()->currentText(), kVirtualCardName);
    ASSERT_EQ(p.sources()->count(), 4);
    EXPECT_EQ(p.sources()->itemText(1), "Line In");
    // The microphone (SourceList 0) is mono: one slider, no Lock L/R.
    EXPECT_EQ(p.sources()->currentIndex(), 0);
    EXPECT_TRUE(p.left()->isEnabled());
    EXPECT_FALSE(p.right()->isVisibleTo(p.page));
    EXPECT_FALSE(p.lock()->isVisibleTo(p.page));
    EXPECT_NE(p.page->mixer(), nullptr);
}

TEST(RecordingPageMixer, ChoosingASourceSelectsUnmutesAndShowsItsVolume)
{
    Audio audio("virtual:pace=fast");
    Outside outside;
    const MIXERLINE cd = outside.source(2);
    const MIXERCONTROL cdVolume = outside.control(cd.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    const MIXERCONTROL cdMute = outside.control(cd.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_EQ(outside.set(cdMute, {1}), MMSYSERR_NOERROR);
    ASSERT_EQ(outside.set(cdVolume, {65535 / 4, 65535}), MMSYSERR_NOERROR);

    RecordingPage p;
    p.open();
    RecordingPage::choose(p.sources(), 2);
    EXPECT_EQ(p.store.readInt("SourceList"), 2);
    EXPECT_EQ(outside.values(outside.selection()), (std::vector<uint32_t>{0, 0, 1, 0}));
    EXPECT_EQ(outside.values(cdMute), (std::vector<uint32_t>{0}));
    EXPECT_EQ(p.left()->value(), 76); // 100 - trunc(16383 * 100 / 65535)
    EXPECT_EQ(p.right()->value(), 0);
    EXPECT_TRUE(p.right()->isVisibleTo(p.page));
    EXPECT_TRUE(p.lock()->isVisibleTo(p.page));
}

TEST(RecordingPageMixer, SliderEndsWriteOneAndTheMaximumAndLockMovesBothSides)
{
    Audio audio("virtual:pace=fast");
    Outside outside;
    const MIXERCONTROL volume =
        outside.control(outside.source(1).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    RecordingPage p;
    p.store.store->writeInt("SourceList", 1);
    p.open();
    ASSERT_TRUE(p.lock()->isChecked());
    p.left()->setValue(100); // the bottom
    EXPECT_EQ(p.right()->value(), 100);
    EXPECT_EQ(outside.values(volume), (std::vector<uint32_t>{1, 1}));
    p.right()->setValue(0); // the top
    EXPECT_EQ(p.left()->value(), 0);
    EXPECT_EQ(outside.values(volume), (std::vector<uint32_t>{65535, 65535}));

    // Unlocked, each side moves alone; the choice is stored at once.
    p.lock()->click();
    EXPECT_EQ(p.store.readInt("nCheckGangVol"), 0);
    p.left()->setValue(50);
    EXPECT_EQ(p.right()->value(), 0);
    EXPECT_EQ(outside.values(volume), (std::vector<uint32_t>{32768, 65535}));
}

TEST(RecordingPageMixer, OutsideChangesAreAnsweredWhileThePageIsOpen)
{
    Audio audio("virtual:pace=fast");
    Outside outside;
    const MIXERLINE lineIn = outside.source(1);
    const MIXERCONTROL mute = outside.control(lineIn.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
    const MIXERCONTROL volume = outside.control(lineIn.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    RecordingPage p;
    p.store.store->writeInt("SourceList", 1);
    p.open();

    // A mute made elsewhere is undone at once.
    ASSERT_EQ(outside.set(mute, {1}), MMSYSERR_NOERROR);
    EXPECT_TRUE(pumpUntil([&] { return outside.values(mute)[0] == 0; }, 3000));
    // Another source chosen elsewhere is switched back.
    ASSERT_EQ(outside.set(outside.selection(), {0, 0, 0, 1}), MMSYSERR_NOERROR);
    EXPECT_TRUE(pumpUntil(
        [&] {
            return outside.values(outside.selection()) == std::vector<uint32_t>{0, 1, 0, 0};
        },
        3000));
    // The sliders follow a volume set elsewhere.
    ASSERT_EQ(outside.set(volume, {65535, 0}), MMSYSERR_NOERROR);
    EXPECT_TRUE(pumpUntil([&] { return p.right()->value() == 100; }, 3000));
    EXPECT_EQ(p.left()->value(), 0);

    // After OK the page no longer holds the mixer: nothing is undone.
    p.page->OnOK();
    EXPECT_EQ(p.page->mixer(), nullptr);
    ASSERT_EQ(outside.set(mute, {1}), MMSYSERR_NOERROR);
    pumpFor(100);
    EXPECT_EQ(outside.values(mute)[0], 1u);
}

TEST(RecordingPageMixer, AStoredSourceBeyondTheListChoosesNothingAndSlidersWriteNothing)
{
    Audio audio("virtual:pace=fast");
    Outside outside;
    const MIXERCONTROL micMute =
        outside.control(outside.source(0).dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE);
    const MIXERCONTROL micVolume =
        outside.control(outside.source(0).dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_EQ(outside.set(micMute, {1}), MMSYSERR_NOERROR);
    ASSERT_EQ(outside.set(outside.selection(), {0, 0, 1, 0}), MMSYSERR_NOERROR);
    RecordingPage p;
    p.store.store->writeInt("SourceList", 9);
    BoxCatcher boxes;
    p.open();
    EXPECT_EQ(p.sources()->currentIndex(), -1);
    EXPECT_EQ(p.store.readInt("SourceList"), -1);
    EXPECT_FALSE(p.left()->isEnabled());
    // Nothing switched on, unmuted or selected, also when the card changes meanwhile.
    EXPECT_EQ(outside.values(micMute)[0], 1u);
    ASSERT_EQ(outside.set(outside.selection(), {0, 0, 0, 1}), MMSYSERR_NOERROR);
    pumpFor(100);
    EXPECT_EQ(outside.values(outside.selection()), (std::vector<uint32_t>{0, 0, 0, 1}));
    // A slider moved anyway (it is disabled to the user) writes nothing and shows no box.
    p.left()->setValue(30);
    p.page->WriteRightVolume(20);
    pumpFor(50);
    EXPECT_EQ(outside.values(micVolume)[0], 65535u);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST(RecordingPageMixer, AlsaMultipleSelectKeepsTheOtherSourceAndUndoesAnOutsideDeselection)
{
    Audio audio(nullptr);
    TestCard card("switches");
    RecordingPage p;
    p.open();
    ASSERT_TRUE(p.page->complete());
    EXPECT_EQ(p.devices()->currentText(), "Default sound device");
    const int line = p.sources()->findText("Line");
    ASSERT_GE(line, 0);
    RecordingPage::choose(p.sources(), line);
    EXPECT_EQ(TestCard::get("Line Capture Switch"), 1);
    EXPECT_EQ(TestCard::get("Mic Capture Switch"), 1); // the other source stays selected
    ASSERT_TRUE(TestCard::set("Line Capture Switch", {0, 0}));
    EXPECT_TRUE(pumpUntil([] { return TestCard::get("Line Capture Switch") == 1; }, 3000));
    EXPECT_EQ(TestCard::get("Mic Capture Switch"), 1);
    // Lock L/R moves both channels of the stereo source.
    p.left()->setValue(100);
    EXPECT_EQ(TestCard::get("Line Capture Volume", 0), 0);
    EXPECT_EQ(TestCard::get("Line Capture Volume", 1), 0);
}

TEST(RecordingPageMixer, AlsaMuxSourceChangedElsewhereIsSwitchedBackAndTheMasterUnmuted)
{
    Audio audio(nullptr);
    TestCard card("mux", "Input Source");
    RecordingPage p;
    p.store.store->writeInt("SourceList", 2);
    p.open();
    EXPECT_EQ(p.sources()->currentText(), "CD");
    EXPECT_EQ(TestCard::get("Input Source"), 2);
    ASSERT_TRUE(TestCard::set("Input Source", {0}));
    EXPECT_TRUE(pumpUntil([] { return TestCard::get("Input Source") == 2; }, 3000));
    ASSERT_TRUE(TestCard::set("Capture Switch", {0, 0}));
    EXPECT_TRUE(pumpUntil([] { return TestCard::get("Capture Switch") == 1; }, 3000));
    ASSERT_TRUE(TestCard::set("Capture Volume", {0, 63}));
    EXPECT_TRUE(pumpUntil([&] { return p.left()->value() == 100; }, 3000));
    EXPECT_EQ(p.right()->value(), 0);
}

TEST(RecordingPageMixer, ACardUnpluggedWhileThePageIsOpenIsReportedAndItsControlsDisabled)
{
    Audio audio(nullptr);
    TestCard card("mux");
    RecordingPage p;
    p.open();
    ASSERT_TRUE(p.page->complete());
    ASSERT_GT(p.sources()->count(), 0);
    BoxCatcher boxes;
    card.unplug();
    ASSERT_TRUE(pumpUntil([&] { return !boxes.texts.empty(); }, 3000));
    EXPECT_TRUE(boxes.texts.front().contains("no longer there"))
        << boxes.texts.front().toStdString();
    EXPECT_EQ(p.page->mixer(), nullptr);
    EXPECT_EQ(p.sources()->count(), 0);
    EXPECT_FALSE(p.left()->isEnabled());
    EXPECT_FALSE(p.right()->isEnabled());
    // Said once, not again for each wake-up of the gone device.
    pumpFor(100);
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST(RecordingPageMixer, ADeviceThatCannotOpenLeavesThePageWaitingUntilAWorkingOneIsChosen)
{
    Audio audio("virtual:pace=fast");
    TestCard card("switches", "", true);
    RecordingPage p;
    p.store.store->writeInt("uMxId", 1); // the broken card
    BoxCatcher boxes;
    p.open();
    ASSERT_EQ(boxes.texts, (std::vector<QString>{"Error, cannot open audio device"}));
    EXPECT_FALSE(p.page->complete());
    EXPECT_EQ(p.page->leftMeter(), nullptr);
    EXPECT_EQ(p.sources()->count(), 0);
    EXPECT_EQ(p.encodings()->count(), 0);
    // Levels that arrive meanwhile reach no meter.
    postWindowMessage(p.page, WM_PAGE_LEVELS, 0x40004000, 0x40004000);
    pumpFor(30);

    RecordingPage::choose(p.devices(), 0);
    EXPECT_TRUE(p.page->complete());
    EXPECT_EQ(p.store.readInt("uMxId"), 0);
    EXPECT_EQ(p.sources()->count(), 4);
    EXPECT_EQ(p.encodings()->count(), 5);
    ASSERT_NE(p.page->leftMeter(), nullptr);
    postWindowMessage(p.page, WM_PAGE_LEVELS, 0x40004000, 0x40004000);
    pumpFor(30);
    EXPECT_GT(p.page->leftMeter()->ShownLevel(), 0);
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST(RecordingPageMixer, NoMixerDeviceAtAllIsReported)
{
    Audio audio(nullptr);
    testsupport::TempDir dir;
    const std::string config = (dir / "empty.conf").string();
    testsupport::writeFile(config, {});
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    RecordingPage p;
    BoxCatcher boxes;
    // The box comes once the sheet is on the screen with its page, not while it is being shown
    // (which left it unmapped at 100 x 30 without a window manager).
    bool pageShownUnderTheBox = false;
    QSize sheetUnderTheBox;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) && p.sheet) {
            pageShownUnderTheBox = p.sheet->page(0) && p.sheet->page(0)->isVisible();
            sheetUnderTheBox = p.sheet->size();
        }
    });
    watch.start(2);
    if (mixerGetNumDevs() == 0) {
        p.open();
        pumpFor(100);
        EXPECT_EQ(boxes.texts, (std::vector<QString>{"Error: No Audio Device Available!"}));
        EXPECT_TRUE(pageShownUnderTheBox);
        EXPECT_GE(sheetUnderTheBox.width(), p.sheet->minimumSizeHint().width());
        EXPECT_GE(sheetUnderTheBox.height(), p.sheet->minimumSizeHint().height());
        EXPECT_GT(sheetUnderTheBox.height(), 100);
        EXPECT_FALSE(p.page->complete());
        // Apply then finds no encoding and stores nothing.
        EXPECT_TRUE(p.page->OnApply());
        EXPECT_EQ(p.store.fileValue("Encode"), "<missing>");
    }
    unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}

TEST(RecordingPageFormat, EncodingListsAndStoringFollowTheTables)
{
    Audio audio("virtual:pace=fast");
    {
        RecordingPage p;
        p.store.store->writeInt("Encode", 7); // no encoding: the search lands on "WMA"
        p.open();
        ASSERT_EQ(p.encodings()->count(), 5);
        EXPECT_EQ(p.encodings()->itemText(0), "WAV");
        EXPECT_EQ(p.encodings()->currentText(), "WMA");
        EXPECT_EQ(p.formats()->count(), 29);
        EXPECT_EQ(p.formats()->currentText(), "128 kbps, stereo");
    }
    {
        // Changing the encoding and cancelling stores no format key.
        RecordingPage p;
        p.open();
        EXPECT_EQ(p.encodings()->currentText(), "WAV");
        RecordingPage::choose(p.encodings(), 2);
        EXPECT_EQ(p.formats()->currentText(), "128 kbps, stereo");
        EXPECT_TRUE(p.page->modified());
        p.sheet->reject();
        for (const char* key : {"Encode", "nMP3Format", "sMP3Format", "nWAVFormat", "sWAVFormat"})
            EXPECT_EQ(p.store.fileValue(key), "<missing>") << key;
    }
}

TEST(RecordingPageRecorder, ApplyStoresTheFormatRestartsCaptureAndKeepsThePageWorking)
{
    Audio audio("virtual:pace=fast");
    RecordingPage p;
    CRecorder& recorder = p.startRecorder();
    p.open();
    RecordingPage::choose(p.encodings(), 0);
    RecordingPage::choose(p.formats(), 23); // 8000 Hz, 8-bit, mono
    ASSERT_TRUE(p.page->OnApply());
    EXPECT_EQ(p.store.readInt("Encode"), 2);
    EXPECT_EQ(p.store.readInt("nWAVFormat"), 23);
    EXPECT_EQ(p.store.readString("sWAVFormat"), "8000 Hz, 8-bit, mono");
    EXPECT_TRUE(recorder.deviceStarted());
    EXPECT_EQ(recorder.captureFormat().nSamplesPerSec, 8000u);
    EXPECT_EQ(recorder.captureFormat().nChannels, 1);
    // The page still has its mixer and its meters still move.
    EXPECT_NE(p.page->mixer(), nullptr);
    p.page->leftMeter()->SetValue(0);
    EXPECT_TRUE(pumpUntil([&] { return p.page->leftMeter()->ShownLevel() > 0; }, 3000));
}

TEST(RecordingPageRecorder, ChoosersAreDisabledWhileRecordingAndApplyStoresNothing)
{
    Audio audio("virtual:pace=fast");
    RecordingPage p;
    CRecorder& recorder = p.startRecorder();
    ASSERT_TRUE(recorder.StartRecording());
    p.open();
    for (QComboBox* chooser : {p.devices(), p.sources(), p.encodings(), p.formats()})
        EXPECT_FALSE(chooser->isEnabled());
    EXPECT_TRUE(p.page->OnApply());
    EXPECT_EQ(p.store.fileValue("Encode"), "<missing>");
}

TEST(RecordingPageRecorder, MetersStopWhenTheTabIsLeftAndResumeWhenItIsEntered)
{
    Audio audio("virtual");
    RecordingPage p;
    p.startRecorder();
    p.open();
    CSkinMeter* meter = p.page->leftMeter();
    EXPECT_TRUE(pumpUntil([&] { return meter->ShownLevel() > 0; }, 3000));
    p.sheet->tabs()->setCurrentIndex(1);
    // Without levels the meter falls to nothing and stays there.
    EXPECT_TRUE(pumpUntil([&] { return meter->ShownLevel() == 0; }, 3000));
    pumpFor(200);
    EXPECT_EQ(meter->ShownLevel(), 0);
    p.sheet->tabs()->setCurrentIndex(0);
    EXPECT_TRUE(pumpUntil([&] { return meter->ShownLevel() > 0; }, 3000));
}

TEST(RecordingPageRecorder, TurningTheSourceDownShowsOnTheMetersAndInTheRecording)
{
    Audio audio("virtual");
    RecordingPage p;
    CRecorder& recorder = p.startRecorder();
    p.open();
    auto record = [&] {
        EXPECT_TRUE(recorder.StartRecording());
        pumpFor(600);
        recorder.StopRecording();
        return peakOfWav(recorder.temporaryPath());
    };
    const int full = record();
    EXPECT_GT(full, 15000); // the tone at half scale
    p.left()->setValue(50);
    // The tone is at half scale; at half volume the meters show a quarter of their scale once
    // the louder blocks have decayed.
    EXPECT_TRUE(pumpUntil(
        [&] { return p.page->leftMeter()->ShownLevel() <= CSkinMeter::kSegments / 4 + 1; }, 3000));
    const int half = record();
    EXPECT_NEAR(half, full / 2, full / 20);
    p.left()->setValue(100); // the bottom: one step above silence
    EXPECT_TRUE(pumpUntil([&] { return p.page->leftMeter()->ShownLevel() <= 1; }, 3000));
    EXPECT_LT(record(), 10);
}
