// The level meter: segments lit by a value, the decay in time, and what a paint shows.
#include "CSkinMeter.h"
#include "skin_test_support.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

namespace {

// A clock the test moves by hand; UseClock in the fixtures below.
int64_t testNow = 0;
int64_t testClock()
{
    return testNow;
}

constexpr int kWidth = 125;
constexpr int kRow = 12;
const QRgb kUnlit = qRgb(20, 60, 30);
const QRgb kLit = qRgb(60, 240, 100);
const QRgb kPanel = qRgb(9, 9, 200);

// Two rows, unlit over lit, with a black gap column after every segment.
QImage meterPicture()
{
    QImage image = solid(kWidth, kRow * 2, kUnlit);
    for (int y = kRow; y < 2 * kRow; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixel(x, y, kLit);
    for (int x = 4; x < kWidth; x += 5)
        for (int y = 0; y < 2 * kRow; ++y)
            image.setPixel(x, y, qRgb(0, 0, 0));
    return image;
}

class Meter : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        parent = std::make_unique<QWidget>();
        parent->resize(200, 80);
        meter = new CSkinMeter(parent.get(), 1227);
        meter->SetBackground(solid(200, 80, kPanel));
        meter->SetImage(meterPicture());
        meter->SetPosition(20, 20);
        meter->SetMaxValue(kLevelScale);
        parent->show();
    }
    // Segments shown as painted: lit pixels counted along the row.
    int litSegments()
    {
        const QImage shot = meter->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        int lit = 0;
        for (int s = 0; s < CSkinMeter::kSegments; ++s)
            lit += shot.pixel(s * 5 + 2, 6) == kLit;
        return lit;
    }

    std::unique_ptr<QWidget> parent;
    CSkinMeter* meter = nullptr;
};

TEST(MeterLevel, SegmentsOnTheLevelScale)
{
    EXPECT_EQ(CSkinMeter::SegmentsFor(0, 0x8000), 0);
    EXPECT_EQ(CSkinMeter::SegmentsFor(1, 0x8000), 1);
    EXPECT_EQ(CSkinMeter::SegmentsFor(31457, 0x8000), 24);
    EXPECT_EQ(CSkinMeter::SegmentsFor(31458, 0x8000), 25);
    EXPECT_EQ(CSkinMeter::SegmentsFor(0x8000, 0x8000), 25);
    // Above the maximum still lights only the meter's own segments.
    EXPECT_EQ(CSkinMeter::SegmentsFor(1'000'000, 0x8000), 25);
    EXPECT_EQ(CSkinMeter::SegmentsFor(-5, 0x8000), 0);
    // Without a maximum the level scale stands in, not a division by zero.
    EXPECT_EQ(CSkinMeter::SegmentsFor(31458, 0), 25);
    EXPECT_EQ(CSkinMeter::SegmentsFor(16384, -1), 13);
}

TEST_F(Meter, PaintShowsTheLitPartOverTheUnlitRowWithBlackTransparent)
{
    meter->SetValue(16384);
    EXPECT_EQ(meter->ShownLevel(), 13);
    EXPECT_EQ(litSegments(), 13);
    const QImage shot = meter->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shot.pixel(100, 6), kUnlit);
    EXPECT_EQ(shot.pixel(4, 6), kPanel);
    EXPECT_EQ(shot.width(), kWidth);
    EXPECT_EQ(shot.height(), kRow);
}

TEST_F(Meter, MidGreyIsDrawnAtAlpha200)
{
    QImage picture = meterPicture();
    picture.setPixel(50, 3, qRgb(128, 128, 128));
    meter->SetImage(picture);
    const QRgb got = pixelOf(meter, 50, 3);
    EXPECT_NEAR(qBlue(got), (128 * 200 + 200 * 55) / 255, 2);
}

// The meter's clock moved by hand: 25 ms per segment.
class DecayingMeter : public Meter {
protected:
    void SetUp() override
    {
        testNow = 1000;
        CSkinMeter::UseClock(testClock);
        Meter::SetUp();
        meter->StartTimer(25);
    }
    void TearDown() override { CSkinMeter::UseClock(nullptr); }
};

TEST(MeterLevel, DecayFallsOneSegmentPerIntervalFromThePeak)
{
    EXPECT_EQ(CSkinMeter::DecayedLevel(25, 0, 25), 25);
    EXPECT_EQ(CSkinMeter::DecayedLevel(25, 24, 25), 25);
    EXPECT_EQ(CSkinMeter::DecayedLevel(25, 25, 25), 24);
    EXPECT_EQ(CSkinMeter::DecayedLevel(25, 600, 25), 1);
    EXPECT_EQ(CSkinMeter::DecayedLevel(25, 625, 25), 0);
    // Long after, and across a clock that stepped back, the level stays within the meter.
    EXPECT_EQ(CSkinMeter::DecayedLevel(25, int64_t{1} << 40, 25), 0);
    EXPECT_EQ(CSkinMeter::DecayedLevel(13, -40, 25), 13);
    // Without an interval the level holds.
    EXPECT_EQ(CSkinMeter::DecayedLevel(13, 5000, 0), 13);
}

