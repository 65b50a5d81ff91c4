// The skinned push button: a state table of nine keyed pictures, and the mouse rules of a button
// that keeps its pressed look until release and reports a click only over itself.
#include "CSkinButton.h"

#include "skin.h"
#include "skin_accessible.h"
#include "skin_common.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kDisabledAlpha = 100;

// Pure white transparent; the disabled slots drawn at alpha 100.
QImage keyedCopy(const QImage& image, int slot)
{
    QImage copy = image.convertToFormat(QImage::Format_ARGB32);
    const int alpha = (slot == 4 || slot == 8) ? kDisabledAlpha : 255;
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col) {
            const QRgb pixel = line[col];
            line[col] = skin::isRgb(pixel, 255, 255, 255)
                            ? 0
                            : qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), alpha);
        }
    }
    return copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

CSkinButton::CSkinButton(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    skin::installAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void CSkinButton::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

bool CSkinButton::LoadImage(int slot, const SkinModule& module, const QString& name)
{
    return SetImage(slot, module.bitmap(name));
}

bool CSkinButton::SetImage(int slot, const QImage& image)
{
    if (slot < 0 || slot >= kSlots)
        return false;
    images_[slot] = image.isNull() ? QImage() : keyedCopy(image, slot);
    if (slot == state_)
        update();
    return !image.isNull();
}

bool CSkinButton::LoadCursor(const SkinModule& module, const QString& name)
{
    const std::optional<QCursor> cursor = module.cursor(name);
    if (!cursor)
        return false;
    setCursor(*cursor);
    return true;
}

void CSkinButton::SetPosition(int x, int y)
{
    x_ = x;
    y_ = y;
    const QSize size = skin::logicalSize(images_[0]);
    setGeometry(x, y, size.width(), size.height());
    update();
}

void CSkinButton::SetTooltip(const SkinModule& module, int stringId, bool activate)
{
    SetTooltipText(module.string(stringId), activate);
}

void CSkinButton::SetTooltipText(const QString& text, bool activate)
{
    if (text.isEmpty())
        return;
    tooltip_ = text.left(kSkinStringMax);
    tooltipActive_ = activate;
    setToolTip(activate ? tooltip_ : QString());
    setAccessibleName(tooltip_);
}

void CSkinButton::SetState(int n)
{
    faceBase_ = n > 8 ? 8 : n > 4 ? 4 : 0;
    state_ = n;
    pressed_ = false;
    setEnabled(n != faceBase_ + 4);
    update();
}

void CSkinButton::SetHoverTracking(bool on)
{
    hoverTracking_ = on;
    setMouseTracking(on);
}

void CSkinButton::ReplaceColor(QImage& image, int r, int g, int b, int a2, int r2, int g2, int b2)
{
    if (image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb replacement = qRgba(r2, g2, b2, a2);
    for (int row = 0; row < image.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int col = 0; col < image.width(); ++col) {
            if (skin::isRgb(line[col], r, g, b))
                line[col] = replacement;
        }
    }
}

// A state outside the slots shows the background alone.
void CSkinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    skin::drawBackground(painter, background_, x_, y_, width(), height());
    if (state_ >= 0 && state_ < kSlots) {
        const QImage& image = images_[state_];
        skin::drawPart(painter, QPointF(0, 0), image,
                       QRectF(QPointF(0, 0), skin::logicalSize(image)));
    }
    if (focusMark_) {
        // A thin ring in the green of the display's legends, as a lit key's edge would glow.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(112, 214, 160, 220), 1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
}

void CSkinButton::focusInEvent(QFocusEvent* event)
{
    // The ring is for the keyboard: a focus the pointer gives (every move over a button takes it)
    // shows nothing.
    const bool keyboard =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (keyboard != focusMark_) {
        focusMark_ = keyboard;
        update();
    }
    QWidget::focusInEvent(event);
}

void CSkinButton::focusOutEvent(QFocusEvent* event)
{
    if (focusMark_) {
        focusMark_ = false;
        update();
    }
    QWidget::focusOutEvent(event);
}

void CSkinButton::Click()
{
    if (isEnabled())
        skin::notifyParent(this, id_, kClicked);
}

// Both edges count as inside, as the button's own hit test has it.
bool CSkinButton::inside(QPointF point) const
{
    return point.x() >= 0 && point.x() <= width() && point.y() >= 0 && point.y() <= height();
}

void CSkinButton::showState(int state)
{
    // A disabled button still hears the pointer enter and leave; its dimmed face stays.
    if (!isEnabled())
        return;
    if (state_ != state) {
        state_ = state;
        update();
    }
}

void CSkinButton::mouseMoveEvent(QMouseEvent* event)
{
    // The pointer takes the focus from a button the keyboard reached only when it moves onto
    // another one.
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
    if (!hoverTracking_ || pressed_)
        return;
    showState(inside(event->position()) ? faceBase_ + 3 : faceBase_ + 1);
}

void CSkinButton::leaveEvent(QEvent*)
{
    if (hoverTracking_ && !pressed_)
        showState(faceBase_ + 1);
}

void CSkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    pressed_ = true;
    if (hoverTracking_)
        showState(faceBase_ + 2);
}

void CSkinButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The release that follows posts a second click.
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    pressed_ = true;
    showState(faceBase_ + 2);
}

void CSkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        if (isEnabled())
            skin::notifyParent(this, id_, kRightClicked);
        return;
    }
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    showState(faceBase_ + 1);
    if (!hoverTracking_ || inside(event->position()))
        skin::notifyParent(this, id_, kClicked);
}

bool CSkinButton::event(QEvent* event)
{
    // A tooltip that was loaded but not activated stays quiet.
    if (event->type() == QEvent::ToolTip && !tooltipActive_)
        return true;
    return QWidget::event(event);
}
