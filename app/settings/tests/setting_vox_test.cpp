#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest/QTest>

#include <cstdlib>
#include <set>

#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "recorder.h"
#include "setting_vox.h"
#include "sheet_test_support.h"
#include "up_down.h"

namespace {

// The VOX page in a sheet, before the Auto Save page, shown.
struct VoxPage {
    SheetStore store;
    std::unique_ptr<WatchedContext> context;
    const SettingPageInfo pages[2] = {pageInfo("VOX"), pageInfo("Auto Save")};
    std::unique_ptr<CSetting> sheet;
    CSettingVOX* page = nullptr;

    explicit VoxPage(CRecorder* recorder = nullptr)
        : context(std::make_unique<WatchedContext>(*store.store, recorder))
    {
    }
    ~VoxPage() { sheet.reset(); }

    void open()
    {
        sheet = std::make_unique<CSetting>(nullptr, *context, pages);
        sheet->show();
        QCoreApplication::processEvents();
        page = static_cast<CSettingVOX*>(sheet->page(0));
        // The slider's notification of the level arrives through the queue.
        pumpFor(30);
    }
    template <class T> T* get(int id) const { return page->control<T>(id); }
    QLineEdit* levelEdit() const { return get<QLineEdit>(CSettingVOX::LevelEdit); }
    QComboBox* tolerance() const { return get<QComboBox>(CSettingVOX::Tolerance); }
    void chooseTolerance(const QString& text) const
    {
        QComboBox* list = tolerance();
        list->setFocus();
        int target = list->findText(text);
        int steps = target - list->currentIndex();
        for (int i = 0; i < std::abs(steps); ++i)
            QTest::keyClick(list, steps > 0 ? Qt::Key_Down : Qt::Key_Up);
    }
    // Everything the page shows for its level, and what it wrote.
    void expectLevel(int level) const
    {
        EXPECT_EQ(page->level(), level);
        EXPECT_EQ(page->slider()->GetValue(), level);
        EXPECT_EQ(levelEdit()->text(), QString::number(level));
        EXPECT_EQ(store.readInt("voxlevel"), level);
        ASSERT_FALSE(context->levels.empty());
        EXPECT_EQ(context->levels.back(), level);
    }
};

// Hands the page one level message at once, as the queue would, before a meter tick can decay it.
void sendLevels(QObject* page, uintptr_t packed)
{
    WindowMessage message(WM_VOX_LEVELS, packed, static_cast<intptr_t>(packed));
    QCoreApplication::sendEvent(page, &message);
}

} // namespace

TEST(VoxPage, ToleranceEntriesAndTheirTicks)
{
    auto entries = toleranceEntries();
    ASSERT_EQ(entries.size(), 46u);
    const int ticks[] = {4,  8,  11, 16, 20, 23, 27, 32,  36,  40,  44,  47,  52,
                         55, 60, 64, 68, 72, 75, 80, 100, 120, 140, 160, 180, 200};
    for (size_t i = 0; i < std::size(ticks); ++i)
        EXPECT_EQ(toleranceTicks(entries[i]), ticks[i]) << entries[i];
    for (int n = 11; n <= 30; ++n) {
        EXPECT_EQ(entries[n + 15], std::to_string(n));
        EXPECT_EQ(toleranceTicks(entries[n + 15]), 20 * n);
    }
}

TEST(VoxPage, StoredToleranceSelectsByPrefixFromTheSecondEntry)
{
    QStringList entries;
    for (const char* entry : toleranceEntries())
        entries << entry;
    struct Case {
        const char* stored;
        const char* selected; // null: nothing selected
    };
    for (const Case& c : {Case{"1", "1.0"}, Case{"3", "3.0"}, Case{"0.2", "0.2"}, Case{"", "0.4"},
                          Case{"1.0", "1.0"}, Case{"2", "2.0"}, Case{"25", "25"},
                          Case{"0.5", nullptr}, Case{"abc", nullptr}}) {
        int index = selectToleranceIndex(entries, c.stored);
        if (c.selected)
            EXPECT_EQ(index >= 0 ? entries[index] : "<none>", c.selected) << c.stored;
        else
            EXPECT_EQ(index, -1) << c.stored;
    }

    VoxPage p;
    p.store.store->writeString("VoxToleranceTime", "3");
    p.open();
    EXPECT_EQ(p.tolerance()->currentText(), "3.0");
    EXPECT_EQ(p.tolerance()->count(), 46);
}

