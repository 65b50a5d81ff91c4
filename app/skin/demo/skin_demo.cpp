// dravik-skin-demo: the main window's face with every skinned control at its place, shown in a
// window or written to a PNG (dravik-skin-demo --png FILE [--state recording|playing|idle]
// [--hover ID] [--pressed ID]) so that the skin can be judged before the window exists.
#include "CSkinButton.h"
#include "CSkinLamp.h"
#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "CSkinTextDisplay.h"
#include "CSkinTimeDisplay.h"
#include "demo_face.h"
#include "skin.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

// The skinned controls of the settings pages on the page colour, at the pages' own positions: the
// VOX page's meters at (153, 30) and (153, 50) with the VOX slider at (142, 70) at level 0 and at
// level 35, and the Recording page's meters at (63, 140) and (63, 152).
QImage pagesPicture(const SkinModule& skin)
{
    QWidget page;
    page.resize(300, 170);
    QImage background(page.size() * qApp->devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    background.setDevicePixelRatio(qApp->devicePixelRatio());
    background.fill(page.palette().color(QPalette::Button));
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    page.setPalette(palette);
    page.setAutoFillBackground(true);
    auto meter = [&](int id, QPoint at, const char* image, int value) {
        auto* m = new CSkinMeter(&page, id);
        m->SetBackground(background);
        m->LoadImage(skin, QString::fromLatin1(image));
        m->SetPosition(at.x(), at.y());
        m->SetMaxValue(kLevelScale);
        m->SetValue(value);
    };
    meter(1227, {153, 30}, "VUMETER", 18000);
    meter(1030, {153, 50}, "VUMETER", 26000);
    auto slider = [&](QPoint at, int value) {
        auto* s = new CSkinSlider(&page, 1020);
        s->SetBackground(background);
        s->SetSkin(skin, CSkinSlider::kVoxStyle);
        s->SetPosition(at.x(), at.y());
        s->SetRange(0, 100);
        s->SetValue(value, false);
        s->UpdateThumbStyle();
    };
    slider({142, 70}, 35);
    slider({142, 95}, 0);
    meter(1227, {63, 140}, "HLEVELS", 9000);
    meter(1030, {63, 152}, "HLEVELS", 30000);
    return page.grab().toImage();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Shows the skin of Dravik's main window."));
    options.addHelpOption();
    const QCommandLineOption png(QStringLiteral("png"),
                                 QStringLiteral("Write the face to FILE and exit."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption state(QStringLiteral("state"),
                                   QStringLiteral("idle, recording or playing."),
                                   QStringLiteral("STATE"), QStringLiteral("recording"));
    const QCommandLineOption hover(QStringLiteral("hover"),
                                   QStringLiteral("Show the button of that id in its hover look."),
                                   QStringLiteral("ID"));
    const QCommandLineOption pressed(QStringLiteral("pressed"),
                                     QStringLiteral("Show the button of that id pressed."),
                                     QStringLiteral("ID"));
    const QCommandLineOption zoom(QStringLiteral("zoom"),
                                  QStringLiteral("Enlarge the PNG N times, pixel for pixel."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption pages(QStringLiteral("pages"),
                                   QStringLiteral("Write the settings pages' skinned controls (VOX "
                                                  "meters and slider, Recording page meters) to "
                                                  "FILE and exit."),
                                   QStringLiteral("FILE"));
    options.addOptions({png, state, hover, pressed, zoom, pages});
    options.process(app);

    std::string error;
    if (!loadSkin(&error)) {
        std::fprintf(stderr, "dravik-skin-demo: %s\n", error.c_str());
        return 1;
    }
    if (options.isSet(pages)) {
        QImage shot = pagesPicture(skinModule());
        const int times = std::max(1, options.value(zoom).toInt());
        if (times > 1)
            shot = shot.scaled(shot.size() * times, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        return shot.save(options.value(pages), "PNG") ? 0 : 1;
    }
    DemoFace face(skinModule());
    const QString look = options.value(state);
    auto button = [&](int id) -> CSkinButton* {
        for (CSkinButton* b : face.buttons)
            if (b->id() == id)
                return b;
        return nullptr;
    };
    if (look == QLatin1String("recording")) {
        button(1010)->SetState(5);
        button(1011)->SetState(1);
        button(1012)->SetState(4);
        button(1016)->SetState(8);
        face.left->SetValue(21000);
        // The right channel went over a third of a second ago: its held segment above the
        // falling bar, and its clip lamp.
        static int64_t demoNow = 0;
        CSkinMeter::UseClock([] { return demoNow; });
        face.right->StartTimer(25);
        face.right->SetValue(32768);
        for (int step = 0; step < 8; ++step) {
            demoNow += 40;
            face.right->SetValue(20000);
        }
        face.rightClip->SetLit(true);
        face.time->SetValue(366012);
        face.format->SetText(QStringLiteral("WAV|44100 Hz, 16-bit, stereo"));
        face.status = QStringLiteral("Recording...");
    } else if (look == QLatin1String("playing")) {
        button(1011)->SetState(5);
        button(1012)->SetState(5);
        button(115)->SetState(5);
        face.left->SetValue(12000);
        face.right->SetValue(9000);
        face.time->SetValue(12345);
        face.seek->SetValue(37, false);
        face.format->SetText(QStringLiteral("MP3|128 kbps, stereo"));
        face.status = QStringLiteral("Playing interview.mp3");
    }
    auto lookOf = [&](const QCommandLineOption& option, int offset) {
        if (!options.isSet(option))
            return;
        if (CSkinButton* b = button(options.value(option).toInt()))
            b->SetState(b->FaceBase() + offset);
    };
    lookOf(hover, 3);
    lookOf(pressed, 2);

    if (options.isSet(png)) {
        QImage shot = face.grab().toImage();
        const int times = std::max(1, options.value(zoom).toInt());
        if (times > 1)
            shot = shot.scaled(shot.size() * times, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!shot.save(options.value(png), "PNG")) {
            std::fprintf(stderr, "dravik-skin-demo: cannot write %s\n",
                         qPrintable(options.value(png)));
            return 1;
        }
        return 0;
    }
    // Shown live: the meters follow a slow made-up signal so that their decay can be watched.
    QTimer levels;
    int tick = 0;
    QObject::connect(&levels, &QTimer::timeout, [&] {
        ++tick;
        const double t = tick / 25.0;
        face.left->SetValue(
            static_cast<int>(32768 * std::fabs(std::sin(t * 1.3)) * (tick % 50 < 30 ? 1.0 : 0.2)));
        face.right->SetValue(static_cast<int>(32768 * std::fabs(std::sin(t * 1.7 + 1))));
        face.time->SetValue(tick * 4);
        face.seek->SetValue(tick / 10 % 101, false);
    });
    levels.start(40);
    face.show();
    return app.exec();
}
