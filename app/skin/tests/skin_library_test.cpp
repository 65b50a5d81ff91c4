// The skin library as the program reads it: every picture, cursor and string the window needs,
// sizes that fit the face, colour keys kept, and nothing for a name it lacks.
#include "CSkinButton.h"
#include "demo_face.h"
#include "skin.h"
#include "skin_test_support.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

const char* const kBitmaps[] = {"DVKpanel1", "DVKmain1",   "TitleBrevon", "TitleDV",
                                "VUMETER",   "HLEVELS",    "DISPLAY0",    "Thumbchannel",
                                "Thumb",     "VOXCHANNEL", "VOXTHUMB"};

struct Key {
    const char* stem;
    QPoint at;
};
// The main window's buttons at their places; every look of a button shares its size.
const Key kKeys[] = {{"MenuM", {8, 104}},       {"RecM", {8, 125}},       {"RecPauseM", {8, 125}},
                     {"RecStopM", {48, 125}},   {"PlayStopM", {48, 125}}, {"PlayM", {88, 125}},
                     {"PlayPauseM", {88, 125}}, {"SaveM", {128, 125}},    {"CUTSAVEM", {128, 125}},
                     {"OpenM", {168, 125}},     {"CloseM", {168, 125}},   {"HelpM", {208, 125}},
                     {"PanelM", {208, 140}},    {"SettingM", {208, 150}}, {"MinimiseM", {222, 109}},
                     {"ExitM", {236, 109}}};

QString look(const char* stem, int which)
{
    const bool upper = QString::fromLatin1(stem) == QLatin1String("CUTSAVEM");
    static const char* lower[] = {"-out", "-down", "-over"};
    static const char* capital[] = {"-OUT", "-DOWN", "-OVER"};
    return QString::fromLatin1(stem) + QString::fromLatin1(upper ? capital[which] : lower[which]);
}

class SkinLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        std::string error;
        ASSERT_TRUE(loadSkin(&error)) << error;
    }
    QImage bitmap(const QString& name, qreal ratio = 1) { return skinModule().bitmap(name, ratio); }
};

TEST_F(SkinLibrary, EveryPictureResolvesAtOneAndTwoTimes)
{
    std::vector<QString> names;
    for (const char* name : kBitmaps)
        names.push_back(QString::fromLatin1(name));
    for (const Key& key : kKeys)
        for (int i = 0; i < 3; ++i)
            names.push_back(look(key.stem, i));
    EXPECT_EQ(names.size(), 11u + 48u);
    for (const QString& name : names) {
        const QImage one = bitmap(name, 1);
        const QImage two = bitmap(name, 2);
        ASSERT_FALSE(one.isNull()) << name.toStdString();
        ASSERT_FALSE(two.isNull()) << name.toStdString();
        EXPECT_EQ(two.size(), one.size() * 2) << name.toStdString();
        EXPECT_EQ(two.devicePixelRatio(), 2.0);
        EXPECT_EQ(two.deviceIndependentSize().toSize(), one.size());
    }
}

TEST_F(SkinLibrary, FaceIsTwoHalvesOf256By182)
{
    EXPECT_EQ(bitmap("DVKpanel1").width(), 256);
    EXPECT_EQ(bitmap("DVKmain1").width(), 256);
    EXPECT_EQ(bitmap("DVKpanel1").height() + bitmap("DVKmain1").height(), 182);
    EXPECT_EQ(bitmap("DISPLAY0").width() % 12, 0);
    EXPECT_EQ(bitmap("VUMETER").height() % 2, 0);
    EXPECT_EQ(bitmap("HLEVELS").height() % 2, 0);
    // The meters at (20, 20) and (20, 35) and the time display at (160, 27) do not meet.
    EXPECT_LE(20 + bitmap("VUMETER").height() / 2, 35);
    EXPECT_LE(20 + bitmap("VUMETER").width(), 160);
    EXPECT_LE(160 + bitmap("DISPLAY0").width(), 256);
    EXPECT_LE(13 + bitmap("Thumbchannel").width(), 256);
    EXPECT_GT(bitmap("Thumbchannel").width(), bitmap("Thumb").width());
    EXPECT_GT(bitmap("VOXCHANNEL").width(), bitmap("VOXTHUMB").width());
}

TEST_F(SkinLibrary, ButtonsFitTheFaceWithoutOverlapping)
{
    std::vector<QRect> places;
    for (const Key& key : kKeys) {
        const QSize size = bitmap(look(key.stem, 0)).size();
        for (int i = 1; i < 3; ++i)
            EXPECT_EQ(bitmap(look(key.stem, i)).size(), size) << key.stem;
        const QRect place(key.at, size);
        EXPECT_TRUE(QRect(0, 100, 256, 82).contains(place)) << key.stem;
        // The two faces of one button share its place; different buttons never meet.
        for (const QRect& other : places) {
            if (other.topLeft() != place.topLeft()) {
                EXPECT_FALSE(other.intersects(place)) << key.stem;
            }
        }
        places.push_back(place);
    }
}

