#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest/QTest>

#include <climits>

#include "setting_auto.h"
#include "sheet_test_support.h"
#include "up_down.h"

namespace {

// The Auto Start/Stop page alone in a sheet, shown.
struct AutoPage : OnePageSheet<> {
    AutoPage() : OnePageSheet("Auto Start/Stop") {}
    QLineEdit* edit(int id) const { return page->control<QLineEdit>(id); }
    QCheckBox* box(int id) const { return page->control<QCheckBox>(id); }
    QStringList times() const
    {
        return {edit(CSettingAuto::Hours)->text(), edit(CSettingAuto::Minutes)->text(),
                edit(CSettingAuto::Seconds)->text()};
    }
    void type(int id, const QString& text) const
    {
        QLineEdit* e = edit(id);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
};

} // namespace

TEST(AutoPage, TimeLimitIsSplitIntoHoursMinutesAndSeconds)
{
    struct Case {
        int stored; // -1: nothing stored, the default of 60
        QStringList shown;
    };
    for (const Case& c : {Case{3661, {"1", "1", "1"}}, Case{-1, {"0", "1", "0"}},
                          Case{360000, {"100", "0", "0"}}, Case{59, {"0", "0", "59"}}}) {
        AutoPage p;
        if (c.stored >= 0)
            p.store.store->writeInt("nAutoStopTimeVOX", c.stored);
        p.open();
        EXPECT_EQ(p.times(), c.shown) << c.stored;
    }
    EXPECT_EQ(splitSeconds(INT_MAX).hours, 596523);
}

TEST(AutoPage, TypedTimesAreJoinedWithoutRangeChecks)
{
    struct Case {
        QString hours, minutes, seconds;
        int saved;
    };
    for (const Case& c : {Case{"1", "1", "1", 3661}, Case{"0", "90", "0", 5400},
                          Case{"", "", "", 0}, Case{"007", "", "5", 25205}}) {
        AutoPage p;
        p.store.store->writeInt("nAutoStopTime", 1);
        p.open();
        p.type(CSettingAuto::Hours, c.hours);
        p.type(CSettingAuto::Minutes, c.minutes);
        p.type(CSettingAuto::Seconds, c.seconds);
        EXPECT_FALSE(p.sheet->applyButton()->isEnabled()) << "typing does not mark the page";
        p.ok();
        EXPECT_EQ(p.store.readInt("nAutoStopTimeVOX"), c.saved)
            << c.hours.toStdString() << ":" << c.minutes.toStdString() << ":"
            << c.seconds.toStdString();
    }
}

TEST(AutoPage, TimeEditsTakeNineDigitsAndHugeLimitsDoNotWrapRound)
{
    AutoPage p;
    p.store.store->writeInt("nAutoStopTime", 1);
    p.open();
    p.type(CSettingAuto::Hours, "123456789012");
    p.type(CSettingAuto::Minutes, "x-5");
    EXPECT_EQ(p.edit(CSettingAuto::Hours)->text(), "123456789");
    EXPECT_EQ(p.edit(CSettingAuto::Minutes)->text(), "5") << "digits only";
    p.ok();
    // 123456789 hours do not fit: the limit is the largest the store holds, never negative.
    EXPECT_EQ(p.store.readInt("nAutoStopTimeVOX"), INT_MAX);

    EXPECT_EQ(leadingInteger("  -12abc"), -12);
    EXPECT_EQ(leadingInteger("+7"), 7);
    EXPECT_EQ(leadingInteger("abc"), 0);
    EXPECT_EQ(leadingInteger("99999999999"), INT_MAX);
    EXPECT_EQ(joinSeconds(0, -1, 0), -60);
}

TEST(AutoPage, UpDownArrowsStepWithinTheirRanges)
{
    AutoPage p;
    p.store.store->writeInt("nAutoStopTime", 1);
    p.store.store->writeInt("nAutoStopTimeVOX", 999 * 3600 + 59);
    p.open();
    auto* hours = p.page->control<CUpDown>(CSettingAuto::HoursUpDown);
    auto* seconds = p.page->control<CUpDown>(CSettingAuto::SecondsUpDown);
    ASSERT_NE(hours, nullptr);
    EXPECT_EQ(hours->maximum(), 999);
    EXPECT_EQ(p.page->control<CUpDown>(CSettingAuto::MinutesUpDown)->maximum(), 59);
    QTest::mouseClick(hours->increaseButton(), Qt::LeftButton);
    EXPECT_EQ(p.edit(CSettingAuto::Hours)->text(), "999");
    QTest::mouseClick(seconds->increaseButton(), Qt::LeftButton);
    EXPECT_EQ(p.edit(CSettingAuto::Seconds)->text(), "59");
    QTest::mouseClick(seconds->decreaseButton(), Qt::LeftButton);
    EXPECT_EQ(p.edit(CSettingAuto::Seconds)->text(), "58");
    // The arrow keys in the edit step too, starting from what was typed.
    p.type(CSettingAuto::Minutes, "30");
    QTest::keyClick(p.edit(CSettingAuto::Minutes), Qt::Key_Up);
    EXPECT_EQ(p.edit(CSettingAuto::Minutes)->text(), "31");
    EXPECT_FALSE(p.sheet->applyButton()->isEnabled());
    p.ok();
    EXPECT_EQ(p.store.readInt("nAutoStopTimeVOX"), 999 * 3600 + 31 * 60 + 58);
}

TEST(AutoPage, UncheckedTimeLimitGreysTheFieldsAndSavesTheLimitBack)
{
    AutoPage p;
    p.store.store->writeInt("nAutoStopTimeVOX", 3661);
    p.open();
    for (int id : {CSettingAuto::Hours, CSettingAuto::Minutes, CSettingAuto::Seconds})
        EXPECT_FALSE(p.edit(id)->isEnabled());
    EXPECT_EQ(p.times(), (QStringList{"1", "1", "1"}));
    // The arrows of a greyed field do not change it.
    QTest::mouseClick(p.page->control<CUpDown>(CSettingAuto::HoursUpDown)->increaseButton(),
                      Qt::LeftButton);
    EXPECT_EQ(p.edit(CSettingAuto::Hours)->text(), "1");

    clickButton(p.box(CSettingAuto::AutoStopTime));
    EXPECT_TRUE(p.edit(CSettingAuto::Hours)->isEnabled());
    EXPECT_TRUE(p.sheet->applyButton()->isEnabled());
    clickButton(p.box(CSettingAuto::AutoStopTime));
    EXPECT_FALSE(p.edit(CSettingAuto::Hours)->isEnabled());
    p.ok();
    EXPECT_EQ(p.store.readInt("nAutoStopTime"), 0);
    EXPECT_EQ(p.store.readInt("nAutoStopTimeVOX"), 3661);
}

TEST(AutoPage, VoxStopFollowsTheVoxSwitchAndKeepsItsState)
{
    AutoPage p;
    p.store.store->writeInt("nVOXONOFF", 0);
    p.store.store->writeInt("nAutoStopVOX", 1);
    p.open();
    QCheckBox* voxStop = p.box(CSettingAuto::AutoStopVox);
    EXPECT_FALSE(voxStop->isEnabled());
    EXPECT_TRUE(voxStop->isChecked());
    // The VOX page writes its switch at once; Apply brings the box along.
    p.store.store->writeInt("nVOXONOFF", 1);
    clickButton(p.box(CSettingAuto::AutoStart));
    p.sheet->applyButton()->click();
    EXPECT_TRUE(voxStop->isEnabled());
    EXPECT_EQ(p.store.readInt("nAutoStopVOX"), 1);
    EXPECT_EQ(p.store.readInt("nAutoStart"), 1);

    // Read with a default of 1: with nothing stored the box is enabled.
    AutoPage fresh;
    fresh.open();
    EXPECT_TRUE(fresh.box(CSettingAuto::AutoStopVox)->isEnabled());
}

TEST(AutoPage, ScheduledStartShowsTheStoredMomentOrTheNextHourAndApplyStoresTheChoice)
{
    AutoPage p;
    p.store.store->writeInt("nAutoStartDatetime", 1);
    p.store.store->writeInt("nAutoExit", 7);
    p.store.store->writeString("sAutoStartAt", "2031-04-05 06:07:08");
    p.open();
    for (int id : {CSettingAuto::AutoStartDatetime, CSettingAuto::AutoExit})
        EXPECT_TRUE(p.box(id)->isVisible());
    EXPECT_EQ(p.box(CSettingAuto::AutoStartDatetime)->text(), "Auto Start recording at:");
    auto* date = p.page->control<QDateEdit>(CSettingAuto::StartDate);
    auto* time = p.page->control<QTimeEdit>(CSettingAuto::StartTime);
    ASSERT_TRUE(date && time);
    EXPECT_TRUE(date->isVisible() && time->isVisible());
    EXPECT_EQ(date->date(), QDate(2031, 4, 5));
    EXPECT_EQ(time->time(), QTime(6, 7, 8));
    // Boxes left alone store their values back as they came.
    p.ok();
    EXPECT_EQ(p.store.readInt("nAutoExit"), 7);
    EXPECT_EQ(p.store.readString("sAutoStartAt"), "2031-04-05 06:07:08");

    AutoPage fresh;
    fresh.open();
    auto* freshDate = fresh.page->control<QDateEdit>(CSettingAuto::StartDate);
    auto* freshTime = fresh.page->control<QTimeEdit>(CSettingAuto::StartTime);
    QDateTime shown(freshDate->date(), freshTime->time());
    QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(shown.time().minute(), 0);
    EXPECT_EQ(shown.time().second(), 0);
    EXPECT_GT(shown, now);
    EXPECT_LE(shown, now.addSecs(3600));
    freshDate->setDate(QDate(2030, 1, 2));
    freshTime->setTime(QTime(23, 59, 30));
    fresh.box(CSettingAuto::AutoStartDatetime)->click();
    fresh.box(CSettingAuto::AutoExit)->click();
    fresh.ok();
    EXPECT_EQ(fresh.store.readString("sAutoStartAt"), "2030-01-02 23:59:30");
    EXPECT_EQ(fresh.store.readInt("nAutoStartDatetime"), 1);
    EXPECT_EQ(fresh.store.readInt("nAutoExit"), 1);
}