TEST(VoxPage, OpensAtTheStoredLevelAndHandsItToTheRecorder)
{
    VoxPage p;
    p.open();
    p.expectLevel(10);
    EXPECT_EQ(p.context->levels, std::vector<int>{10});
    EXPECT_EQ(p.store.readInt("RecorderSetting"), 4);
    // The page's switch is written back when it is built, and marks the page modified.
    EXPECT_EQ(p.store.fileValue("nVOXONOFF"), "0");
    EXPECT_TRUE(p.sheet->applyButton()->isEnabled());
    EXPECT_TRUE(p.levelEdit()->isReadOnly());
    EXPECT_EQ(p.get<QLabel>(CSettingVOX::LevelLabel)->text(), "Level (0~100)");
    // Moved to its pixel place; a text wider than the place grows to the left.
    QRect left = p.get<QLabel>(CSettingVOX::LeftLabel)->geometry();
    EXPECT_EQ(left.right(), 139);
    EXPECT_LE(left.left(), 30);
    EXPECT_EQ(left.top(), 30);
    EXPECT_EQ(left.height(), 20);
    EXPECT_EQ(p.tolerance()->geometry(), QRect(150, 125, 135, 20));
    EXPECT_EQ(p.page->slider()->pos(), QPoint(142, 70));
    EXPECT_EQ(p.page->leftMeter()->pos(), QPoint(153, 30));
    EXPECT_EQ(p.page->rightMeter()->pos(), QPoint(153, 50));
}

TEST(VoxPage, UpDownStoresTwiceAndSettlesOnTheSlidersClampedValue)
{
    VoxPage p;
    p.store.store->writeInt("nVOXONOFF", 1);
    p.store.store->writeInt("voxlevel", 99);
    p.open();
    auto* upDown = p.get<CUpDown>(CSettingVOX::LevelUpDown);
    QTest::mouseClick(upDown->increaseButton(), Qt::LeftButton);
    pumpFor(30);
    p.expectLevel(100);
    p.context->levels.clear();

    QTest::mouseClick(upDown->increaseButton(), Qt::LeftButton);
    EXPECT_EQ(p.store.readInt("voxlevel"), 101) << "first as position + delta";
    pumpFor(30);
    EXPECT_EQ(p.context->levels, (std::vector<int>{101, 100}));
    p.expectLevel(100);
    EXPECT_EQ(upDown->position(), 100);

    QTest::mouseClick(upDown->decreaseButton(), Qt::LeftButton);
    pumpFor(30);
    p.expectLevel(99);
}

TEST(VoxPage, SliderWritesTheLevelAtOnceEvenWhenCancelled)
{
    VoxPage p;
    p.store.store->writeInt("nVOXONOFF", 1);
    p.open();
    CSkinSlider* slider = p.page->slider();
    QWheelEvent wheel(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(slider, &wheel);
    pumpFor(30);
    p.expectLevel(11);
    p.sheet->cancelButton()->click();
    EXPECT_EQ(p.store.readInt("voxlevel"), 11);
}

TEST(VoxPage, ApplySavesTheToleranceAndKeepsTheMetersLive)
{
    VoxPage p;
    p.store.store->writeInt("nVOXONOFF", 1);
    p.open();
    EXPECT_EQ(p.tolerance()->currentText(), "1.0");
    EXPECT_EQ(p.context->listener, p.page->levelListener());
    p.chooseTolerance("0.6");
    EXPECT_EQ(p.tolerance()->currentText(), "0.6");
    p.sheet->applyButton()->click();
    EXPECT_EQ(p.store.readString("VoxToleranceTime"), "0.6");
    EXPECT_EQ(p.context->holds, std::vector<int>{11});
    EXPECT_FALSE(p.sheet->applyButton()->isEnabled());
    EXPECT_EQ(p.context->listener, p.page->levelListener()) << "the page is still shown";

    // What the recorder posts to its listener reaches the meters.
    postWindowMessage(p.context->listener, WM_VOX_LEVELS, 0x7FFFu | (0x7FFFu << 16));
    pumpFor(10);
    EXPECT_GT(p.page->leftMeter()->ShownLevel(), 20);
}

TEST(VoxPage, PreRollListSitsBelowDurationFollowsTheSwitchAndIsSavedOnApply)
{
    struct Case {
        int stored;
        const char* shown;
    };
    // Out-of-range values show their clamped entry; a value no entry has shows none and stays.
    for (Case c : {Case{500, "0.5"}, Case{-40, "0"}, Case{9000, "2.0"}, Case{700, ""}}) {
        SCOPED_TRACE(c.stored);
        VoxPage p;
        p.store.store->writeInt("nVOXONOFF", 1);
        p.store.store->writeInt("nVOXPreRoll", c.stored);
        p.open();
        auto* list = p.get<QComboBox>(CSettingVOX::PreRoll);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->currentText(), c.shown);
        EXPECT_EQ(list->count(), 8);
        EXPECT_GE(list->geometry().top(), p.tolerance()->geometry().bottom());
        EXPECT_TRUE(list->isEnabled());
        p.sheet->okButton()->click();
        EXPECT_EQ(p.store.readInt("nVOXPreRoll"),
                  c.stored == 700
                      ? 700
                      : preRollEntries()[static_cast<size_t>(preRollIndex(c.stored))].ms);
    }
    VoxPage p;
    p.store.store->writeInt("nVOXONOFF", 1);
    p.open();
    auto* list = p.get<QComboBox>(CSettingVOX::PreRoll);
    EXPECT_EQ(list->currentText(), "0.5");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentText(), "1.0");
    clickButton(p.get<QRadioButton>(CSettingVOX::Off));
    EXPECT_FALSE(list->isEnabled());
    p.sheet->applyButton()->click();
    EXPECT_EQ(p.store.readInt("nVOXPreRoll"), 1000);
}

