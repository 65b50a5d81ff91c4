// The skinned slider: range arithmetic apart from painting, the thumb's recolouring by style, and
// the drag, wheel and focus rules.
#include "CSkinSlider.h"

#include "skin.h"
#include "skin_accessible.h"
#include "skin_common.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr int kChannelAlpha = 100;
// The VOX thumb's colours: opaque red at level 0, translucent dark red otherwise.
constexpr QRgb kVoxZero = 0xFFFF0000;
constexpr QRgb kVoxLevel = 0x9BDB2117; // (155, 219, 33, 23)
// The VOX slider's drag reads the value under the thumb's middle, not its left edge.
constexpr int kVoxGrabOffset = 7;
constexpr int kWheelThreshold = 60;

QImage keyedChannel(const QImage& channel)
{
    QImage copy = channel.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col) {
            const QRgb p = line[col];
            line[col] =
                skin::isRgb(p, 0, 0, 0) ? 0 : qRgba(qRed(p), qGreen(p), qBlue(p), kChannelAlpha);
        }
    }
    return copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

CSkinSlider::CSkinSlider(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    skin::installAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

void CSkinSlider::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

bool CSkinSlider::SetSkin(const SkinModule& module, int style)
{
    const bool vox = style == kVoxStyle;
    finger_ = module.cursor(QStringLiteral("FINGER"));
    return SetSkinImages(
        module.bitmap(vox ? QStringLiteral("VOXCHANNEL") : QStringLiteral("Thumbchannel")),
        module.bitmap(vox ? QStringLiteral("VOXTHUMB") : QStringLiteral("Thumb")), style);
}

bool CSkinSlider::SetSkinImages(const QImage& channel, const QImage& thumb, int style)
{
    style_ = style;
    channel_ = channel;
    thumb_ = thumb;
    channelCopy_ = channel.isNull() ? QImage() : keyedChannel(channel);
    SetThumbStyle(1);
    return !channel.isNull() && !thumb.isNull();
}

void CSkinSlider::SetPosition(int x, int y)
{
    const QSize size = skin::logicalSize(channel_);
    x_ = x;
    y_ = y;
    width_ = size.width();
    height_ = size.height();
    setGeometry(x, y, width_, height_);
    update();
}

void CSkinSlider::SetRange(int64_t minimum, int64_t maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
}

void CSkinSlider::SetValue(int64_t value, bool notify)
{
    // Above the maximum gives the maximum first, so an inverted range settles on its minimum.
    if (value > maximum_)
        value = maximum_;
    if (value < minimum_)
        value = minimum_;
    const int oldLeft = ThumbLeft();
    const bool changed = value != value_;
    value_ = value;
    const int style = value_ == 0 ? 0 : 2;
    if (style != thumbStyle_)
        SetThumbStyle(style);
    else if (changed && ThumbLeft() != oldLeft)
        update();
    if (changed)
        refreshTooltip();
    if (notify)
        skin::notifyParent(this, id_, kMoved);
}

void CSkinSlider::SetTooltipName(const SkinModule& module, int stringId, bool activate)
{
    SetTooltipName(module.string(stringId), activate);
}

void CSkinSlider::SetTooltipName(const QString& name, bool activate)
{
    if (name.isEmpty())
        return;
    name_ = name.left(kSkinStringMax);
    tooltipActive_ = activate;
    refreshTooltip();
}

void CSkinSlider::refreshTooltip()
{
    if (name_.isEmpty())
        return;
    setToolTip(tooltipActive_ ? QStringLiteral("%1 : %2").arg(name_).arg(value_) : QString());
}

void CSkinSlider::SetThumbStyle(int style)
{
    thumbStyle_ = style;
    thumbCopy_ = thumb_.isNull() ? QImage() : StyledThumb(thumb_, style_, style);
    update();
}

void CSkinSlider::UpdateThumbStyle()
{
    if (value_ == 0)
        SetThumbStyle(0);
    else if (!focus_)
        SetThumbStyle(1);
    else
        update();
}

QImage CSkinSlider::StyledThumb(const QImage& thumb, int sliderStyle, int thumbStyle)
{
    QImage copy = thumb.convertToFormat(QImage::Format_ARGB32);
    const bool vox = sliderStyle == kVoxStyle;
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col) {
            const QRgb p = line[col];
            if (skin::isRgb(p, 0, 0, 0))
                line[col] = 0;
            else if (!vox)
                line[col] = qRgba(qRed(p), qGreen(p), qBlue(p), 255);
            else if (thumbStyle == 0)
                line[col] = kVoxZero;
            else
                line[col] = skin::isRgb(p, 0, 0, 255) ? 0 : kVoxLevel;
        }
    }
    return copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int CSkinSlider::channelWidth() const
{
    return skin::logicalSize(channel_).width();
}
int CSkinSlider::thumbWidth() const
{
    return skin::logicalSize(thumb_).width();
}
int CSkinSlider::thumbHeight() const
{
    return skin::logicalSize(thumb_).height();
}

