// The time display: the text of a count of hundredths, drawn glyph by glyph from the keyed strip.
#include "CSkinTimeDisplay.h"

#include "skin.h"
#include "skin_accessible.h"
#include "skin_common.h"

#include <QPaintEvent>
#include <QPainter>

CSkinTimeDisplay::CSkinTimeDisplay(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    skin::installAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinTimeDisplay::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

void CSkinTimeDisplay::SetDigitColor(int alpha, int red, int green, int blue)
{
    colour_ = qRgba(red, green, blue, alpha);
}

bool CSkinTimeDisplay::LoadDigits(const SkinModule& module, const QString& name)
{
    return SetDigits(module.bitmap(name));
}

bool CSkinTimeDisplay::SetDigits(const QImage& strip)
{
    const QSize size = skin::logicalSize(strip);
    width_ = size.width();
    height_ = size.height();
    if (strip.isNull()) {
        digits_ = QImage();
        return false;
    }
    QImage copy = strip.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col)
            line[col] = skin::isRgb(line[col], 0, 0, 0) ? 0 : colour_;
    }
    digits_ = copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    update();
    return true;
}

void CSkinTimeDisplay::SetPosition(int x, int y)
{
    x_ = x;
    y_ = y;
    setGeometry(x, y, width_, height_);
    update();
}

QString CSkinTimeDisplay::TextFor(int64_t hundredths)
{
    // Hours and hundredths come from the low 32 bits, as the display has always counted them.
    const auto low = static_cast<uint32_t>(hundredths);
    const unsigned hours = low / 100 / 60 / 60;
    const auto minutes = static_cast<unsigned>((hundredths / 100 / 60) % 60);
    const auto seconds = static_cast<unsigned>((hundredths / 100) % 60);
    const unsigned cents = low % 100;
    return QString::asprintf("%02u:%02u:%02u:%02u", hours, minutes, seconds, cents);
}

void CSkinTimeDisplay::SetValue(int64_t hundredths)
{
    value_ = hundredths;
    QString text = TextFor(hundredths);
    if (text == text_)
        return;
    const int glyph = width_ / kGlyphs;
    if (text.size() != text_.size() || glyph <= 0) {
        update();
    } else {
        // Only the glyphs that changed are repainted: mostly the hundredths, 25 times a second
        // while recording (a pixel more either side for a picture scaled to the screen).
        qsizetype first = 0;
        while (text[first] == text_[first])
            ++first;
        qsizetype last = text.size() - 1;
        while (text[last] == text_[last])
            --last;
        update(QRect(static_cast<int>(first) * glyph - 1, 0,
                     static_cast<int>(last - first + 1) * glyph + 2, height()));
    }
    text_ = std::move(text);
}

void CSkinTimeDisplay::SetTooltip(const SkinModule& module, int stringId, bool activate)
{
    SetTooltipText(module.string(stringId), activate);
}

void CSkinTimeDisplay::ChangeTooltipText(const SkinModule& module, int stringId)
{
    const QString text = module.string(stringId);
    if (!text.isEmpty())
        setToolTip(text.left(kSkinStringMax));
}

void CSkinTimeDisplay::SetTooltipText(const QString& text, bool activate)
{
    if (!text.isEmpty())
        setToolTip(activate ? text.left(kSkinStringMax) : QString());
}

void CSkinTimeDisplay::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    skin::drawBackground(painter, background_, x_, y_, width(), height());
    if (digits_.isNull())
        return;
    const int glyph = width_ / kGlyphs;
    const QRect dirty = event->rect();
    for (qsizetype i = 0; i < text_.size(); ++i) {
        // The painter clips to the changed glyphs anyway; the others are not even drawn.
        if (!dirty.intersects(QRect(static_cast<int>(i) * glyph, 0, glyph, height_)))
            continue;
        const QChar c = text_[i];
        const int index = c.isDigit() ? c.digitValue() : c == u'*' ? 10 : 11;
        skin::drawPart(painter, QPointF(i * glyph, 0), digits_,
                       QRectF(index * glyph, 0, glyph, height_));
    }
}

void CSkinTimeDisplay::mouseMoveEvent(QMouseEvent*)
{
    setFocus(Qt::MouseFocusReason);
}