TEST_F(DecayingMeter, RisesAtOnceAndFallsOneSegmentPer25Ms)
{
    meter->SetValue(0x8000);
    EXPECT_EQ(meter->ShownLevel(), 25);
    // A lower value keeps the level; the decay goes on from it.
    testNow += 10;
    meter->SetValue(1000);
    EXPECT_EQ(meter->ShownLevel(), 25);
    testNow += 15;
    meter->Tick();
    EXPECT_EQ(meter->ShownLevel(), 24);
    for (int i = 0; i < 24; ++i) {
        testNow += 25;
        meter->SetValue(0);
    }
    EXPECT_EQ(meter->ShownLevel(), 0);
    EXPECT_EQ(litSegments(), 0);
    testNow += 25;
    meter->Tick();
    EXPECT_EQ(meter->ShownLevel(), 0);
}

TEST_F(DecayingMeter, FallsAtTheSameRateWhetherLevelsComeOrNot)
{
    // One meter gets quiet levels every 40 ms, as the recorder sends them; the other gets none
    // and is only ticked, as the clock does once levels stop.
    auto* other = new CSkinMeter(parent.get(), 1030);
    other->SetImage(meterPicture());
    other->SetPosition(20, 40);
    other->SetMaxValue(kLevelScale);
    other->StartTimer(25);
    const int64_t start = testNow;
    meter->SetValue(0x8000);
    other->SetValue(0x8000);
    for (int64_t t = 0; t <= 700; t += 5) {
        testNow = start + t;
        if (t % 40 == 0)
            meter->SetValue(0);
        else
            meter->Tick();
        other->Tick();
        ASSERT_EQ(meter->ShownLevel(), CSkinMeter::DecayedLevel(25, t, 25)) << "at " << t << " ms";
        ASSERT_EQ(other->ShownLevel(), CSkinMeter::DecayedLevel(25, t, 25)) << "at " << t << " ms";
    }
    // A louder level lifts it again, and the fall starts from there.
    meter->SetValue(0x4000);
    EXPECT_EQ(meter->ShownLevel(), 13);
    testNow += 50;
    meter->SetValue(0);
    EXPECT_EQ(meter->ShownLevel(), 11);
}

TEST_F(DecayingMeter, AfterAStalledWindowTheFallGoesOnFromWhereItWasSeen)
{
    meter->SetValue(0x8000);
    testNow += 50;
    meter->Tick();
    ASSERT_EQ(meter->ShownLevel(), 23);
    // The window's thread held up for a second: one step, not an empty meter.
    testNow += 1000;
    meter->Tick();
    EXPECT_EQ(meter->ShownLevel(), 22);
    testNow += 100;
    meter->SetValue(0);
    EXPECT_EQ(meter->ShownLevel(), 18);
    // A stall never lights a meter that had fallen to nothing.
    for (int i = 0; i < 5; ++i) {
        testNow += 100;
        meter->Tick();
    }
    ASSERT_EQ(meter->ShownLevel(), 0);
    testNow += 5000;
    meter->Tick();
    EXPECT_EQ(meter->ShownLevel(), 0);
}

TEST_F(DecayingMeter, ALevelBringsTheOtherMetersOfItsClockUpToDate)
{
    auto* other = new CSkinMeter(parent.get(), 1030);
    other->SetImage(meterPicture());
    other->SetPosition(20, 40);
    other->StartTimer(25);
    other->SetValue(0x8000);
    testNow += 100;
    // Levels for one meter only: the other does not stand still at its peak.
    meter->SetValue(0);
    EXPECT_EQ(other->ShownLevel(), 21);
}

TEST_F(DecayingMeter, RepaintsOnlyTheSegmentsThatChange)
{
    meter->SetValue(0x8000);
    PaintRecorder paints(meter);
    paints.take();
    // One segment off the top: about one segment's width (5 px) is painted, not the meter, and
    // the screen then shows what a whole paint shows.
    QImage screen = paints.picture();
    testNow += 25;
    meter->Tick();
    std::vector<QRect> rects = paints.take();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_GE(rects[0].left(), 115);
    EXPECT_LE(rects[0].width(), 8);
    EXPECT_EQ(firstDifference(paints.repaintedOver(screen, rects[0]), paints.picture()), "same");
    // A rise repaints the segments it lights, the same way.
    screen = paints.picture();
    testNow += 200; // down to 17
    meter->Tick();
    screen = paints.repaintedOver(screen, paints.take().at(0));
    meter->SetValue(0x7000);
    rects = paints.take();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(firstDifference(paints.repaintedOver(screen, rects[0]), paints.picture()), "same");
    // An unchanged level paints nothing.
    testNow += 10;
    meter->SetValue(0x7000);
    meter->Tick();
    EXPECT_TRUE(paints.take().empty());
    EXPECT_EQ(litSegments(), 22);
}

