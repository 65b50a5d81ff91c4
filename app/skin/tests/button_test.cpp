// The skinned button: which picture each state shows, its keyed copies, and the mouse rules that
// decide when a click reaches the parent.
#include "CSkinButton.h"
#include "skin_test_support.h"
#include "window_messages.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kId = 1010;
constexpr uint32_t kMessage = WM_USER + kId;
constexpr int kW = 20;
constexpr int kH = 10;

// Every slot in a colour of its own: red rising with the slot number.
QRgb slotColour(int slot)
{
    return qRgb(20 + slot * 20, 90, 30);
}

class Button : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        log = std::make_unique<MessageLog>();
        button = new CSkinButton(log.get(), kId);
        button->SetBackground(stripes(300, 200));
        for (int slot = 0; slot < CSkinButton::kSlots; ++slot)
            button->SetImage(slot, solid(kW, kH, slotColour(slot)));
        button->SetPosition(40, 30);
        button->SetState(1);
        button->SetHoverTracking(true);
        log->show();
    }
    std::vector<uintptr_t> clicks() { return log->codes(kMessage); }
    // A move with no button held, straight to the button.
    void hoverAt(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, button->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(button, &move);
    }
    QRgb shown() { return pixelOf(button, 5, 5); }

    std::unique_ptr<MessageLog> log;
    CSkinButton* button = nullptr;
};

TEST_F(Button, StateShowsItsSlotAndFaceBaseFollowsTheState)
{
    for (int state : {1, 2, 3, 5, 6, 7}) {
        button->SetState(state);
        EXPECT_EQ(shown(), slotColour(state)) << "state " << state;
        EXPECT_TRUE(button->isEnabled());
    }
    button->SetState(7);
    EXPECT_EQ(button->FaceBase(), 4);
    button->SetState(3);
    EXPECT_EQ(button->FaceBase(), 0);
}

TEST_F(Button, DisabledStatesDrawDimmedAndTakeNoInput)
{
    for (int state : {4, 8}) {
        button->SetState(state);
        EXPECT_FALSE(button->isEnabled());
        // Alpha 100 over the background at x = 40 + 5.
        const QRgb bg = stripeColour(45);
        const QRgb fg = slotColour(state);
        const QRgb got = shown();
        EXPECT_NEAR(qRed(got), (qRed(fg) * 100 + qRed(bg) * 155) / 255, 2);
        EXPECT_NEAR(qBlue(got), (qBlue(fg) * 100 + qBlue(bg) * 155) / 255, 2);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_TRUE(clicks().empty());
    }
    button->SetState(5);
    EXPECT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks(), std::vector<uintptr_t>{0});
}

TEST_F(Button, PureWhiteIsTransparentAndTheBackgroundUnderTheButtonShows)
{
    QImage image = solid(kW, kH, qRgb(255, 255, 255));
    image.setPixel(0, 0, qRgb(254, 255, 255));
    button->SetImage(1, image);
    EXPECT_EQ(qAlpha(button->Image(1).pixel(5, 5)), 0);
    EXPECT_EQ(qAlpha(button->Image(1).pixel(0, 0)), 255);
    // The rectangle of the background under the button's own position, not its corner.
    EXPECT_EQ(shown(), stripeColour(45));
    EXPECT_EQ(pixelOf(button, 12, 3), stripeColour(52));
}

TEST_F(Button, ClickPostsOnceAndShowsPressedWhileHeld)
{
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(shown(), slotColour(2));
    EXPECT_TRUE(clicks().empty());
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(shown(), slotColour(1));
    EXPECT_EQ(clicks(), std::vector<uintptr_t>{0});
}

TEST_F(Button, PressDragOutReleasePostsNothingAndEndsNormal)
{
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(button, QPoint(60, 40));
    // Still pressed outside.
    EXPECT_EQ(button->State(), 2);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(60, 40));
    EXPECT_TRUE(clicks().empty());
    EXPECT_EQ(button->State(), 1);
    EXPECT_EQ(shown(), slotColour(1));
}

TEST_F(Button, ReleaseOnTheRightOrBottomEdgeCountsAsInside)
{
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(kW, kH));
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(kW + 1, kH));
    EXPECT_EQ(clicks(), std::vector<uintptr_t>{0});
}

