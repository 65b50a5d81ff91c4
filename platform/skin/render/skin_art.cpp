// dravik-skin-art: draws every picture of the skin library at 1x and 2x, and the application icon
// at its sizes. Usage: dravik-skin-art OUTDIR ICON.svg
// The look is a small dark hardware recorder: a brushed graphite body, a recessed display window
// with green meters and an LCD time counter, and a deck of rubber-topped keys. Everything is drawn
// as vectors at each scale, so the 2x pictures are sharp, not enlarged.
#include "layout.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>

#include <cmath>
#include <cstdio>
#include <functional>

using namespace art;

namespace {

QString outDir;
bool failed = false;

void save(const QImage& image, const QString& name)
{
    const QString path = outDir + "/" + name + ".png";
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "dravik-skin-art: cannot write %s\n", qPrintable(path));
        failed = true;
    }
}

QString scaledName(const QString& name, int scale)
{
    return scale == 1 ? name : name + "@2x";
}

// A deterministic noise source, so that every build draws the same pictures.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed) {}
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1 << 24);
    }
};

QImage canvas(int width, int height, int scale, QColor fill = Qt::transparent)
{
    QImage image(width * scale, height * scale, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

// A painter in logical coordinates on a canvas of that scale.
struct Pen : QPainter {
    Pen(QImage& image, int scale, bool smooth = true) : QPainter(&image)
    {
        setRenderHint(QPainter::Antialiasing, smooth);
        setRenderHint(QPainter::TextAntialiasing, smooth);
        setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        QPainter::scale(scale, scale);
    }
};

QFont font(const QString& family, double pixels, int weight = QFont::Normal, double spacing = 0)
{
    QFont f(family);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setHintingPreference(QFont::PreferVerticalHinting);
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return f;
}

// The font made narrower (then smaller) until the text fits the width.
QFont fitted(QFont f, const QString& text, double width)
{
    for (int stretch = 100; stretch >= 70; stretch -= 5) {
        f.setStretch(stretch);
        if (QFontMetricsF(f).horizontalAdvance(text) <= width)
            return f;
    }
    while (f.pixelSize() > 5 && QFontMetricsF(f).horizontalAdvance(text) > width)
        f.setPixelSize(f.pixelSize() - 1);
    return f;
}

// Moves every pixel off the colour keys (pure white, pure black, mid grey) by one step, so that
// only pixels drawn on purpose are keyed.
void avoidKeys(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (r == 255 && g == 255 && b == 255)
                line[x] = qRgba(254, 254, 254, qAlpha(p));
            else if (r == 0 && g == 0 && b == 0)
                line[x] = qRgba(1, 1, 1, qAlpha(p));
            else if (r == 128 && g == 128 && b == 128)
                line[x] = qRgba(129, 129, 129, qAlpha(p));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The face

void brushedMetal(QImage& image, const QRect& logical, int scale, QColor base, uint32_t seed,
                  double strength)
{
    Noise noise(seed);
    const QRect r(logical.x() * scale, logical.y() * scale, logical.width() * scale,
                  logical.height() * scale);
    std::vector<double> rowTone(r.height());
    for (double& t : rowTone)
        t = (noise.next() - 0.5) * strength;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        double streak = 0;
        for (int x = r.left(); x <= r.right(); ++x) {
            // Long horizontal streaks over a faint grain: the look of brushed aluminium.
            streak = streak * 0.97 + (noise.next() - 0.5) * strength * 0.5;
            const double tone = rowTone[y - r.top()] + streak + (noise.next() - 0.5) * 2.0;
            auto c = [&](int v) { return std::clamp(static_cast<int>(v + tone), 0, 255); };
            line[x] = qRgb(c(base.red()), c(base.green()), c(base.blue() + 1));
        }
    }
}

void roundedBody(QPainter& p, const QRectF& r, double radius)
{
    // A thin bright rim above, a dark one below: a body lit from above.
    QLinearGradient rim(r.topLeft(), r.bottomLeft());
    rim.setColorAt(0, QColor(140, 146, 156, 170));
    rim.setColorAt(0.12, QColor(80, 85, 93, 60));
    rim.setColorAt(0.9, QColor(0, 0, 0, 40));
    rim.setColorAt(1, QColor(0, 0, 0, 200));
    p.setPen(QPen(QBrush(rim), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

// A shape cut into the body: dark inside, a shadow on its upper edge and light on its lower.
void recess(QPainter& p, const QRectF& r, double radius, QBrush inside)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(8, 9, 11));
    p.drawRoundedRect(r.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
    p.setBrush(QColor(120, 126, 136, 110));
    p.drawRoundedRect(r.adjusted(-1, 0, 1, 1.6), radius + 1, radius + 1);
    p.setBrush(QColor(6, 7, 8));
    p.drawRoundedRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
    p.setBrush(inside);
    p.drawRoundedRect(r, radius, radius);
}

QImage panelImage(int scale)
{
    QImage image = canvas(kFaceWidth, kPanelHeight, scale, QColor(14, 15, 17));
    brushedMetal(image, QRect(0, 0, kFaceWidth, kPanelHeight), scale, QColor(46, 49, 54), 11, 7.0);
    Pen p(image, scale);
    // Corners of the upper module.
    QPainterPath outside;
    outside.addRect(0, 0, kFaceWidth, kPanelHeight);
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, kFaceWidth, kPanelHeight + 12), 10, 10);
    p.fillPath(outside - body, QColor(12, 13, 15));
    roundedBody(p, QRectF(0, 0, kFaceWidth, kPanelHeight + 12), 10);
    // A soft light falling from the top over the metal.
    QLinearGradient sheen(0, 0, 0, kPanelHeight);
    sheen.setColorAt(0, QColor(255, 255, 255, 22));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
    sheen.setColorAt(1, QColor(0, 0, 0, 40));
    p.fillPath(body, sheen);

    // The display window: dark green glass.
    QLinearGradient glass(0, kDisplay.top(), 0, kDisplay.bottom());
    glass.setColorAt(0, QColor(16, 30, 26));
    glass.setColorAt(1, QColor(8, 17, 15));
    recess(p, QRectF(kDisplay), 4, glass);
    // A faint reflection across the glass.
    QPainterPath shine;
    shine.moveTo(kDisplay.left() + 2, kDisplay.top() + 2);
    shine.lineTo(kDisplay.left() + 150, kDisplay.top() + 2);
    shine.lineTo(kDisplay.left() + 100, kDisplay.top() + 22);
    shine.lineTo(kDisplay.left() + 2, kDisplay.top() + 22);
    shine.closeSubpath();
    QLinearGradient shineFade(0, kDisplay.top(), 0, kDisplay.top() + 22);
    shineFade.setColorAt(0, QColor(200, 255, 230, 14));
    shineFade.setColorAt(1, QColor(200, 255, 230, 0));
    p.fillPath(shine, shineFade);

    const QColor legend(70, 140, 105);
    const QColor dim(40, 84, 64);
    // Channel letters before the meters, and the meter troughs.
    p.setFont(font("DejaVu Sans", 8, QFont::Bold));
    p.setPen(legend);
    p.drawText(QRectF(10, kMeterLeftY, 9, kMeterRow), Qt::AlignCenter, "L");
    p.drawText(QRectF(10, kMeterRightY, 9, kMeterRow), Qt::AlignCenter, "R");
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(5, 12, 10));
    for (int y : {kMeterLeftY, kMeterRightY})
        p.drawRoundedRect(QRectF(kMeterX - 1.5, y - 0.5, kMeterWidth + 2, kMeterRow + 1), 1.5, 1.5);
    // A level scale over the meters: dB marks where the linear segments reach them.
    p.setFont(font("DejaVu Sans Condensed", 6.5));
    const struct {
        const char* text;
        double fraction;
    } marks[] = {{"-20", 0.1}, {"-12", 0.251}, {"-6", 0.501}, {"-3", 0.708}, {"0", 1.0}};
    for (const auto& mark : marks) {
        const double x = kMeterX + mark.fraction * kMeterWidth - 0.5;
        p.setPen(QPen(dim, 0.8));
        p.drawLine(QPointF(x, 17.2), QPointF(x, 19.2));
        p.setPen(legend);
        p.drawText(QRectF(x - 10, 9.5, 20, 8), Qt::AlignCenter, mark.text);
    }
    p.setPen(legend);
    p.drawText(QRectF(kMeterX - 11, 9.5, 14, 8), Qt::AlignLeft | Qt::AlignVCenter, "dB");
    // Separator between the meters and the format line.
    p.setPen(QPen(QColor(36, 70, 56), 0.8));
    p.drawLine(QPointF(14, 50.5), QPointF(kDisplay.right() - 6, 50.5));

    // Time counter: its caption, a REC lamp and the unlit segments under every glyph cell.
    // Unit captions centred over each pair of digits.
    p.setPen(legend);
    p.setFont(font("DejaVu Sans Condensed", 6, QFont::Bold, 0.3));
    const char* units[] = {"HR", "MIN", "SEC", "1/100"};
    for (int pair = 0; pair < 4; ++pair)
        p.drawText(QRectF(kTimeX + pair * 3 * kGlyphWidth - 4, 15, 2 * kGlyphWidth - 1 + 8, 9),
                   Qt::AlignCenter, units[pair]);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(22, 48, 36));
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int cell = 0; cell < 11; ++cell) {
        const int x0 = kTimeX + cell * kGlyphWidth;
        if (cell % 3 == 2) {
            p.drawRect(QRectF(x0 + 2, kTimeY + 4, 2, 2));
            p.drawRect(QRectF(x0 + 2, kTimeY + 10, 2, 2));
            continue;
        }
        // The same seven segments the digit strip lights.
        p.drawRect(QRectF(x0 + 1, kTimeY + 0, 4, 2));
        p.drawRect(QRectF(x0 + 1, kTimeY + 7, 4, 2));
        p.drawRect(QRectF(x0 + 1, kTimeY + 14, 4, 2));
        p.drawRect(QRectF(x0 + 0, kTimeY + 1, 1 + 0.0, 6));
        p.drawRect(QRectF(x0 + 5, kTimeY + 1, 1, 6));
        p.drawRect(QRectF(x0 + 0, kTimeY + 9, 1, 6));
        p.drawRect(QRectF(x0 + 5, kTimeY + 9, 1, 6));
    }
    p.setRenderHint(QPainter::Antialiasing, true);

    // The seek slider's track, cut into the metal under the slider.
    recess(p, QRectF(kSeekX + 4, kSeekY + 4.5, kSeekWidth - 8, 3), 1.5, QColor(10, 11, 13));
    // Small screws in the corners of the module.
    auto screw = [&](QPointF c) {
        QRadialGradient g(c - QPointF(0.6, 0.6), 2.6);
        g.setColorAt(0, QColor(150, 156, 165));
        g.setColorAt(1, QColor(40, 43, 48));
        p.setPen(QPen(QColor(10, 11, 13), 0.6));
        p.setBrush(g);
        p.drawEllipse(c, 2.0, 2.0);
        p.setPen(QPen(QColor(20, 22, 25), 0.7));
        p.drawLine(c + QPointF(-1.2, 1.2), c + QPointF(1.2, -1.2));
    };
    screw(QPointF(5, 94));
    screw(QPointF(251, 94));
    p.end();
    avoidKeys(image);
    return image;
}

