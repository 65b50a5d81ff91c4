// CSkinMeter: a horizontal level meter of 25 segments over its owner's panel. Its picture holds
// two rows, unlit over lit. A level rises at once and falls one segment per interval (25 ms),
// reckoned from the time of its peak, so it falls at the same rate however often levels come.
// Above the bar one held segment, a brighter tone of the lit row, marks the highest level of the
// last 1.5 s; after that hold it falls to the bar. Only a change of the shown level or the held
// segment repaints it, and only the segments that changed. Meters of one interval share one
// clock, which wakes only to finish a fall (and a hold) after the levels stop coming.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

class SkinModule;

// The scale of the window's levels.
constexpr int kLevelScale = 0x8000;

class CSkinMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegments = 25;
    // How long the held segment stays at the highest level before it falls to the bar.
    static constexpr int kHoldMs = 1500;

    CSkinMeter(QWidget* parent, int id);
    ~CSkinMeter() override;

    int id() const { return id_; }

    void SetBackground(const QImage& background);
    // The value that lights every segment (owners set 0x8000). Until it is set, or when it is not
    // above 0, the window's level scale of 0x8000 stands in.
    void SetMaxValue(int maximum);
    // Loads the two-row picture; black becomes transparent and (128, 128, 128) alpha 200.
    bool LoadImage(const SkinModule& module, const QString& name);
    bool SetImage(const QImage& image);
    void SetPosition(int x, int y);
    // Starts (or restarts) the decay with that interval: one segment falls per interval.
    void StartTimer(int intervalMs);
    // A new level: shown at once when it lights more segments than are shown. The decay since the
    // last level is brought up to date first.
    void SetValue(int value);
    void SetTooltip(const SkinModule& module, int stringId, bool activate);
    void SetTooltipText(const QString& text, bool activate);

    // Segments shown, as of the last level or clock tick.
    int ShownLevel() const { return shown_; }
    // The held segment (1..25; drawn only above the bar), 0 when none is held.
    int HeldLevel() const { return held_; }
    // Brings the decay up to the clock's time, as the meters' clock does when no levels come.
    void Tick();

    // Segments left of a peak after elapsedMs of decay at one segment per intervalMs; an interval
    // of 0 or below holds the peak.
    static int DecayedLevel(int peak, int64_t elapsedMs, int intervalMs);
    // The milliseconds every meter reads its decay from (a monotonic clock); tests pass their own,
    // nullptr restores the monotonic one.
    static void UseClock(int64_t (*nowMs)());

    // Segments lit by a value on a scale: none at 0 or below, all at or above the maximum, at least
    // one for any other value.
    static int SegmentsFor(int value, int maximum, int segments = kSegments);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // The shown level at `now`; repaints the segments that changed.
    void showLevel(int segments);
    void showHeld(int segments);
    QRect segmentRect(int segment) const;
    void decayTo(int64_t now);

    int id_;
    int interval_ = 0; // of the clock this meter ticks with; 0 while it has none
    int shown_ = 0;
    int peak_ = 0;       // the level the decay falls from...
    int64_t peakAt_ = 0; // ...since this time (clock milliseconds)
    int64_t seenAt_ = 0; // when the decay was last brought up to date
    int held_ = 0;       // the held segment...
    int64_t heldAt_ = 0; // ...since this time
    // Longer than this without an update while a level shows is a stall, not time to fall.
    static constexpr int kStallIntervals = 8;
    int maximum_ = 0;
    QImage background_;
    QImage copy_;
    QImage heldCopy_; // the lit row in a brighter tone
    QString tooltip_;
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
};
