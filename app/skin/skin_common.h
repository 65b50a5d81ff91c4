// What every skinned control shares: the panel background it draws over, colour keys applied to
// pictures when they are loaded, and the notification it posts to its parent.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWidget>

#include <cstdint>

namespace skin {

// Draws the part of the owner's panel background that lies under a control at (x, y) of the
// given logical size, at the control's (0, 0). The background may be a 2x picture.
void drawBackground(QPainter& painter, const QImage& background, int x, int y, int width,
                    int height);

// Draws the source rectangle (logical pixels) of a picture that may be 2x at a logical point.
void drawPart(QPainter& painter, QPointF at, const QImage& image, const QRectF& source);

// The logical size of a picture (its pixel size over its device pixel ratio).
QSize logicalSize(const QImage& image);

// The colour key of the meter's and lamp's pictures: black transparent, mid grey (128, 128, 128)
// at alpha 200, every other pixel as it is.
QImage meterKeyed(const QImage& image);

// Posts WM_USER + id with the code in wParam and 0 in lParam to the control's parent.
void notifyParent(const QWidget* control, int id, uintptr_t code);

// True when the pixel's red, green and blue are those given.
inline bool isRgb(QRgb pixel, int r, int g, int b)
{
    return qRed(pixel) == r && qGreen(pixel) == g && qBlue(pixel) == b;
}

} // namespace skin