QImage mainImage(int scale)
{
    QImage image = canvas(kFaceWidth, kMainHeight, scale, QColor(12, 13, 15));
    brushedMetal(image, QRect(0, 0, kFaceWidth, kMainHeight), scale, QColor(40, 43, 48), 23, 7.0);
    Pen p(image, scale);
    QPainterPath outside;
    outside.addRect(0, 0, kFaceWidth, kMainHeight);
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, kFaceWidth, kMainHeight), 7, 7);
    p.fillPath(outside - body, QColor(12, 13, 15));
    QLinearGradient sheen(0, 0, 0, kMainHeight);
    sheen.setColorAt(0, QColor(255, 255, 255, 18));
    sheen.setColorAt(0.3, QColor(255, 255, 255, 0));
    sheen.setColorAt(1, QColor(0, 0, 0, 60));
    p.fillPath(body, sheen);
    roundedBody(p, QRectF(0, 0, kFaceWidth, kMainHeight), 7);
    // A seam under the display module.
    p.setPen(QPen(QColor(0, 0, 0, 150), 1));
    p.drawLine(QPointF(6, 0.5), QPointF(kFaceWidth - 6, 0.5));

    // The key bed: one recess under the transport keys and the small keys beside them.
    const double top = 125 - kPanelHeight;
    recess(p, QRectF(6, top - 2, 244, 41), 5, QColor(16, 17, 20));
    // A recess for the small keys of the title row.
    recess(p, QRectF(220, 107, 30, 16).translated(0, -kPanelHeight), 4, QColor(16, 17, 20));

    // The status line: a pale backlit strip, so that the window's blue status text reads well.
    const QRectF status(kStatus.x(), kStatus.y() - kPanelHeight, kStatus.width(), kStatus.height());
    QLinearGradient lcd(0, status.top(), 0, status.bottom());
    lcd.setColorAt(0, QColor(196, 212, 222));
    lcd.setColorAt(1, QColor(170, 188, 200));
    recess(p, status, 2.5, lcd);
    p.end();
    avoidKeys(image);
    return image;
}

