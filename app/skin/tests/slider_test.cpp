// The skinned slider: range arithmetic and its harmless limits, dragging, the wheel, and the VOX
// thumb's colours.
#include "CSkinSlider.h"
#include "skin_test_support.h"
#include "window_messages.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kId = 119;
constexpr uint32_t kMessage = WM_USER + kId;
constexpr int kChannel = 230;
constexpr int kThumb = 10;
constexpr int kHeight = 12;

class Slider : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        log = std::make_unique<MessageLog>();
        log->resize(300, 100);
        slider = new CSkinSlider(log.get(), kId);
        slider->SetBackground(solid(300, 100, qRgb(30, 30, 30)));
        slider->SetSkinImages(solid(kChannel, kHeight, qRgb(200, 200, 200)),
                              solid(kThumb, kHeight, qRgb(250, 250, 10)), CSkinSlider::kSeekStyle);
        slider->SetPosition(13, 20);
        slider->SetRange(0, 100);
        log->show();
    }
    std::vector<uintptr_t> codes() { return log->codes(kMessage); }
    QPoint thumbMiddle() { return QPoint(slider->ThumbLeft() + kThumb / 2, kHeight / 2); }

    std::unique_ptr<MessageLog> log;
    CSkinSlider* slider = nullptr;
};

TEST(SliderGeometry, ThumbTravelsTheChannelAndClampsAtBothEnds)
{
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(0, 0, 100, 230, 10), 0);
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(50, 0, 100, 230, 10), 110);
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(100, 0, 100, 230, 10), 220);
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(150, 0, 100, 230, 10), 220);
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(-5, 0, 100, 230, 10), 0);
    // A 64-bit range: ten hours in 100-ns units.
    const int64_t tenHours = 360'000'000'000LL;
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(tenHours / 2, 0, tenHours, 230, 10), 110);
    EXPECT_EQ(CSkinSlider::ValueAtXFor(230, 0, tenHours, 230, 10) >= tenHours, true);
}

TEST(SliderGeometry, NarrowChannelOrEmptyRangeRestsAtTheLeftWithoutDividingByZero)
{
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(50, 0, 100, 10, 10), 0);
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(50, 0, 100, 8, 10), 0);
    EXPECT_EQ(CSkinSlider::ThumbLeftFor(50, 7, 7, 230, 10), 0);
    EXPECT_EQ(CSkinSlider::ValueAtXFor(100, 0, 100, 10, 10), 0);
    EXPECT_EQ(CSkinSlider::ValueAtXFor(100, 7, 7, 230, 10), 7);
    EXPECT_EQ(CSkinSlider::ValueAtXFor(100, 9, 3, 230, 10), 9);
}

TEST_F(Slider, ValueAboveTheRangeShowsTheMaximumAndNotifiesOnlyWhenAsked)
{
    slider->SetValue(150, false);
    EXPECT_EQ(slider->GetValue(), 100);
    EXPECT_EQ(pixelOf(slider, kChannel - 5, 6), qRgb(250, 250, 10));
    EXPECT_TRUE(codes().empty());
    slider->SetValue(-3, true);
    EXPECT_EQ(slider->GetValue(), 0);
    EXPECT_EQ(codes(), std::vector<uintptr_t>{0});
}

TEST_F(Slider, ChannelIsDrawnAtAlphaHundredWithBlackTransparent)
{
    QImage channel = solid(kChannel, kHeight, qRgb(200, 200, 200));
    channel.setPixel(100, 3, qRgb(0, 0, 0));
    slider->SetSkinImages(channel, solid(kThumb, kHeight, qRgb(250, 250, 10)),
                          CSkinSlider::kSeekStyle);
    EXPECT_EQ(qAlpha(slider->ChannelCopy().pixel(100, 3)), 0);
    // 200 at alpha 100 over 30.
    EXPECT_NEAR(qRed(pixelOf(slider, 100, 6)), (200 * 100 + 30 * 155) / 255, 2);
    EXPECT_EQ(pixelOf(slider, 100, 3), qRgb(30, 30, 30));
}

TEST_F(Slider, DraggingTheThumbToTheRightEndGivesTheMaximum)
{
    QTest::mousePress(slider, Qt::LeftButton, {}, thumbMiddle());
    QTest::mouseMove(slider, QPoint(120, 6));
    const int64_t middle = slider->GetValue();
    EXPECT_NEAR(middle, 54, 1);
    QTest::mouseMove(slider, QPoint(kChannel + 40, 6));
    EXPECT_EQ(slider->GetValue(), 100);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(kChannel + 40, 6));
    const auto got = codes();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got.front(), 2u);
    EXPECT_EQ(got.back(), 3u);
    for (size_t i = 1; i + 1 < got.size(); ++i)
        EXPECT_EQ(got[i], 0u);
}

