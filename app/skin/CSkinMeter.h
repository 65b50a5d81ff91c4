// CSkinMeter: a horizontal level meter of 25 segments over its owner's panel. Its picture holds
// two rows, unlit over lit. A level rises at once and falls one segment per timer tick (25 ms).
// Only a change of the shown level repaints it. Meters of one interval share one clock, so that
// their decay steps repaint together.
#pragma once

#include <QImage>
#include <QWidget>

class SkinModule;

// The scale of the window's levels.
constexpr int kLevelScale = 0x8000;

class CSkinMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegments = 25;

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
    // Starts (or restarts) the decay timer with that interval.
    void StartTimer(int intervalMs);
    // A new level: shown at once when it lights more segments than are shown.
    void SetValue(int value);
    void SetTooltip(const SkinModule& module, int stringId, bool activate);
    void SetTooltipText(const QString& text, bool activate);

    // Segments shown now.
    int ShownLevel() const { return shown_; }
    // One decay step, as a timer tick makes it.
    void Tick();

    // Segments lit by a value on a scale: none at 0 or below, all at or above the maximum, at least
    // one for any other value.
    static int SegmentsFor(int value, int maximum, int segments = kSegments);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int id_;
    int interval_ = 0; // of the clock this meter ticks with; 0 while it has none
    int shown_ = 0;
    int maximum_ = 0;
    QImage background_;
    QImage copy_;
    QString tooltip_;
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
};