QImage faceImage(int scale)
{
    QImage face = canvas(kFaceWidth, kFaceHeight, scale);
    QPainter p(&face);
    p.drawImage(0, 0, panelImage(scale));
    p.drawImage(0, kPanelHeight * scale, mainImage(scale));
    return face;
}

// Draws a layer over the part of the face it will lie on, then makes pure white every pixel the
// layer left untouched: keyed by the window, the picture shows the face exactly as drawn here.
QImage overFace(const QImage& face, const QRect& place, int scale,
                const std::function<void(QPainter&)>& draw)
{
    QImage layer = canvas(place.width(), place.height(), scale);
    {
        Pen p(layer, scale);
        draw(p);
    }
    QImage out = face.copy(place.x() * scale, place.y() * scale, place.width() * scale,
                           place.height() * scale);
    {
        QPainter p(&out);
        p.drawImage(0, 0, layer);
    }
    avoidKeys(out);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto* cover = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(cover[x]) == 0)
                line[x] = qRgb(255, 255, 255);
            else
                line[x] = qRgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Keys

enum class Look { Normal, Pressed, Hover };

const QColor kIcon(226, 229, 234);
const QColor kRed(232, 52, 44);

void key(QPainter& p, const QRectF& r, double radius, Look look)
{
    const bool pressed = look == Look::Pressed;
    const bool hover = look == Look::Hover;
    // Shadow under the key.
    if (!pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 120));
        p.drawRoundedRect(r.adjusted(0.5, 1.5, -0.5, 0.5), radius, radius);
    }
    const QRectF top = pressed ? r.adjusted(0.5, 1.0, -0.5, 0) : r.adjusted(0.5, 0.5, -0.5, -1);
    QLinearGradient g(top.topLeft(), top.bottomLeft());
    if (pressed) {
        g.setColorAt(0, QColor(30, 32, 36));
        g.setColorAt(1, QColor(48, 51, 57));
    } else if (hover) {
        g.setColorAt(0, QColor(96, 102, 112));
        g.setColorAt(1, QColor(58, 62, 69));
    } else {
        g.setColorAt(0, QColor(78, 83, 92));
        g.setColorAt(1, QColor(44, 47, 53));
    }
    p.setPen(QPen(QColor(6, 7, 8), 1));
    p.setBrush(g);
    p.drawRoundedRect(top, radius, radius);
    // Light on the upper edge of a raised key, shade inside a pressed one.
    QPainterPath edge;
    edge.addRoundedRect(top.adjusted(1, 1, -1, -1), radius - 0.8, radius - 0.8);
    QLinearGradient rim(top.topLeft(), top.bottomLeft());
    if (pressed) {
        rim.setColorAt(0, QColor(0, 0, 0, 160));
        rim.setColorAt(0.3, QColor(0, 0, 0, 0));
    } else {
        rim.setColorAt(0, QColor(255, 255, 255, hover ? 110 : 80));
        rim.setColorAt(0.25, QColor(255, 255, 255, 0));
        rim.setColorAt(0.85, QColor(0, 0, 0, 0));
        rim.setColorAt(1, QColor(0, 0, 0, 90));
    }
    p.setPen(QPen(QBrush(rim), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawPath(edge);
    if (hover) {
        // A soft amber ring: the key under the pointer.
        p.setPen(QPen(QColor(255, 176, 60, 120), 0.8));
        p.drawRoundedRect(top.adjusted(0.4, 0.4, -0.4, -0.4), radius, radius);
    }
}

// Icons are drawn in a box centred on the key's top.
using Icon = std::function<void(QPainter&, QPointF centre, double size, QColor colour)>;

void recordDot(QPainter& p, QPointF c, double s, QColor)
{
    const double r = s * 0.36;
    QRadialGradient g(c - QPointF(r * 0.35, r * 0.4), r * 1.3);
    g.setColorAt(0, QColor(255, 120, 100));
    g.setColorAt(0.45, kRed);
    g.setColorAt(1, QColor(130, 14, 12));
    p.setPen(QPen(QColor(60, 6, 6), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 235, 230, 150));
    p.drawEllipse(c - QPointF(r * 0.35, r * 0.45), r * 0.32, r * 0.2);
}

void squareIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.3;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(c.x() - h, c.y() - h, 2 * h, 2 * h), 1.2, 1.2);
}

void triangleIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.34;
    QPainterPath t;
    t.moveTo(c.x() - h * 0.75, c.y() - h);
    t.lineTo(c.x() + h * 1.05, c.y());
    t.lineTo(c.x() - h * 0.75, c.y() + h);
    t.closeSubpath();
    p.setPen(QPen(colour, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    p.drawPath(t);
}

void pauseIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.31;
    const double w = s * 0.17;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(c.x() - w * 1.5, c.y() - h, w, 2 * h), 1, 1);
    p.drawRoundedRect(QRectF(c.x() + w * 0.5, c.y() - h, w, 2 * h), 1, 1);
}

void recordPauseIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    pauseIcon(p, c + QPointF(-s * 0.08, 0), s * 0.95, colour);
    // A small red lamp: the recording is only paused.
    p.setPen(QPen(QColor(60, 6, 6), 0.6));
    p.setBrush(kRed);
    p.drawEllipse(c + QPointF(s * 0.36, -s * 0.3), s * 0.09, s * 0.09);
}

void recordStopIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    squareIcon(p, c, s, colour);
    p.setPen(QPen(QColor(60, 6, 6), 0.6));
    p.setBrush(kRed);
    p.drawEllipse(c + QPointF(s * 0.36, -s * 0.3), s * 0.09, s * 0.09);
}

void diskIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.34;
    const QRectF r(c.x() - h, c.y() - h, 2 * h, 2 * h);
    QPainterPath body;
    body.moveTo(r.left() + 1, r.top());
    body.lineTo(r.right() - h * 0.35, r.top());
    body.lineTo(r.right(), r.top() + h * 0.35);
    body.lineTo(r.right(), r.bottom() - 1);
    body.quadTo(r.right(), r.bottom(), r.right() - 1, r.bottom());
    body.lineTo(r.left() + 1, r.bottom());
    body.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - 1);
    body.lineTo(r.left(), r.top() + 1);
    body.quadTo(r.left(), r.top(), r.left() + 1, r.top());
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(body);
    // Shutter and label cut out of the disk in the key's colour.
    p.setBrush(QColor(52, 56, 63));
    p.drawRect(QRectF(r.left() + h * 0.45, r.top(), h * 0.95, h * 0.62));
    p.setBrush(colour);
    p.drawRect(QRectF(r.left() + h * 1.0, r.top() + h * 0.1, h * 0.25, h * 0.42));
    p.setBrush(QColor(52, 56, 63));
    p.drawRoundedRect(QRectF(r.left() + h * 0.3, r.top() + h * 1.05, h * 1.4, h * 0.8), 0.6, 0.6);
}

void scissorsIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.36;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, s * 0.07, Qt::SolidLine, Qt::RoundCap));
    // Two blades crossing above, two finger rings below.
    p.drawLine(c + QPointF(-h * 0.45, h * 0.25), c + QPointF(h * 0.55, -h * 1.0));
    p.drawLine(c + QPointF(h * 0.45, h * 0.25), c + QPointF(-h * 0.55, -h * 1.0));
    p.setPen(QPen(colour, s * 0.075));
    p.drawEllipse(c + QPointF(-h * 0.55, h * 0.62), h * 0.36, h * 0.36);
    p.drawEllipse(c + QPointF(h * 0.55, h * 0.62), h * 0.36, h * 0.36);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(c + QPointF(0, -h * 0.12), s * 0.045, s * 0.045);
}

void ejectIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.32;
    QPainterPath t;
    t.moveTo(c.x(), c.y() - h * 1.05);
    t.lineTo(c.x() + h, c.y() + h * 0.2);
    t.lineTo(c.x() - h, c.y() + h * 0.2);
    t.closeSubpath();
    p.setPen(QPen(colour, 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    p.drawPath(t);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(c.x() - h, c.y() + h * 0.5, 2 * h, h * 0.42), 0.8, 0.8);
}

void closeFileIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double h = s * 0.34;
    // A page with a folded corner, crossed out.
    QPainterPath page;
    page.moveTo(c.x() - h * 0.8, c.y() - h);
    page.lineTo(c.x() + h * 0.35, c.y() - h);
    page.lineTo(c.x() + h * 0.8, c.y() - h * 0.55);
    page.lineTo(c.x() + h * 0.8, c.y() + h);
    page.lineTo(c.x() - h * 0.8, c.y() + h);
    page.closeSubpath();
    p.setPen(QPen(colour, s * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(page);
    p.setPen(QPen(kRed, s * 0.075, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-h * 0.38, -h * 0.2), c + QPointF(h * 0.38, h * 0.56));
    p.drawLine(c + QPointF(h * 0.38, -h * 0.2), c + QPointF(-h * 0.38, h * 0.56));
}

void menuIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    p.setPen(QPen(colour, s * 0.11, Qt::SolidLine, Qt::RoundCap));
    const double w = s * 0.32;
    for (double dy : {-0.24, 0.0, 0.24})
        p.drawLine(c + QPointF(-w, dy * s), c + QPointF(w, dy * s));
}

void questionIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    p.setPen(colour);
    p.setFont(font("DejaVu Sans", s * 0.8, QFont::Bold));
    p.drawText(QRectF(c.x() - s, c.y() - s / 2, 2 * s, s), Qt::AlignCenter, "?");
}

void foldIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double w = s * 0.4;
    const double h = s * 0.2;
    p.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath chevron;
    chevron.moveTo(c.x() - w, c.y() + h);
    chevron.lineTo(c.x(), c.y() - h);
    chevron.lineTo(c.x() + w, c.y() + h);
    p.drawPath(chevron);
}

void gearIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    const double outer = s * 0.42;
    const double inner = s * 0.3;
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = (i - 0.5) * M_PI * 2 / (teeth * 4);
        const double r = (i % 4 == 0 || i % 4 == 1) ? outer : inner;
        const QPointF pt = c + QPointF(std::cos(a) * r, std::sin(a) * r);
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, s * 0.13, s * 0.13);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(gear - hole);
}

void minimiseIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    p.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-s * 0.25, s * 0.18), c + QPointF(s * 0.25, s * 0.18));
}

void exitIcon(QPainter& p, QPointF c, double s, QColor colour)
{
    p.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap));
    const double d = s * 0.22;
    p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
    p.drawLine(c + QPointF(d, -d), c + QPointF(-d, d));
}

struct KeyArt {
    QString out, down, over;
    QRect place;
    Icon icon;
    QColor colour;
    double iconSize; // the icon's box, in logical pixels
    double radius;
};

void drawKeys(const QImage& face, int scale)
{
    const QColor exitRed(240, 110, 100);
    const std::vector<KeyArt> keys = {
        {"MenuM-out", "MenuM-down", "MenuM-over", {8, 104, 28, 17}, menuIcon, kIcon, 14, 3},
        {"RecM-out", "RecM-down", "RecM-over", {8, 125, 38, 38}, recordDot, kIcon, 24, 5},
        {"RecPauseM-out",
         "RecPauseM-down",
         "RecPauseM-over",
         {8, 125, 38, 38},
         recordPauseIcon,
         kIcon,
         24,
         5},
        {"RecStopM-out",
         "RecStopM-down",
         "RecStopM-over",
         {48, 125, 38, 38},
         recordStopIcon,
         kIcon,
         24,
         5},
        {"PlayStopM-out",
         "PlayStopM-down",
         "PlayStopM-over",
         {48, 125, 38, 38},
         squareIcon,
         kIcon,
         24,
         5},
        {"PlayM-out", "PlayM-down", "PlayM-over", {88, 125, 38, 38}, triangleIcon, kIcon, 24, 5},
        {"PlayPauseM-out",
         "PlayPauseM-down",
         "PlayPauseM-over",
         {88, 125, 38, 38},
         pauseIcon,
         kIcon,
         24,
         5},
        {"SaveM-out", "SaveM-down", "SaveM-over", {128, 125, 38, 38}, diskIcon, kIcon, 24, 5},
        {"CUTSAVEM-OUT",
         "CUTSAVEM-DOWN",
         "CUTSAVEM-OVER",
         {128, 125, 38, 38},
         scissorsIcon,
         kIcon,
         24,
         5},
        {"OpenM-out", "OpenM-down", "OpenM-over", {168, 125, 38, 38}, ejectIcon, kIcon, 24, 5},
        {"CloseM-out",
         "CloseM-down",
         "CloseM-over",
         {168, 125, 38, 38},
         closeFileIcon,
         kIcon,
         24,
         5},
        {"HelpM-out", "HelpM-down", "HelpM-over", {208, 125, 40, 14}, questionIcon, kIcon, 13, 3},
        {"PanelM-out", "PanelM-down", "PanelM-over", {208, 140, 40, 9}, foldIcon, kIcon, 11, 2.5},
        {"SettingM-out",
         "SettingM-down",
         "SettingM-over",
         {208, 150, 40, 14},
         gearIcon,
         kIcon,
         12.5,
         3},
        {"MinimiseM-out",
         "MinimiseM-down",
         "MinimiseM-over",
         {222, 109, 12, 12},
         minimiseIcon,
         kIcon,
         12,
         2.5},
        {"ExitM-out", "ExitM-down", "ExitM-over", {236, 109, 12, 12}, exitIcon, exitRed, 12, 2.5},
    };
    for (const KeyArt& k : keys) {
        const struct {
            const QString& name;
            Look look;
        } looks[] = {{k.out, Look::Normal}, {k.down, Look::Pressed}, {k.over, Look::Hover}};
        for (const auto& look : looks) {
            QImage image = overFace(face, k.place, scale, [&](QPainter& p) {
                const QRectF r(0, 0, k.place.width(), k.place.height());
                key(p, r, k.radius, look.look);
                QPointF centre = r.center() - QPointF(0, 0.5);
                QColor colour = k.colour;
                if (look.look == Look::Pressed) {
                    centre += QPointF(0, 1);
                    colour = colour.darker(118);
                } else if (look.look == Look::Hover) {
                    colour = colour.lighter(108);
                }
                k.icon(p, centre, k.iconSize, colour);
            });
            save(image, scaledName(look.name, scale));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Titles

void drawTitles(const QImage& face, int scale)
{
    QImage brevon = overFace(face, QRect(39, 105, 34, 14), scale, [](QPainter& p) {
        p.setPen(QColor(150, 156, 166));
        p.setFont(fitted(font("DejaVu Sans", 7, QFont::Bold, 0.6), "BREVON", 33));
        p.drawText(QRectF(0, 0, 34, 14), Qt::AlignLeft | Qt::AlignVCenter, "BREVON");
    });
    save(brevon, scaledName("TitleBrevon", scale));

    QImage dravik = overFace(face, QRect(75, 106, 142, 14), scale, [](QPainter& p) {
        // The product's name in polished metal letters, with a red lamp and the model line.
        QLinearGradient metal(0, 1, 0, 13);
        metal.setColorAt(0, QColor(246, 248, 250));
        metal.setColorAt(0.55, QColor(176, 182, 192));
        metal.setColorAt(1, QColor(214, 218, 224));
        QFont f = font("DejaVu Sans", 12.5, QFont::Black, 1.4);
        f.setItalic(true);
        QPainterPath word;
        word.addText(1, 11.5, f, "DRAVIK");
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 140));
        p.drawPath(word.translated(0, 0.8));
        p.setBrush(metal);
        p.drawPath(word);
        const double end = word.boundingRect().right();
        p.setBrush(kRed);
        p.drawEllipse(QPointF(end + 5, 7.5), 2.1, 2.1);
        p.setPen(QColor(120, 126, 136));
        const double room = 142 - end - 10;
        p.setFont(fitted(font("DejaVu Sans", 7, QFont::Bold, 1.2), "RECORDER", room));
        p.drawText(QRectF(end + 10, 0, room + 1, 14), Qt::AlignLeft | Qt::AlignVCenter, "RECORDER");
    });
    save(dravik, scaledName("TitleDV", scale));
}

// ---------------------------------------------------------------------------------------------
// Meters, digits, sliders

QColor segmentColour(int segment, int count, bool lit)
{
    // Green to about -4 dB, then amber, red for the last three.
    const double at = double(segment) / count;
    QColor c = at < 0.64   ? QColor(56, 230, 100)
               : at < 0.88 ? QColor(250, 200, 40)
                           : QColor(250, 60, 48);
    if (!lit)
        c = QColor::fromHsv(c.hue(), 150, 62);
    return c;
}

// Two rows: unlit over lit. Black between the segments lets the panel show through.
QImage meterImage(int width, int row, int pitch, int segmentHeight, int scale, bool framed)
{
    QImage image = canvas(width, row * 2, scale, Qt::black);
    Pen p(image, scale, false);
    const int count = width / pitch;
    for (int half = 0; half < 2; ++half) {
        const bool lit = half == 1;
        const double y0 = half * row + (row - segmentHeight) / 2.0;
        if (framed) {
            // A dark bar of its own under the segments, for light pages.
            p.fillRect(QRectF(0, half * row, width, row), QColor(12, 18, 16));
        }
        for (int s = 0; s < count; ++s) {
            const QColor c = segmentColour(s, count, lit);
            const QRectF r(s * pitch, y0, pitch - 1, segmentHeight);
            QLinearGradient g(r.topLeft(), r.bottomLeft());
            g.setColorAt(0, lit ? c.lighter(135) : c.lighter(115));
            g.setColorAt(0.5, c);
            g.setColorAt(1, c.darker(lit ? 125 : 115));
            p.fillRect(r, g);
        }
    }
    p.end();
    // Black stays only between the segments; keep drawn colours off the keys.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qRed(line[x]) == 128 && qGreen(line[x]) == 128 && qBlue(line[x]) == 128)
                line[x] = qRgb(129, 129, 129);
    }
    return image;
}

