// The two-state lamp: a paint is the background and one row of the keyed picture.
#include "CSkinLamp.h"

#include "skin.h"
#include "skin_accessible.h"
#include "skin_common.h"

#include <QPainter>

CSkinLamp::CSkinLamp(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    skin::installAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Clicks go on to the owner (the meter area clears the clip lamps).
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CSkinLamp::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

bool CSkinLamp::LoadImage(const SkinModule& module, const QString& name)
{
    return SetImage(module.bitmap(name));
}

bool CSkinLamp::SetImage(const QImage& image)
{
    const QSize size = skin::logicalSize(image);
    width_ = size.width();
    height_ = size.height() / 2;
    copy_ = image.isNull() ? QImage() : skin::meterKeyed(image);
    update();
    return !image.isNull();
}

void CSkinLamp::SetPosition(int x, int y)
{
    x_ = x;
    y_ = y;
    setGeometry(x, y, width_, height_);
    update();
}

void CSkinLamp::SetLit(bool lit)
{
    if (lit == lit_)
        return;
    lit_ = lit;
    update();
}

void CSkinLamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    skin::drawBackground(painter, background_, x_, y_, width(), height());
    skin::drawPart(painter, QPointF(0, 0), copy_, QRectF(0, lit_ ? height_ : 0, width_, height_));
}
