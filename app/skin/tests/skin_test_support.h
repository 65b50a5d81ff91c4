// Helpers of the skin tests: the application they need, a parent that records the window messages
// its controls post, and plain pictures to load into controls.
#pragma once

#include <QApplication>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

struct Posted {
    uint32_t message;
    uintptr_t wParam;
};

// The application object every widget test needs (offscreen).
QApplication& testApp();

// A parent window that keeps every WindowMessage posted to it.
class MessageLog : public QWidget {
public:
    MessageLog();
    // Delivers what was posted so far and returns everything received.
    const std::vector<Posted>& messages();
    // Codes (wParam) of the messages with that number.
    std::vector<uintptr_t> codes(uint32_t message);
    void clear() { received_.clear(); }

protected:
    bool event(QEvent* event) override;

private:
    std::vector<Posted> received_;
};

// A picture of one colour.
QImage solid(int width, int height, QRgb colour);
// A background with a different colour in every column, so that a copied rectangle can be
// recognised by the colour it shows.
QImage stripes(int width, int height);
QRgb stripeColour(int x);
// The pixel of a widget as painted.
QRgb pixelOf(QWidget* widget, int x, int y);

// Where two pictures differ, for a failure message: the first differing pixel, or "same".
std::string firstDifference(const QImage& a, const QImage& b);

// Records the rectangles of the paint events a widget receives from its updates, and draws it
// as a screen would show it (its own drawing is not recorded).
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* widget);
    ~PaintRecorder() override;
    // Delivers the pending updates and returns the rectangles painted since the last call.
    std::vector<QRect> take();
    // The whole widget as it paints now.
    QImage picture();
    // What a screen shows that held `before` and then had only `region` of the widget repainted.
    QImage repaintedOver(const QImage& before, const QRegion& region);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget_;
    bool drawing_ = false;
    std::vector<QRect> rects_;
};
