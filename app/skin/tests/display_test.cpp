// The time display's text and glyphs, and the text display's two lines.
#include "CSkinTextDisplay.h"
#include "CSkinTimeDisplay.h"
#include "skin_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeText, HoursMinutesSecondsHundredths)
{
    EXPECT_EQ(CSkinTimeDisplay::TextFor(0), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(CSkinTimeDisplay::TextFor(366000), QStringLiteral("01:01:00:00"));
    EXPECT_EQ(CSkinTimeDisplay::TextFor(5999), QStringLiteral("00:00:59:99"));
    EXPECT_EQ(CSkinTimeDisplay::TextFor(100LL * 3600 * 100 + 1), QStringLiteral("100:00:00:01"));
}

// Glyph g of a 12-glyph strip of 4-pixel cells is a bar g + 1 pixels high in its cell's column 1.
QImage glyphStrip()
{
    QImage strip = solid(48, 12, qRgb(0, 0, 0));
    for (int g = 0; g < 12; ++g)
        for (int y = 0; y <= g; ++y)
            strip.setPixel(g * 4 + 1, y, qRgb(90, 90, 90));
    return strip;
}

TEST(TimeDisplay, DrawsEachCharacterFromItsGlyphInTheDigitColour)
{
    testApp();
    QWidget parent;
    parent.resize(100, 40);
    auto* display = new CSkinTimeDisplay(&parent, 120);
    display->SetBackground(solid(100, 40, qRgb(10, 20, 30)));
    display->SetDigitColor(255, 0, 255, 0);
    display->SetDigits(glyphStrip());
    display->SetPosition(5, 5);
    display->SetValue(366012); // 01:01:00:12
    parent.show();
    EXPECT_EQ(display->width(), 48);
    const QImage shot = display->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    auto height = [&](int cell) {
        int h = 0;
        while (h < 12 && shot.pixel(cell * 4 + 1, h) == qRgb(0, 255, 0))
            ++h;
        return h;
    };
    const int expected[] = {1, 2, 12, 1, 2, 12, 1, 1, 12, 2, 3};
    for (int cell = 0; cell < 11; ++cell)
        EXPECT_EQ(height(cell), expected[cell]) << "cell " << cell;
    // The last cell shows the background; black glyph pixels are transparent.
    EXPECT_EQ(shot.pixel(45, 0), qRgb(10, 20, 30));
    EXPECT_EQ(shot.pixel(2, 0), qRgb(10, 20, 30));
}

TEST(TimeDisplay, RepaintsOnlyTheGlyphsThatChange)
{
    testApp();
    QWidget parent;
    parent.resize(100, 40);
    auto* display = new CSkinTimeDisplay(&parent, 120);
    display->SetBackground(stripes(100, 40));
    display->SetDigits(glyphStrip());
    display->SetPosition(5, 5);
    display->SetValue(5998); // 00:00:59:98
    parent.show();
    PaintRecorder paints(display);
    paints.take();
    QImage screen = paints.picture();
    // The last glyph alone; the screen then shows what a whole paint shows.
    display->SetValue(5999);
    std::vector<QRect> rects = paints.take();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_GE(rects[0].left(), 10 * 4 - 1);
    EXPECT_LE(rects[0].width(), 4 + 2);
    screen = paints.repaintedOver(screen, rects[0]);
    EXPECT_EQ(firstDifference(screen, paints.picture()), "same");
    // A minute turning over changes five glyphs in the middle.
    display->SetValue(6000); // 00:01:00:00
    rects = paints.take();
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(firstDifference(paints.repaintedOver(screen, rects[0]), paints.picture()), "same");
    // The same text paints nothing.
    display->SetValue(6000);
    EXPECT_TRUE(paints.take().empty());
}

TEST(TextDisplay, SplitsTwoLinesAtTheBars)
{
    testApp();
    QWidget parent;
    CSkinTextDisplay label(&parent, 106);
    label.SetText(QStringLiteral("WAV|44100 Hz, 16-bit, stereo"));
    EXPECT_EQ(label.FirstLine(), QStringLiteral("WAV"));
    EXPECT_EQ(label.SecondLine(), QStringLiteral("44100 Hz, 16-bit, stereo"));
    label.SetText(QStringLiteral("a|b|c"));
    EXPECT_EQ(label.FirstLine(), QStringLiteral("a"));
    EXPECT_EQ(label.SecondLine(), QStringLiteral("c"));
    label.SetText(QStringLiteral("no bar"));
    EXPECT_EQ(label.FirstLine(), QString());
    EXPECT_EQ(label.SecondLine(), QStringLiteral("no bar"));
}

TEST(TextDisplay, DrawsTheLinesInItsColourOverTheBackground)
{
    testApp();
    QWidget parent;
    parent.resize(300, 100);
    auto* label = new CSkinTextDisplay(&parent, 106);
    label->SetBackground(solid(300, 100, qRgb(0, 0, 40)));
    label->SetRect(20, 52, 220, 24);
    label->SetTextColor(255, 255, 255, 0);
    label->SetFontSize(10);
    label->SetText(QStringLiteral("WAV|44100 Hz"));
    parent.show();
    const QImage shot = label->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    auto yellowRows = [&](int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < shot.width(); ++x)
                count += qRed(shot.pixel(x, y)) > 150 && qBlue(shot.pixel(x, y)) < 100;
        return count;
    };
    EXPECT_GT(yellowRows(0, 10), 5);
    EXPECT_GT(yellowRows(10, 22), 5);
    EXPECT_EQ(shot.pixel(200, 5), qRgb(0, 0, 40));
}

} // namespace