int CSkinSlider::ThumbLeftFor(int64_t value, int64_t minimum, int64_t maximum, int channelWidth,
                              int thumbWidth)
{
    const int travel = channelWidth - thumbWidth;
    // No room to travel or nothing to travel over: the thumb rests at the left end.
    if (travel <= 0 || maximum <= minimum)
        return 0;
    const double perPixel = (static_cast<double>(maximum) - static_cast<double>(minimum)) / travel;
    const double left = (static_cast<double>(value) - static_cast<double>(minimum)) / perPixel;
    if (!(left > 0))
        return 0;
    if (left > travel)
        return travel;
    return static_cast<int>(left);
}

int64_t CSkinSlider::ValueAtXFor(int x, int64_t minimum, int64_t maximum, int channelWidth,
                                 int thumbWidth)
{
    const int travel = channelWidth - thumbWidth;
    if (travel <= 0 || maximum <= minimum)
        return minimum;
    x = std::clamp(x, 0, channelWidth);
    const double perPixel = (static_cast<double>(maximum) - static_cast<double>(minimum)) / travel;
    return minimum + static_cast<int64_t>(std::trunc(x * perPixel));
}

int CSkinSlider::ThumbLeft() const
{
    return ThumbLeftFor(value_, minimum_, maximum_, channelWidth(), thumbWidth());
}

int64_t CSkinSlider::ValueAtX(int x) const
{
    return ValueAtXFor(x, minimum_, maximum_, channelWidth(), thumbWidth());
}

void CSkinSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    skin::drawBackground(painter, background_, x_, y_, width(), height());
    skin::drawPart(painter, QPointF(0, 0), channelCopy_,
                   QRectF(QPointF(0, 0), skin::logicalSize(channelCopy_)));
    if (!thumbCopy_.isNull())
        skin::drawPart(painter, QPointF(ThumbLeft(), 0), thumbCopy_,
                       QRectF(QPointF(0, 0), skin::logicalSize(thumbCopy_)));
}

// Strictly inside the thumb, as the slider's hit test has it.
bool CSkinSlider::overThumb(QPointF point) const
{
    const int left = ThumbLeft();
    return point.x() > left && point.x() < left + thumbWidth() && point.y() > 0 &&
           point.y() < thumbHeight();
}

void CSkinSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !overThumb(event->position()))
        return;
    if (finger_)
        setCursor(*finger_);
    dragging_ = true;
    skin::notifyParent(this, id_, kThumbTaken);
}

void CSkinSlider::mouseMoveEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    refreshTooltip();
    if (finger_) {
        if (overThumb(event->position()) || dragging_)
            setCursor(*finger_);
        else
            unsetCursor();
    }
    if (!dragging_)
        return;
    int64_t value = ValueAtX(static_cast<int>(std::floor(event->position().x())));
    if (style_ == kVoxStyle)
        value -= kVoxGrabOffset;
    SetValue(value, true);
}

void CSkinSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    skin::notifyParent(this, id_, kThumbReleased);
}

void CSkinSlider::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta > kWheelThreshold)
        SetValue(value_ + 1, true);
    else if (delta < -kWheelThreshold)
        SetValue(value_ - 1, true);
    skin::notifyParent(this, id_, kMoved);
    refreshTooltip();
    event->accept();
}

void CSkinSlider::focusInEvent(QFocusEvent*)
{
    focus_ = true;
    SetThumbStyle(2);
}

void CSkinSlider::focusOutEvent(QFocusEvent*)
{
    focus_ = false;
    UpdateThumbStyle();
}