// The clip lamp beside each meter: two rows, unlit over lit, each a small red LED in a dark
// bezel level with the meter's segments. Black around the bezel lets the panel show through.
QImage clipLamp(int scale)
{
    QImage image = canvas(kLampWidth, kMeterRow * 2, scale, Qt::black);
    Pen p(image, scale);
    for (int half = 0; half < 2; ++half) {
        const bool lit = half == 1;
        const double top = half * kMeterRow + 1;
        p.fillRect(QRectF(0, top, kLampWidth, 10), QColor(20, 22, 25));
        const QRectF led(1, top + 1, kLampWidth - 2, 8);
        QRadialGradient g(led.center() - QPointF(0.8, 1.2), 5.5);
        if (lit) {
            g.setColorAt(0, QColor(255, 190, 160));
            g.setColorAt(0.35, QColor(255, 70, 48));
            g.setColorAt(1, QColor(196, 24, 18));
        } else {
            g.setColorAt(0, QColor(92, 30, 26));
            g.setColorAt(1, QColor(44, 12, 11));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(led, 1.5, 1.5);
    }
    p.end();
    avoidKeys(image);
    // The corners outside the bezel stay black, so they are keyed.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int rowY = (y / scale) % kMeterRow;
        if (rowY == 0 || rowY == kMeterRow - 1)
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(0, 0, 0);
    }
    return image;
}