TEST_F(Button, WithoutHoverTrackingAReleaseAnywherePostsAndNoHoverLookShows)
{
    button->SetHoverTracking(false);
    hoverAt(QPoint(5, 5));
    EXPECT_EQ(button->State(), 1);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(button->State(), 1);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(clicks(), std::vector<uintptr_t>{0});
}

TEST_F(Button, HoverShowsOverImageAndLeavingRestoresNormal)
{
    button->SetState(5);
    hoverAt(QPoint(5, 5));
    EXPECT_EQ(button->State(), 7);
    EXPECT_EQ(shown(), slotColour(7));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(button->State(), 5);
    // A move outside the button also ends the hover look.
    hoverAt(QPoint(5, 5));
    hoverAt(QPoint(kW + 3, 5));
    EXPECT_EQ(button->State(), 5);
}

TEST_F(Button, DisabledButtonKeepsItsDimmedFaceWhateverThePointerDoes)
{
    for (int state : {4, 8}) {
        button->SetState(state);
        const QRgb dimmed = shown();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(button, &enter);
        hoverAt(QPoint(5, 5));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        EXPECT_EQ(button->State(), state);
        EXPECT_EQ(shown(), dimmed) << "state " << state;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5),
                          button->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5),
                            button->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(button, &press);
        EXPECT_EQ(shown(), dimmed) << "state " << state;
        QApplication::sendEvent(button, &release);
        QApplication::sendEvent(button, &leave);
        EXPECT_EQ(button->State(), state);
        EXPECT_EQ(shown(), dimmed) << "state " << state;
        button->Click();
    }
    EXPECT_TRUE(clicks().empty());
    // Enabled again, Click posts as a click over it does.
    button->SetState(1);
    button->Click();
    EXPECT_EQ(clicks(), std::vector<uintptr_t>{0});
}

TEST_F(Button, TabFocusDrawsARingThatPointerFocusDoesNot)
{
    const QRgb edge = pixelOf(button, 1, 5);
    QFocusEvent byPointer(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(button, &byPointer);
    EXPECT_FALSE(button->FocusMarkShown());
    EXPECT_EQ(pixelOf(button, 1, 5), edge);
    QFocusEvent byTab(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(button, &byTab);
    EXPECT_TRUE(button->FocusMarkShown());
    EXPECT_NE(pixelOf(button, 1, 5), edge);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(button, &out);
    EXPECT_EQ(pixelOf(button, 1, 5), edge);
    EXPECT_EQ(button->accessibleName(), QString());
    button->SetTooltipText(QStringLiteral("Record"), true);
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Record"));
}

TEST_F(Button, RightClickPostsCodeFiveWithoutChangingTheLook)
{
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks(), std::vector<uintptr_t>{5});
    EXPECT_EQ(shown(), slotColour(1));
}

TEST_F(Button, DoubleClickPostsTwoClicks)
{
    auto send = [&](QEvent::Type type) {
        QMouseEvent event(type, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    };
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonRelease);
    send(QEvent::MouseButtonDblClick);
    EXPECT_EQ(button->State(), 2);
    send(QEvent::MouseButtonRelease);
    EXPECT_EQ(clicks(), (std::vector<uintptr_t>{0, 0}));
}

TEST_F(Button, EmptyTooltipStringKeepsTheTooltip)
{
    button->SetTooltipText(QStringLiteral("Record / Pause"), true);
    button->SetTooltipText(QString(), true);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Record / Pause"));
    button->SetTooltipText(QString(300, u'x'), true);
    EXPECT_EQ(button->toolTip().size(), 255);
}

TEST(ReplaceColor, RewritesOnlyTheMatchingColour)
{
    QImage image = solid(4, 1, qRgb(255, 255, 255));
    image.setPixel(1, 0, qRgba(255, 255, 254, 255));
    CSkinButton::ReplaceColor(image, 255, 255, 255, 0, 0, 0, 0);
    EXPECT_EQ(image.pixel(0, 0), 0u);
    EXPECT_EQ(image.pixel(1, 0), qRgba(255, 255, 254, 255));
}

} // namespace