TEST_F(SkinLibrary, ColourKeysAreKept)
{
    // A key's rounded corner is pure white, so the face shows there.
    const QImage rec = bitmap("RecM-out");
    EXPECT_EQ(rec.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_NE(rec.pixel(rec.width() / 2, rec.height() / 2) & 0xFFFFFF, 0xFFFFFFu);
    // The VOX thumb carries pure blue pixels to recolour; the digit strip is lit on black.
    const QImage thumb = bitmap("VOXTHUMB");
    int blue = 0;
    for (int y = 0; y < thumb.height(); ++y)
        for (int x = 0; x < thumb.width(); ++x)
            blue += (thumb.pixel(x, y) & 0xFFFFFF) == 0x0000FFu;
    EXPECT_GT(blue, 10);
    const QImage digits = bitmap("DISPLAY0");
    EXPECT_EQ(digits.pixel(0, 0) & 0xFFFFFF, 0u);
    // The face itself is opaque and uses no key colour.
    const QImage panel = bitmap("DVKpanel1");
    for (int y = 0; y < panel.height(); y += 3)
        for (int x = 0; x < panel.width(); x += 3)
            ASSERT_NE(panel.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(SkinLibrary, CursorsCarryTheirHotSpots)
{
    for (const char* name : {"CURSOR1", "CURSOR2", "GUIHAND", "FINGER"}) {
        const auto cursor = skinModule().cursor(QString::fromLatin1(name));
        ASSERT_TRUE(cursor.has_value()) << name;
        EXPECT_FALSE(cursor->pixmap().isNull());
    }
    EXPECT_EQ(skinModule().cursor("CURSOR2")->hotSpot(), QPoint(16, 16));
    EXPECT_EQ(skinModule().cursor("CURSOR1")->hotSpot(), QPoint(1, 1));
}

TEST_F(SkinLibrary, StringsTheProgramUsesExist)
{
    EXPECT_EQ(skinString(1), QStringLiteral("Dravik"));
    EXPECT_EQ(skinString(2), QStringLiteral("1.0"));
    for (int id : {3,  4,  5,  6,  7,  8,  9,  10, 13, 14, 15, 18,
                   19, 20, 24, 38, 41, 42, 60, 77, 93, 95, 96, 97}) {
        EXPECT_FALSE(skinString(id).isEmpty()) << id;
        EXPECT_LE(skinString(id).size(), kSkinStringMax);
    }
}

TEST_F(SkinLibrary, MissingNamesGiveNothing)
{
    EXPECT_TRUE(bitmap("NoSuchPicture").isNull());
    EXPECT_TRUE(bitmap("").isNull());
    EXPECT_FALSE(skinModule().cursor("NOCURSOR").has_value());
    EXPECT_TRUE(skinString(12345).isEmpty());
    EXPECT_TRUE(skinString(-1).isEmpty());
    // A picture with no 2x version comes at 1x.
    EXPECT_FALSE(bitmap("DVKpanel1@2x", 2).isNull());
}

TEST_F(SkinLibrary, ComposedFaceShowsTheTitlesKeyedAndButtonsBlendIntoIt)
{
    const QImage face = composeFace(skinModule(), 1).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(face.size(), QSize(256, 182));
    const QImage main = bitmap("DVKmain1");
    // Where a title is pure white the face shows; where it has letters it does not.
    const QImage title = bitmap("TitleDV");
    int keyed = 0;
    int lettered = 0;
    for (int y = 0; y < title.height(); ++y) {
        for (int x = 0; x < title.width(); ++x) {
            const QRgb shown = face.pixel(75 + x, 106 + y);
            if ((title.pixel(x, y) & 0xFFFFFF) == 0xFFFFFFu) {
                ASSERT_EQ(shown, main.pixel(75 + x, 6 + y)) << x << "," << y;
                ++keyed;
            } else {
                lettered += shown != main.pixel(75 + x, 6 + y);
            }
        }
    }
    EXPECT_GT(keyed, 100);
    EXPECT_GT(lettered, 100);

    // A button drawn over the face at its place shows the face at its rounded corner.
    MessageLog parent;
    CSkinButton button(&parent, 1010);
    button.SetBackground(face);
    button.LoadImage(0, skinModule(), "RecM-out");
    button.LoadImage(1, skinModule(), "RecM-out");
    button.SetPosition(8, 125);
    button.SetState(1);
    parent.show();
    const QImage shot = button.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shot.pixel(0, 0), face.pixel(8, 125));
    EXPECT_NE(shot.pixel(19, 19), face.pixel(27, 144));
}

TEST(SkinModuleLoad, MissingLibraryIsReportedInPlainWords)
{
    testApp();
    SkinModule module;
    EXPECT_FALSE(module.load("/nonexistent/libDravik.so"));
    EXPECT_FALSE(module.loaded());
    EXPECT_NE(module.error().find("skin library"), std::string::npos);
    EXPECT_TRUE(module.bitmap("DVKpanel1").isNull());
    EXPECT_TRUE(module.string(1).isEmpty());
    EXPECT_FALSE(module.cursor("CURSOR1").has_value());
}

} // namespace
