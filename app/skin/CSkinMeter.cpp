// The level meter: a level lights segments at once and decays one segment per interval from its
// peak; a paint is the background, the unlit row and the lit part of the lit row.
#include "CSkinMeter.h"

#include "skin.h"
#include "skin_accessible.h"
#include "skin_common.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

namespace {

int64_t monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t (*clockNow)() = monotonicMs;

// One clock per interval for every meter. While levels come, each level brings every meter's decay
// up to date, so the clock stays asleep: the window wakes once per level, not once more per decay
// step. Only when the levels stop does it tick, to finish the fall, and it sleeps again once every
// meter is empty. Window thread only.
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
        fed();
    }
    void remove(CSkinMeter* meter) { std::erase(meters_, meter); }
    // A level came for one of the meters: the others' decay is brought up to date too, and the
    // clock waits for the next level rather than ticking.
    void fed()
    {
        if (!tickAll()) {
            timer_.stop();
            return;
        }
        ticking_ = false;
        timer_.start(quietMs(), Qt::CoarseTimer, this);
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != timer_.timerId())
            return;
        // No level for a while: tick at the decay's own pace until every meter is empty.
        if (!ticking_) {
            ticking_ = true;
            timer_.start(interval_, Qt::CoarseTimer, this);
        }
        if (!tickAll())
            timer_.stop();
    }

private:
    explicit MeterClock(int interval) : QObject(QCoreApplication::instance()), interval_(interval)
    {
    }
    // Levels come every 40 ms at most; a little more than two intervals without one means they
    // have stopped (or are late, when a tick does no harm: the decay is reckoned from the time).
    int quietMs() const { return interval_ * 5 / 2; }
    // Every meter's decay up to now; whether any still shows a level.
    bool tickAll()
    {
        // A meter may go away while the others repaint: walk a copy.
        const std::vector<CSkinMeter*> meters = meters_;
        bool busy = false;
        for (CSkinMeter* meter : meters) {
            meter->Tick();
            busy = busy || meter->ShownLevel() > 0 || meter->HeldLevel() > 0;
        }
        return busy;
    }

    int interval_;
    bool ticking_ = false; // at the decay's pace, rather than waiting for the next level
    QBasicTimer timer_;
    std::vector<CSkinMeter*> meters_;
};

// The lit row of a keyed picture in a brighter tone of its own colours: each opaque colour moved
// 45 % of the way to white, so a green segment holds as pale green and a red one as pink-red.
QImage brighterRow(const QImage& keyed, int rowHeight)
{
    const qreal ratio = keyed.devicePixelRatio();
    const int top = qRound(rowHeight * ratio);
    QImage row = keyed.copy(0, top, keyed.width(), keyed.height() - top)
                     .convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < row.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(row.scanLine(y));
        for (int x = 0; x < row.width(); ++x) {
            const QRgb p = line[x];
            if (qAlpha(p) == 0)
                continue;
            auto up = [](int c) { return c + (255 - c) * 45 / 100; };
            line[x] = qRgba(up(qRed(p)), up(qGreen(p)), up(qBlue(p)), qAlpha(p));
        }
    }
    row = row.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    row.setDevicePixelRatio(ratio);
    return row;
}

} // namespace

CSkinMeter::CSkinMeter(QWidget* parent, int id) : QWidget(parent), id_(id)
{
    skin::installAccessibility();
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
    copy_ = image.isNull() ? QImage() : skin::meterKeyed(image);
    if (!copy_.isNull())
        copy_.setDevicePixelRatio(image.devicePixelRatio());
    heldCopy_ = copy_.isNull() ? QImage() : brighterRow(copy_, height_);
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
    // The decay goes on from the level shown now.
    peak_ = shown_;
    peakAt_ = clockNow();
    seenAt_ = peakAt_;
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

int CSkinMeter::DecayedLevel(int peak, int64_t elapsedMs, int intervalMs)
{
    if (intervalMs <= 0 || elapsedMs <= 0 || peak <= 0)
        return std::max(peak, 0);
    const int64_t steps = elapsedMs / intervalMs;
    return steps >= peak ? 0 : peak - static_cast<int>(steps);
}

void CSkinMeter::UseClock(int64_t (*nowMs)())
{
    clockNow = nowMs ? nowMs : monotonicMs;
}

void CSkinMeter::SetValue(int value)
{
    const int64_t now = clockNow();
    decayTo(now);
    const int target = SegmentsFor(value, maximum_);
    if (target > shown_) {
        peak_ = target;
        peakAt_ = now;
        showLevel(target);
    }
    // A level as high as the held one starts its hold again.
    if (target > 0 && target >= held_) {
        heldAt_ = now;
        showHeld(target);
    }
    if (interval_)
        MeterClock::of(interval_).fed();
}

void CSkinMeter::Tick()
{
    decayTo(clockNow());
}

void CSkinMeter::decayTo(int64_t now)
{
    // While a level shows, the clock or the levels bring it up to date every few intervals. A
    // longer gap is the window's thread held up (a busy machine): nothing was painted meanwhile,
    // so the fall goes on by one step from where it was seen, rather than jumping.
    if (interval_ && shown_ > 0 && now - seenAt_ > kStallIntervals * interval_) {
        peakAt_ += now - seenAt_ - interval_;
        heldAt_ += now - seenAt_ - interval_;
    }
    seenAt_ = now;
    showLevel(DecayedLevel(peak_, now - peakAt_, interval_));
    // After its hold the held segment falls to the bar, and holds there anew.
    if (held_ > 0 && now - heldAt_ >= kHoldMs) {
        heldAt_ = now;
        showHeld(shown_);
    }
}

void CSkinMeter::showLevel(int segments)
{
    if (segments == shown_)
        return;
    // Only the segments between the old and the new end of the lit part change (a pixel more
    // either side for a picture scaled to the screen).
    const int from = width_ * std::clamp(std::min(shown_, segments), 0, kSegments) / kSegments;
    const int to = width_ * std::clamp(std::max(shown_, segments), 0, kSegments) / kSegments;
    shown_ = segments;
    update(QRect(from - 1, 0, to - from + 2, height()));
}

QRect CSkinMeter::segmentRect(int segment) const
{
    // The segment's columns, a pixel more either side for a picture scaled to the screen.
    const int from = width_ * std::clamp(segment - 1, 0, kSegments) / kSegments;
    const int to = width_ * std::clamp(segment, 0, kSegments) / kSegments;
    return QRect(from - 1, 0, to - from + 2, height());
}

void CSkinMeter::showHeld(int segments)
{
    segments = std::clamp(segments, 0, kSegments);
    if (segments == held_)
        return;
    if (held_ > 0)
        update(segmentRect(held_));
    held_ = segments;
    if (held_ > 0)
        update(segmentRect(held_));
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
    // Held above the bar; at the bar it is the bar's own top.
    if (held_ > std::clamp(shown_, 0, kSegments)) {
        const int from = width_ * (held_ - 1) / kSegments;
        const int to = width_ * held_ / kSegments;
        skin::drawPart(painter, QPointF(from, 0), heldCopy_, QRectF(from, 0, to - from, height_));
    }
}

void CSkinMeter::mouseMoveEvent(QMouseEvent*)
{
    setFocus(Qt::MouseFocusReason);
}