TEST_F(Slider, PressOffTheThumbDoesNothing)
{
    slider->SetValue(50, false);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(5, 6));
    QTest::mouseMove(slider, QPoint(200, 6));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(200, 6));
    EXPECT_EQ(slider->GetValue(), 50);
    EXPECT_TRUE(codes().empty());
}

TEST_F(Slider, WheelNotchMovesByOneAndPostsTwice)
{
    slider->SetValue(40, false);
    QWheelEvent up(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &up);
    EXPECT_EQ(slider->GetValue(), 41);
    EXPECT_EQ(codes(), (std::vector<uintptr_t>{0, 0}));
    log->clear();
    QWheelEvent small(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 30),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &small);
    EXPECT_EQ(slider->GetValue(), 41);
    EXPECT_EQ(codes(), std::vector<uintptr_t>{0});
}

TEST_F(Slider, EmptyRangeOrNarrowChannelStillPaintsAndDrags)
{
    slider->SetRange(5, 5);
    slider->SetValue(9, true);
    EXPECT_EQ(slider->GetValue(), 5);
    EXPECT_EQ(slider->ThumbLeft(), 0);
    slider->SetSkinImages(solid(8, kHeight, qRgb(200, 200, 200)),
                          solid(kThumb, kHeight, qRgb(250, 250, 10)), CSkinSlider::kSeekStyle);
    slider->SetPosition(13, 20);
    slider->SetRange(0, 100);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(4, 6));
    QTest::mouseMove(slider, QPoint(7, 6));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(7, 6));
    EXPECT_EQ(slider->GetValue(), 0);
    EXPECT_FALSE(slider->grab().isNull());
}

TEST(VoxThumb, OpaqueRedAtZeroAndTranslucentDarkRedWithBlueSeeThroughOtherwise)
{
    QImage thumb = solid(15, 14, qRgb(60, 64, 72));
    thumb.setPixel(7, 7, qRgb(0, 0, 255));
    thumb.setPixel(0, 0, qRgb(0, 0, 0));
    const QImage zero = CSkinSlider::StyledThumb(thumb, CSkinSlider::kVoxStyle, 0)
                            .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(zero.pixel(3, 3), qRgba(255, 0, 0, 255));
    EXPECT_EQ(zero.pixel(7, 7), qRgba(255, 0, 0, 255));
    EXPECT_EQ(qAlpha(zero.pixel(0, 0)), 0);
    for (int style : {1, 2}) {
        const QImage level = CSkinSlider::StyledThumb(thumb, CSkinSlider::kVoxStyle, style)
                                 .convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(level.pixel(3, 3), qRgba(219, 33, 23, 155));
        EXPECT_EQ(qAlpha(level.pixel(7, 7)), 0);
    }
    // The seek thumb keeps its colours in every style.
    EXPECT_EQ(CSkinSlider::StyledThumb(thumb, CSkinSlider::kSeekStyle, 0)
                  .convertToFormat(QImage::Format_ARGB32)
                  .pixel(7, 7),
              qRgb(0, 0, 255));
}

TEST_F(Slider, VoxSliderRestylesByValueAndFocus)
{
    slider->SetSkinImages(solid(140, 14, qRgb(40, 44, 50)), solid(15, 14, qRgb(60, 64, 72)),
                          CSkinSlider::kVoxStyle);
    slider->SetValue(0, false);
    EXPECT_EQ(slider->ThumbStyle(), 0);
    slider->SetValue(30, false);
    EXPECT_EQ(slider->ThumbStyle(), 2);
    slider->UpdateThumbStyle();
    EXPECT_EQ(slider->ThumbStyle(), 1);
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(slider, &in);
    EXPECT_EQ(slider->ThumbStyle(), 2);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(slider, &out);
    EXPECT_EQ(slider->ThumbStyle(), 1);
}

TEST_F(Slider, VoxDragReadsSevenBelowThePointer)
{
    slider->SetSkinImages(solid(140, 14, qRgb(40, 44, 50)), solid(15, 14, qRgb(60, 64, 72)),
                          CSkinSlider::kVoxStyle);
    slider->SetPosition(13, 20);
    slider->SetValue(0, false);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(7, 7));
    QTest::mouseMove(slider, QPoint(57, 7));
    EXPECT_EQ(slider->GetValue(), 57 * 100 / 125 - 7);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(57, 7));
}

TEST_F(Slider, TooltipShowsNameAndValue)
{
    slider->SetTooltipName(QStringLiteral("VOX level"), true);
    slider->SetValue(42, false);
    EXPECT_EQ(slider->toolTip(), QStringLiteral("VOX level : 42"));
}

} // namespace