// Seven-segment glyphs drawn without smoothing: every lit pixel takes the digit colour.
QImage digitStrip(int scale)
{
    QImage image = canvas(kGlyphWidth * 12, kGlyphHeight, scale, Qt::black);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 220, 220));
    const int s = scale;
    // Segments a-g in the logical 7 x 16 cell, chamfered at 2x.
    auto seg = [&](int cell, char which) {
        const int x0 = cell * kGlyphWidth * s;
        QRect r;
        switch (which) {
        case 'a':
            r = QRect(1, 0, 4, 2);
            break;
        case 'g':
            r = QRect(1, 7, 4, 2);
            break;
        case 'd':
            r = QRect(1, 14, 4, 2);
            break;
        case 'f':
            r = QRect(0, 1, 1, 6);
            break;
        case 'b':
            r = QRect(5, 1, 1, 6);
            break;
        case 'e':
            r = QRect(0, 9, 1, 6);
            break;
        case 'c':
            r = QRect(5, 9, 1, 6);
            break;
        }
        QRect px(x0 + r.x() * s, r.y() * s, r.width() * s, r.height() * s);
        if (s > 1 && (which == 'a' || which == 'g' || which == 'd')) {
            // Narrower ends so that neighbouring segments meet at a mitre.
            px.adjust(1, 0, -1, 0);
        } else if (s > 1) {
            px.adjust(0, 1, 0, -1);
        }
        p.fillRect(px, p.brush());
    };
    const char* digits[10] = {"abcdef", "bc",     "abged", "abgcd",   "fgbc",
                              "afgcd",  "afgedc", "abc",   "abcdefg", "abcdfg"};
    for (int d = 0; d < 10; ++d)
        for (const char* c = digits[d]; *c; ++c)
            seg(d, *c);
    // "*" (cell 10): a small star of segments; ":" (cell 11): two dots.
    seg(10, 'g');
    p.fillRect(QRect((10 * kGlyphWidth + 2) * s, 4 * s, 2 * s, 8 * s), p.brush());
    p.fillRect(QRect((11 * kGlyphWidth + 2) * s, 4 * s, 2 * s, 2 * s), p.brush());
    p.fillRect(QRect((11 * kGlyphWidth + 2) * s, 10 * s, 2 * s, 2 * s), p.brush());
    return image;
}

QImage seekChannel(int scale)
{
    QImage image = canvas(kSeekWidth, kSeekHeight, scale, Qt::black);
    Pen p(image, scale, false);
    // Drawn at alpha 100 by the slider: fine tick marks along the track.
    p.setPen(Qt::NoPen);
    for (int i = 0; i <= 20; ++i) {
        const double x = 5 + i * (kSeekWidth - 11) / 20.0;
        const bool major = i % 5 == 0;
        p.fillRect(QRectF(std::round(x), major ? 0 : 1, 1, major ? 3 : 2), QColor(150, 160, 170));
        p.fillRect(QRectF(std::round(x), kSeekHeight - (major ? 3 : 2), 1, major ? 3 : 2),
                   QColor(150, 160, 170));
    }
    p.fillRect(QRectF(5, 5, kSeekWidth - 10, 2), QColor(70, 200, 130));
    return image;
}

QImage seekThumb(int scale)
{
    QImage image = canvas(kThumbWidth, kSeekHeight, scale, Qt::black);
    Pen p(image, scale);
    const QRectF r(0.5, 0.5, kThumbWidth - 1, kSeekHeight - 1);
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, QColor(150, 156, 165));
    g.setColorAt(0.35, QColor(236, 238, 241));
    g.setColorAt(1, QColor(110, 116, 125));
    p.setPen(QPen(QColor(20, 22, 25), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 2.5, 2.5);
    // Grip lines and a red index line.
    p.setPen(QPen(QColor(90, 95, 104), 0.7));
    p.drawLine(QPointF(3, 3), QPointF(3, kSeekHeight - 3));
    p.drawLine(QPointF(kThumbWidth - 3, 3), QPointF(kThumbWidth - 3, kSeekHeight - 3));
    p.setPen(QPen(kRed, 1.2));
    p.drawLine(QPointF(kThumbWidth / 2.0, 2.5), QPointF(kThumbWidth / 2.0, kSeekHeight - 2.5));
    p.end();
    return image;
}

// The VOX slider lies on a plain page under two meters: a track with a scale, and a pointer whose
// pure blue window turns see-through once a level is set.
constexpr int kVoxWidth = 140;
constexpr int kVoxHeight = 14;
constexpr int kVoxThumb = 15;

QImage voxChannel(int scale)
{
    QImage image = canvas(kVoxWidth, kVoxHeight, scale, Qt::black);
    Pen p(image, scale, false);
    const QColor ink(40, 44, 50);
    p.fillRect(QRectF(3, 9, kVoxWidth - 6, 2), ink);
    for (int i = 0; i <= 10; ++i) {
        const double x = std::round(7 + i * (kVoxWidth - kVoxThumb) / 10.0);
        p.fillRect(QRectF(x, i % 5 == 0 ? 5 : 6.5, 1, i % 5 == 0 ? 4 : 2.5), ink);
    }
    return image;
}

QImage voxThumb(int scale)
{
    QImage image = canvas(kVoxThumb, kVoxHeight, scale, Qt::black);
    Pen p(image, scale, false);
    // A pointer pointing up at the meters: a dark frame around a pure blue window.
    QPainterPath outer;
    outer.moveTo(7.5, 0);
    outer.lineTo(15, 6);
    outer.lineTo(15, 14);
    outer.lineTo(0, 14);
    outer.lineTo(0, 6);
    outer.closeSubpath();
    QPainterPath inner;
    inner.moveTo(7.5, 3);
    inner.lineTo(12.5, 7);
    inner.lineTo(12.5, 12);
    inner.lineTo(2.5, 12);
    inner.lineTo(2.5, 7);
    inner.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 64, 72));
    p.drawPath(outer);
    p.setBrush(QColor(0, 0, 255));
    p.drawPath(inner);
    return image;
}

// ---------------------------------------------------------------------------------------------
// Cursors: 32 x 32 with a hot spot, light with a dark outline so they read on the dark face.

QImage cursorCanvas(int scale)
{
    return canvas(32, 32, scale);
}

