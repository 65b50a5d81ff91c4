// Helpers of the skin tests: the application they need, a parent that records the window messages
// its controls post, and plain pictures to load into controls.
#pragma once

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <cstdint>
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
