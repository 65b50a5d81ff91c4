// skin-bench: what the skinned controls cost. Prints the time of one meter paint and one slider
// paint at 1x and 2x, then runs the demo face (offscreen) with both meters fed 25 levels a second
// for 10 s, and prints the CPU share of one core the process used and how often the meters painted.
// Usage: skin-bench [--seconds N]; run it once more with QT_SCALE_FACTOR=2 for the share at 2x.
#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "CSkinTimeDisplay.h"
#include "demo_face.h"
#include "skin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

namespace {

double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Microseconds per paint of a control rendered into an image of that device pixel ratio.
double paintCost(QWidget& control, qreal ratio, int rounds)
{
    QImage target(control.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(ratio);
    for (int i = 0; i < 50; ++i)
        control.render(&target);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i)
        control.render(&target);
    return clock.nsecsElapsed() / 1e3 / rounds;
}

// A meter that counts its paints.
class CountedMeter : public CSkinMeter {
public:
    using CSkinMeter::CSkinMeter;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        CSkinMeter::paintEvent(event);
    }
};

// Counts the paint events of every widget, by class.
class PaintCounter : public QObject {
public:
    std::map<QString, int> paints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[QString::fromLatin1(watched->metaObject()->className())];
        return false;
    }
};

void paintCosts(const SkinModule& skin)
{
    std::printf("%-34s %12s %12s\n", "paint of one control", "1x (us)", "2x (us)");
    double meter[2];
    double slider[2];
    for (int i = 0; i < 2; ++i) {
        const qreal ratio = i + 1;
        QWidget parent;
        const QImage face = composeFace(skin, ratio);
        CSkinMeter m(&parent, 1227);
        m.SetBackground(face);
        m.SetImage(skin.bitmap(QStringLiteral("VUMETER"), ratio));
        m.SetPosition(20, 20);
        m.SetMaxValue(kLevelScale);
        m.SetValue(20000);
        meter[i] = paintCost(m, ratio, 20000);
        CSkinSlider s(&parent, 119);
        s.SetBackground(face);
        s.SetSkinImages(skin.bitmap(QStringLiteral("Thumbchannel"), ratio),
                        skin.bitmap(QStringLiteral("Thumb"), ratio), CSkinSlider::kSeekStyle);
        s.SetPosition(13, 78);
        s.SetRange(0, 100);
        s.SetValue(40, false);
        slider[i] = paintCost(s, ratio, 20000);
    }
    std::printf("%-34s %12.2f %12.2f\n", "meter (VUMETER, 13 of 25 lit)", meter[0], meter[1]);
    std::printf("%-34s %12.2f %12.2f\n", "seek slider (Thumbchannel)", slider[0], slider[1]);
}

// Returns the CPU share in percent of one core.
double cpuShare(const SkinModule& skin, int seconds, bool silent)
{
    DemoFace face(skin);
    // Two meters of our own over the face's, so that their paints can be counted.
    CountedMeter* meters[2];
    for (int i = 0; i < 2; ++i) {
        meters[i] = new CountedMeter(&face, i ? 1030 : 1227);
        meters[i]->SetBackground(face.background());
        meters[i]->LoadImage(skin, QStringLiteral("VUMETER"));
        meters[i]->StartTimer(25);
        meters[i]->SetPosition(20, i ? 35 : 20);
        meters[i]->SetMaxValue(kLevelScale);
    }
    face.left->hide();
    face.right->hide();
    face.show();
    QApplication::processEvents();

    // Speech-like levels: a syllable envelope with pauses, 25 a second for each channel.
    int block = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        ++block;
        const double t = block / 25.0;
        const double syllable =
            silent ? 0.0 : std::fabs(std::sin(t * 7.0)) * (block % 75 < 55 ? 1.0 : 0.05);
        meters[0]->SetValue(static_cast<int>(30000 * syllable));
        meters[1]->SetValue(static_cast<int>(27000 * syllable * (0.8 + 0.2 * std::sin(t))));
        face.time->SetValue(block * 4);
    });
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    const double cpu0 = processSeconds();
    QElapsedTimer wall;
    wall.start();
    feed.start(40);
    QTimer::singleShot(seconds * 1000, qApp, &QApplication::quit);
    qApp->exec();
    const double cpu = processSeconds() - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    std::printf("\nface with two meters fed 25 %s levels/s for %.1f s at %.0fx (offscreen)\n",
                silent ? "silent" : "speech-like", elapsed, qApp->devicePixelRatio());
    std::printf("  levels fed per meter      %d\n", block);
    std::printf("  meter paints              %d and %d (%.1f/s each)\n", meters[0]->paints,
                meters[1]->paints, (meters[0]->paints + meters[1]->paints) / 2.0 / elapsed);
    for (const auto& [name, count] : counter.paints)
        std::printf("  paints of %-15s %d\n", qPrintable(name), count);
    std::printf("  CPU time                  %.3f s\n", cpu);
    std::printf("  CPU share of one core     %.2f %%\n", 100.0 * cpu / elapsed);
    return 100.0 * cpu / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int seconds = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--seconds")
            seconds = std::max(1, atoi(argv[i + 1]));
    std::string error;
    if (!loadSkin(&error)) {
        std::fprintf(stderr, "skin-bench: %s\n", error.c_str());
        return 1;
    }
    paintCosts(skinModule());
    const double speech = cpuShare(skinModule(), seconds, false);
    const double silent = cpuShare(skinModule(), seconds, true);
    // Silent levels leave the meters dark: what remains is the feeding and the time display.
    std::printf("\nthe two meters' own share (speech - silent)  %.2f %% of one core\n",
                speech - silent);
    return 0;
}
