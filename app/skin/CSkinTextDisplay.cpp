// The two-line text label: a line is drawn at the top, the other one font size lower.
#include "CSkinTextDisplay.h"

#include "skin_accessible.h"
#include "skin_common.h"

#include <QFont>
#include <QPainter>

CSkinTextDisplay::CSkinTextDisplay(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    skin::installAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinTextDisplay::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

void CSkinTextDisplay::SetRect(int x, int y, int width, int height)
{
    x_ = x;
    y_ = y;
    setGeometry(x, y, std::max(0, width), std::max(0, height));
    update();
}

void CSkinTextDisplay::SetTextColor(int alpha, int red, int green, int blue)
{
    colour_ = QColor(red, green, blue, alpha);
    update();
}

void CSkinTextDisplay::SetFontName(const QString& family)
{
    family_ = family;
    update();
}

void CSkinTextDisplay::SetFontSize(int pixels)
{
    size_ = std::max(1, pixels);
    update();
}

void CSkinTextDisplay::SetText(const QString& text)
{
    text_ = text;
    const qsizetype first = text.indexOf(u'|');
    const qsizetype last = text.lastIndexOf(u'|');
    first_ = first < 0 ? QString() : text.left(first);
    second_ = last < 0 ? text : text.mid(last + 1);
    update();
}

void CSkinTextDisplay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    skin::drawBackground(painter, background_, x_, y_, width(), height());
    QFont font(family_);
    font.setPixelSize(size_);
    font.setStyleStrategy(QFont::PreferAntialias);
    painter.setFont(font);
    painter.setPen(colour_);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Each line's top is where the label says; the text is drawn from there down.
    const QRect first(0, 0, width(), size_ + size_ / 2);
    const QRect second(0, size_, width(), size_ + size_ / 2);
    painter.drawText(first, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, first_);
    painter.drawText(second, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, second_);
}

void CSkinTextDisplay::mouseMoveEvent(QMouseEvent*)
{
    setFocus(Qt::MouseFocusReason);
}