TEST(VoxPage, ApplyWithNoToleranceSelectedKeepsTheStoredText)
{
    VoxPage p;
    p.store.store->writeString("VoxToleranceTime", "0.5");
    p.open();
    EXPECT_EQ(p.tolerance()->currentIndex(), -1);
    p.sheet->okButton()->click();
    EXPECT_EQ(p.store.readString("VoxToleranceTime"), "0.5");
    EXPECT_TRUE(p.context->holds.empty());
}

TEST(VoxPage, SwitchingOffHidesTheMetersAndSliderAndStaysWrittenAfterCancel)
{
    VoxPage p;
    p.store.store->writeInt("nVOXONOFF", 1);
    p.open();
    auto* off = p.get<QRadioButton>(CSettingVOX::Off);
    auto* on = p.get<QRadioButton>(CSettingVOX::On);
    EXPECT_TRUE(on->isChecked());
    for (QWidget* skinned : std::initializer_list<QWidget*>{p.page->leftMeter(),
                                                            p.page->rightMeter(), p.page->slider()})
        EXPECT_TRUE(skinned->isVisible());

    clickButton(off);
    EXPECT_EQ(p.store.readInt("nVOXONOFF"), 0);
    for (QWidget* skinned : std::initializer_list<QWidget*>{p.page->leftMeter(),
                                                            p.page->rightMeter(), p.page->slider()})
        EXPECT_FALSE(skinned->isVisible());
    for (int id : {CSettingVOX::LeftLabel, CSettingVOX::RightLabel, CSettingVOX::LevelLabel,
                   CSettingVOX::DurationLabel})
        EXPECT_FALSE(p.get<QLabel>(id)->isEnabled()) << id;
    EXPECT_FALSE(p.levelEdit()->isEnabled());
    EXPECT_FALSE(p.get<CUpDown>(CSettingVOX::LevelUpDown)->isEnabled());
    EXPECT_FALSE(p.tolerance()->isEnabled());
    EXPECT_TRUE(on->isEnabled());
    EXPECT_TRUE(off->isEnabled());

    p.sheet->cancelButton()->click();
    EXPECT_EQ(p.store.readInt("nVOXONOFF"), 0);
    EXPECT_EQ(p.context->listener, nullptr);
}

TEST(VoxPage, ListenerFollowsThePageBeingShown)
{
    VoxPage p;
    p.open();
    EXPECT_EQ(p.context->listener, p.page->levelListener());
    p.sheet->tabs()->setCurrentIndex(1);
    EXPECT_EQ(p.context->listener, nullptr);
    p.sheet->tabs()->setCurrentIndex(0);
    EXPECT_EQ(p.context->listener, p.page->levelListener());
    p.sheet->okButton()->click();
    EXPECT_EQ(p.context->listener, nullptr);
    EXPECT_EQ(p.context->listenerChanges,
              (std::vector<WindowHandle>{p.page->levelListener(), nullptr, p.page->levelListener(),
                                         nullptr}));
}

