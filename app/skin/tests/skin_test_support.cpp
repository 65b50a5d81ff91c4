// Test helpers for the skinned controls.
#include "skin_test_support.h"

#include "window_messages.h"

#include <QCoreApplication>
#include <QPaintEvent>

#include <utility>

QApplication& testApp()
{
    static int argc = 1;
    static char name[] = "dravik_skin_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

MessageLog::MessageLog()
{
    resize(300, 200);
}

const std::vector<Posted>& MessageLog::messages()
{
    QCoreApplication::sendPostedEvents(this, WindowMessage::eventType());
    return received_;
}

std::vector<uintptr_t> MessageLog::codes(uint32_t message)
{
    std::vector<uintptr_t> out;
    for (const Posted& p : messages())
        if (p.message == message)
            out.push_back(p.wParam);
    return out;
}

bool MessageLog::event(QEvent* event)
{
    if (event->type() == WindowMessage::eventType()) {
        const auto* m = static_cast<WindowMessage*>(event);
        received_.push_back({m->message, m->wParam});
        return true;
    }
    return QWidget::event(event);
}

QImage solid(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QRgb stripeColour(int x)
{
    return qRgb(x % 256, 40, 200 - x % 100);
}

QImage stripes(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, stripeColour(x));
    return image;
}

QRgb pixelOf(QWidget* widget, int x, int y)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32).pixel(x, y);
}

PaintRecorder::PaintRecorder(QWidget* widget) : widget_(widget)
{
    widget_->installEventFilter(this);
}

PaintRecorder::~PaintRecorder()
{
    widget_->removeEventFilter(this);
}

std::vector<QRect> PaintRecorder::take()
{
    QCoreApplication::processEvents();
    return std::exchange(rects_, {});
}

bool PaintRecorder::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::Paint && !drawing_)
        for (const QRect& rect : static_cast<QPaintEvent*>(event)->region())
            rects_.push_back(rect);
    return false;
}

QImage PaintRecorder::picture()
{
    QImage image(widget_->size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    return repaintedOver(image, QRegion(image.rect()));
}

QImage PaintRecorder::repaintedOver(const QImage& before, const QRegion& region)
{
    QImage image = before.copy();
    drawing_ = true;
    // render() puts the top left of the region at the offset.
    widget_->render(&image, region.boundingRect().topLeft(), region);
    drawing_ = false;
    return image;
}

std::string firstDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return "sizes differ";
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            if (x.pixel(col, row) != y.pixel(col, row))
                return QString::asprintf("(%d, %d): %08x against %08x", col, row, x.pixel(col, row),
                                         y.pixel(col, row))
                    .toStdString();
    return "same";
}
