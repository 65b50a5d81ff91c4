// The level meter: a level lights segments at once and decays one segment per tick; a paint is the
// background, the unlit row and the lit part of the lit row.
#include "CSkinMeter.h"

#include "skin.h"
#include "skin_common.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// One timer per interval for every meter: the window then repaints all of them in one pass per
// tick instead of once per meter. The timer sleeps while every meter is empty, so a silent input
// costs no wake-ups. Window thread only.
class MeterClock : public QObject {
public:
    static MeterClock& of(int interval)
    {
        // The clocks go with the application object; a later one gets new clocks.
        static std::map<int, QPointer<MeterClock>> clocks;
        QPointer<MeterClock>& clock = clocks[interval];
        if (!clock)
            clock = new MeterClock(interval);
        return *clock;
    }
    void add(CSkinMeter* meter)
    {
        meters_.push_back(meter);
        wake();
    }
    void remove(CSkinMeter* meter) { std::erase(meters_, meter); }
    // A meter has something to decay.
    void wake()
    {
        if (!timer_)
            timer_ = startTimer(interval_, Qt::PreciseTimer);
    }

protected:
    void timerEvent(QTimerEvent*) override
    {
        // A meter may go away while the others tick: walk a copy.
        const std::vector<CSkinMeter*> meters = meters_;
        bool busy = false;
        for (CSkinMeter* meter : meters) {
            meter->Tick();
            busy = busy || meter->ShownLevel() > 0;
        }
        if (!busy) {
            killTimer(timer_);
            timer_ = 0;
        }
    }

private:
    explicit MeterClock(int interval) : QObject(QCoreApplication::instance()), interval_(interval)
    {
    }
    int interval_;
    int timer_ = 0;
    std::vector<CSkinMeter*> meters_;
};

// Black transparent, mid grey (128, 128, 128) at alpha 200, every other pixel as it is.
QImage keyedMeter(const QImage& image)
{
    QImage copy = image.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col) {
            const QRgb p = line[col];
            if (skin::isRgb(p, 0, 0, 0))
                line[col] = 0;
            else if (skin::isRgb(p, 128, 128, 128))
                line[col] = qRgba(128, 128, 128, 200);
        }
    }
    return copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

CSkinMeter::CSkinMeter(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CSkinMeter::~CSkinMeter()
{
    if (interval_)
        MeterClock::of(interval_).remove(this);
}

void CSkinMeter::SetBackground(const QImage& background)
{
    background_ = background;
    update();
}

void CSkinMeter::SetMaxValue(int maximum)
{
    maximum_ = maximum;
}

bool CSkinMeter::LoadImage(const SkinModule& module, const QString& name)
{
    return SetImage(module.bitmap(name));
}

bool CSkinMeter::SetImage(const QImage& image)
{
    const QSize size = skin::logicalSize(image);
    width_ = size.width();
    height_ = size.height() / 2;
    copy_ = image.isNull() ? QImage() : keyedMeter(image);
    update();
    return !image.isNull();
}

void CSkinMeter::SetPosition(int x, int y)
{
    x_ = x;
    y_ = y;
    setGeometry(x, y, width_, height_);
    update();
}

void CSkinMeter::StartTimer(int intervalMs)
{
    if (interval_)
        MeterClock::of(interval_).remove(this);
    interval_ = std::max(1, intervalMs);
    MeterClock::of(interval_).add(this);
}

int CSkinMeter::SegmentsFor(int value, int maximum, int segments)
{
    if (maximum <= 0)
        maximum = kLevelScale;
    if (value <= 0)
        return 0;
    if (value >= maximum)
        return segments;
    return static_cast<int>(static_cast<int64_t>(segments) * value / maximum) + 1;
}

void CSkinMeter::SetValue(int value)
{
    const int target = SegmentsFor(value, maximum_);
    if (shown_ < target) {
        shown_ = target;
        update();
        if (interval_)
            MeterClock::of(interval_).wake();
    }
}

void CSkinMeter::Tick()
{
    if (shown_ <= 0)
        return;
    --shown_;
    update();
}

void CSkinMeter::SetTooltip(const SkinModule& module, int stringId, bool activate)
{
    SetTooltipText(module.string(stringId), activate);
}

void CSkinMeter::SetTooltipText(const QString& text, bool activate)
{
    if (text.isEmpty())
        return;
    tooltip_ = text.left(kSkinStringMax);
    setToolTip(activate ? tooltip_ : QString());
}

void CSkinMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    skin::drawBackground(painter, background_, x_, y_, width(), height());
    if (copy_.isNull())
        return;
    skin::drawPart(painter, QPointF(0, 0), copy_, QRectF(0, 0, width_, height_));
    const int lit = width_ * std::clamp(shown_, 0, kSegments) / kSegments;
    if (lit > 0)
        skin::drawPart(painter, QPointF(0, 0), copy_, QRectF(0, height_, lit, height_));
}

void CSkinMeter::mouseMoveEvent(QMouseEvent*)
{
    setFocus(Qt::MouseFocusReason);
}