TEST(VoxPage, LevelMessagesMoveTheMetersAndTheThumbFollowsTheVoice)
{
    VoxPage p;
    p.store.store->writeInt("nVOXONOFF", 1);
    p.open();
    CSkinSlider* slider = p.page->slider();
    p.context->voice = true;
    sendLevels(p.page, 0x1234u | (0x5678u << 16));
    EXPECT_EQ(p.page->leftMeter()->ShownLevel(), CSkinMeter::SegmentsFor(4660, 32768));
    EXPECT_EQ(p.page->rightMeter()->ShownLevel(), CSkinMeter::SegmentsFor(22136, 32768));
    EXPECT_EQ(p.page->leftMeter()->ShownLevel(), 4);
    EXPECT_EQ(p.page->rightMeter()->ShownLevel(), 17);
    EXPECT_EQ(slider->ThumbStyle(), 0);

    p.context->voice = false;
    sendLevels(p.page, 0);
    EXPECT_EQ(slider->ThumbStyle(), 1);
}

TEST(VoxPage, PanelBackgroundIsTheOpaqueButtonFace)
{
    VoxPage p;
    p.open();
    const QImage& background = p.page->panelBackground();
    EXPECT_EQ(background.size(), p.page->size());
    QColor face = p.page->palette().color(QPalette::Button);
    EXPECT_EQ(background.pixel(0, 0), face.rgb() | 0xFF000000u);

    QPalette changed = p.page->palette();
    changed.setColor(QPalette::Button, QColor(10, 20, 30));
    p.page->setPalette(changed);
    EXPECT_EQ(p.page->panelBackground().pixel(5, 5), qRgba(10, 20, 30, 255));
}

TEST(VoxPage, LiveMetersFollowTheVirtualCardsBursts)
{
    setenv("DRAVIK_AUDIO", "virtual:in=bursts", 1);
    SheetStore settings;
    settings.store->writeString("TempFolder", settings.dir.path().string());
    settings.store->writeString("SaveFolder", settings.dir.path().string());
    settings.store->writeInt("nVOXONOFF", 1);
    settings.store->writeInt("voxlevel", 10);
    QObject window;
    CRecorder recorder(&window, *settings.store);
    ASSERT_TRUE(recorder.StartDevice()) << recorder.lastError();
    recorder.SetVoxHold(2);
    ASSERT_TRUE(recorder.StartRecording()) << recorder.lastError();

    {
        WatchedContext context(*settings.store, &recorder);
        const SettingPageInfo pages[1] = {pageInfo("VOX")};
        CSetting sheet(nullptr, context, pages);
        sheet.show();
        auto* page = static_cast<CSettingVOX*>(sheet.page(0));
        ASSERT_NE(page, nullptr);
        int highest = 0;
        int lowestAfterSound = CSkinMeter::kSegments;
        std::set<int> thumbStyles;
        // Bursts: a second of tone, two of silence; watch one cycle and a bit.
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3600);
        while (std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            int shown = page->leftMeter()->ShownLevel();
            highest = std::max(highest, shown);
            if (highest > 0)
                lowestAfterSound = std::min(lowestAfterSound, shown);
            thumbStyles.insert(page->slider()->ThumbStyle());
        }
        EXPECT_GE(highest, 12) << "a half-scale tone lights half the segments";
        EXPECT_EQ(lowestAfterSound, 0) << "silence lets the meter fall";
        EXPECT_TRUE(thumbStyles.count(0)) << "voice: the thumb turns opaque red";
        EXPECT_TRUE(thumbStyles.count(1)) << "silence: the thumb turns translucent";

        // The tolerance reaches the recorder as its VOX hold.
        auto* tolerance = page->control<QComboBox>(CSettingVOX::Tolerance);
        tolerance->setFocus();
        for (int i = tolerance->currentIndex(); i > tolerance->findText("0.6"); --i)
            QTest::keyClick(tolerance, Qt::Key_Up);
        sheet.applyButton()->click();
        EXPECT_EQ(recorder.voxHold(), 11);
        sheet.cancelButton()->click();
    }
    recorder.StopRecording();
    recorder.StopDevice();
    pumpFor(20);
}

TEST(VoxPage, LevelsPostedAsThePageGoesAwayAreDropped)
{
    VoxPage p;
    p.open();
    QPointer<QObject> listener = p.page->levelListener();
    p.sheet->cancelButton()->click();
    p.sheet.reset();
    // A post the capture thread had under way when the page stopped listening.
    ASSERT_FALSE(listener.isNull());
    postWindowMessage(listener, WM_VOX_LEVELS, 0x1000);
    pumpFor(10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(listener.isNull());
}
