// Drawing over the panel background and notifying the parent, shared by the skinned controls.
#include "skin_common.h"

#include "window_messages.h"

namespace skin {

QSize logicalSize(const QImage& image)
{
    const qreal ratio = image.devicePixelRatio();
    return QSize(qRound(image.width() / ratio), qRound(image.height() / ratio));
}

void drawPart(QPainter& painter, QPointF at, const QImage& image, const QRectF& source)
{
    if (image.isNull() || source.isEmpty())
        return;
    const qreal ratio = image.devicePixelRatio();
    const QRectF pixels(source.x() * ratio, source.y() * ratio, source.width() * ratio,
                        source.height() * ratio);
    painter.drawImage(QRectF(at, source.size()), image, pixels);
}

void drawBackground(QPainter& painter, const QImage& background, int x, int y, int width,
                    int height)
{
    if (background.isNull())
        return;
    // Only the part of the rectangle that lies on the background is copied.
    const QRect wanted(x, y, width, height);
    const QRect part = wanted.intersected(QRect(QPoint(0, 0), logicalSize(background)));
    if (part.isEmpty())
        return;
    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    drawPart(painter, part.topLeft() - wanted.topLeft(), background, part);
    painter.setCompositionMode(mode);
}

// Black transparent, mid grey (128, 128, 128) at alpha 200, every other pixel as it is.
QImage meterKeyed(const QImage& image)
{
    QImage copy = image.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col) {
            const QRgb p = line[col];
            if (isRgb(p, 0, 0, 0))
                line[col] = 0;
            else if (isRgb(p, 128, 128, 128))
                line[col] = qRgba(128, 128, 128, 200);
        }
    }
    return copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void notifyParent(const QWidget* control, int id, uintptr_t code)
{
    postWindowMessage(control->parentWidget(), WM_USER + static_cast<uint32_t>(id), code, 0);
}

} // namespace skin