TEST_F(DecayingMeter, HeldSegmentMarksThePeakForOneAndAHalfSecondsThenFallsToTheBar)
{
    // What segment s shows on screen: unlit, lit, or the held tone (brighter than lit).
    auto look = [&](int segment) {
        const QRgb p = meter->grab().toImage().pixel((segment - 1) * 5 + 2, 6);
        if (p == kLit)
            return 'L';
        if (p == kUnlit)
            return '-';
        return qGreen(p) > qGreen(kLit) && qRed(p) > qRed(kLit) ? 'H' : '?';
    };
    meter->SetValue(0x6000); // 19 segments
    ASSERT_EQ(meter->ShownLevel(), 19);
    EXPECT_EQ(meter->HeldLevel(), 19);
    EXPECT_EQ(look(19), 'L'); // at the bar it is the bar's top
    // The bar falls, the held segment stays above it, and only its own cells are repainted.
    PaintRecorder paints(meter);
    paints.take();
    for (int t = 40; t <= 1480; t += 40) {
        testNow += 40;
        meter->SetValue(0x1000); // 4 segments
    }
    EXPECT_EQ(meter->ShownLevel(), 4);
    EXPECT_EQ(meter->HeldLevel(), 19);
    EXPECT_EQ(look(19), 'H');
    EXPECT_EQ(look(18), '-');
    paints.take();
    // A lower peak within the hold leaves it; past 1.5 s since the peak it falls to the bar.
    testNow += 20; // 1500 ms after the peak
    meter->SetValue(0x1000);
    EXPECT_EQ(meter->HeldLevel(), meter->ShownLevel());
    const std::vector<QRect> rects = paints.take();
    ASSERT_FALSE(rects.empty());
    for (const QRect& r : rects)
        EXPECT_LE(r.width(), 8);
    EXPECT_EQ(look(19), '-');
    // A new peak lifts it at once; silence empties the bar and, a hold later, the held segment.
    meter->SetValue(0x8000);
    EXPECT_EQ(meter->HeldLevel(), 25);
    testNow += 100;
    meter->SetValue(0);
    EXPECT_EQ(look(25), 'H');
    for (int i = 0; i < 40; ++i) {
        testNow += 40;
        meter->SetValue(0);
    }
    EXPECT_EQ(meter->ShownLevel(), 0);
    EXPECT_EQ(meter->HeldLevel(), 0);
    EXPECT_EQ(look(25), '-');
}

TEST_F(Meter, ValueAboveTheMaximumNeverDrawsPastTheMeter)
{
    meter->SetMaxValue(100);
    meter->SetValue(5000);
    EXPECT_EQ(meter->ShownLevel(), 25);
    EXPECT_EQ(litSegments(), 25);
    EXPECT_EQ(meter->width(), kWidth);
}

TEST_F(Meter, UsedBeforeItsMaximumIsSetItReadsTheLevelScale)
{
    auto* fresh = new CSkinMeter(parent.get(), 1030);
    fresh->SetImage(meterPicture());
    fresh->SetPosition(20, 40);
    fresh->SetValue(16384);
    EXPECT_EQ(fresh->ShownLevel(), 13);
    EXPECT_FALSE(fresh->grab().isNull());
}

TEST_F(Meter, AfterTheLevelsStopTheClockBringsTheMeterTo0AtItsPace)
{
    // The real clock: 25 segments at 5 ms fall in no less than 125 ms, and the clock alone,
    // without another level, finishes the fall.
    meter->StartTimer(5);
    QElapsedTimer elapsed;
    elapsed.start();
    meter->SetValue(0x8000);
    ASSERT_EQ(meter->ShownLevel(), 25);
    QTRY_COMPARE_WITH_TIMEOUT(meter->ShownLevel(), 0, 5000);
    EXPECT_GE(elapsed.elapsed(), 125);
    EXPECT_EQ(litSegments(), 0);
}

TEST_F(Meter, TwoTimesPicturePaintsPixelForPixelAtTwoTimes)
{
    // A 2x picture whose second device column differs from the first: a sharp paint keeps both.
    QImage sharp = solid(kWidth * 2, kRow * 4, kUnlit);
    for (int y = kRow * 2; y < kRow * 4; ++y)
        for (int x = 0; x < kWidth * 2; ++x)
            sharp.setPixel(x, y, x % 2 ? qRgb(200, 30, 30) : kLit);
    sharp.setDevicePixelRatio(2);
    QImage background = solid(400, 160, kPanel);
    background.setDevicePixelRatio(2);
    meter->SetBackground(background);
    meter->SetImage(sharp);
    meter->SetPosition(20, 20);
    EXPECT_EQ(meter->width(), kWidth);
    EXPECT_EQ(meter->height(), kRow);
    meter->SetValue(16384);
    QImage target(kWidth * 2, kRow * 2, QImage::Format_ARGB32);
    target.setDevicePixelRatio(2);
    meter->render(&target);
    EXPECT_EQ(target.pixel(0, 5), kLit);
    EXPECT_EQ(target.pixel(1, 5), qRgb(200, 30, 30));
    // Lit to 13 of 25 segments, that is 65 logical pixels.
    EXPECT_EQ(target.pixel(129, 5), qRgb(200, 30, 30));
    EXPECT_EQ(target.pixel(131, 5), kUnlit);
}

} // namespace