void outline(QPainter& p, const QPainterPath& path, QColor fill)
{
    p.setPen(QPen(QColor(10, 10, 12), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(path);
}

QPainterPath arrowPath()
{
    QPainterPath a;
    a.moveTo(1.5, 1.5);
    a.lineTo(1.5, 18);
    a.lineTo(5.5, 14.2);
    a.lineTo(8.6, 21);
    a.lineTo(11.4, 19.8);
    a.lineTo(8.4, 13.2);
    a.lineTo(13.8, 13.2);
    a.closeSubpath();
    return a;
}

QPainterPath handPath(bool grab)
{
    // A pointing hand: the index finger up, the others folded (or all folded when grabbing).
    QPainterPath h;
    const double fingerTop = grab ? 9 : 1.5;
    h.moveTo(8, 14);
    h.lineTo(8, fingerTop + 1.5);
    h.cubicTo(8, fingerTop - 0.5, 11, fingerTop - 0.5, 11, fingerTop + 1.5);
    h.lineTo(11, 11);
    h.cubicTo(11, 9.5, 14, 9.5, 14, 11);
    h.lineTo(14, 12);
    h.cubicTo(14, 10.5, 17, 10.5, 17, 12);
    h.lineTo(17, 13);
    h.cubicTo(17, 11.5, 20, 11.5, 20, 13);
    h.lineTo(20, 20);
    h.cubicTo(20, 24, 18, 26, 15, 26);
    h.lineTo(12, 26);
    h.cubicTo(9.5, 26, 8.5, 25, 7, 23);
    h.lineTo(3.8, 18.5);
    h.cubicTo(2.8, 17, 4.6, 15.4, 6, 16.6);
    h.closeSubpath();
    return h;
}

// Each cursor at 1x and 2x; the hot spot is given in logical pixels for both.
void drawCursors(int scale)
{
    const QColor light(240, 242, 245);
    {
        QImage image = cursorCanvas(scale);
        Pen p(image, scale);
        outline(p, arrowPath(), light);
        p.end();
        image.setText("HotSpot", "1,1");
        save(image, scaledName("cursor-CURSOR1", scale));
    }
    {
        // Moving the window: the arrow with four small arrowheads.
        QImage image = cursorCanvas(scale);
        Pen p(image, scale);
        QPainterPath cross;
        const QPointF c(16, 16);
        auto head = [&](double angle) {
            QTransform t;
            t.translate(c.x(), c.y());
            t.rotate(angle);
            QPainterPath a;
            a.moveTo(0, -13);
            a.lineTo(4.5, -8);
            a.lineTo(1.5, -8);
            a.lineTo(1.5, -1.5);
            a.lineTo(-1.5, -1.5);
            a.lineTo(-1.5, -8);
            a.lineTo(-4.5, -8);
            a.closeSubpath();
            return t.map(a);
        };
        for (double angle : {0.0, 90.0, 180.0, 270.0})
            cross = cross.united(head(angle));
        outline(p, cross, light);
        p.end();
        image.setText("HotSpot", "16,16");
        save(image, scaledName("cursor-CURSOR2", scale));
    }
    {
        QImage image = cursorCanvas(scale);
        Pen p(image, scale);
        outline(p, handPath(false), light);
        p.end();
        image.setText("HotSpot", "9,1");
        save(image, scaledName("cursor-GUIHAND", scale));
    }
    {
        // Over a slider's thumb: a grabbing hand with arrows left and right.
        QImage image = cursorCanvas(scale);
        Pen p(image, scale);
        outline(p, handPath(true).translated(2, 2), light);
        QPainterPath arrows;
        arrows.moveTo(0.5, 6);
        arrows.lineTo(5, 2);
        arrows.lineTo(5, 10);
        arrows.closeSubpath();
        arrows.moveTo(31.5, 6);
        arrows.lineTo(27, 2);
        arrows.lineTo(27, 10);
        arrows.closeSubpath();
        outline(p, arrows, QColor(250, 200, 60));
        p.end();
        image.setText("HotSpot", "12,12");
        save(image, scaledName("cursor-FINGER", scale));
    }
}

void drawIcons(const QString& svg)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "dravik-skin-art: cannot read %s\n", qPrintable(svg));
        failed = true;
        return;
    }
    QDir().mkpath(outDir + "/icons");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image = canvas(size, size, 1);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(0, 0, size, size));
        p.end();
        save(image, QString("icons/dravik-%1").arg(size));
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: dravik-skin-art OUTDIR ICON.svg\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "dravik-skin-art: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int scale : {1, 2}) {
        const QImage face = faceImage(scale);
        save(panelImage(scale), scaledName("DVKpanel1", scale));
        save(mainImage(scale), scaledName("DVKmain1", scale));
        drawTitles(face, scale);
        drawKeys(face, scale);
        save(meterImage(kMeterWidth, kMeterRow, 5, 10, scale, false), scaledName("VUMETER", scale));
        save(meterImage(100, 10, 4, 8, scale, true), scaledName("HLEVELS", scale));
        save(clipLamp(scale), scaledName("CLIPLAMP", scale));
        save(digitStrip(scale), scaledName("DISPLAY0", scale));
        save(seekChannel(scale), scaledName("Thumbchannel", scale));
        save(seekThumb(scale), scaledName("Thumb", scale));
        save(voxChannel(scale), scaledName("VOXCHANNEL", scale));
        save(voxThumb(scale), scaledName("VOXTHUMB", scale));
    }
    drawCursors(1);
    drawCursors(2);
    drawIcons(QString::fromLocal8Bit(argv[2]));
    return failed ? 1 : 0;
}
