// Where the window puts each skinned element on its 256 x 182 face, in logical pixels. The
// artwork is drawn to fit these places: buttons are drawn over the very part of the face they
// cover, the display's ghost digits lie under the time display's glyph cells.
#pragma once

#include <QRect>
#include <QString>

namespace art {

inline constexpr int kFaceWidth = 256;
inline constexpr int kPanelHeight = 100;
inline constexpr int kMainHeight = 82;
inline constexpr int kFaceHeight = kPanelHeight + kMainHeight;

// The display window of the panel (the part of the panel that does not drag the window).
inline constexpr QRect kDisplay(8, 8, 240, 68);
// Level meters: 25 segments at a 5-pixel pitch, rows 12 pixels high.
inline constexpr int kMeterX = 20;
inline constexpr int kMeterLeftY = 20;
inline constexpr int kMeterRightY = 35;
inline constexpr int kMeterWidth = 125;
inline constexpr int kMeterRow = 12;
// The clip lamps, one beside the end of each meter, level with it.
inline constexpr int kLampX = 147;
inline constexpr int kLampWidth = 8;
// Time display: 12 glyph cells of 7 x 16.
inline constexpr int kTimeX = 160;
inline constexpr int kTimeY = 27;
inline constexpr int kGlyphWidth = 7;
inline constexpr int kGlyphHeight = 16;
// Format label.
inline constexpr QRect kFormat(20, 52, 220, 24);
// Seek slider.
inline constexpr int kSeekX = 13;
inline constexpr int kSeekY = 78;
inline constexpr int kSeekWidth = 230;
inline constexpr int kSeekHeight = 12;
inline constexpr int kThumbWidth = 11;
// The status line the window writes at the bottom of the face.
inline constexpr QRect kStatus(4, 166, 248, 14);

// A button of the face: its name stem, place and size.
struct ButtonPlace {
    const char* out;
    const char* down;
    const char* over;
    QRect rect;
};

} // namespace art
