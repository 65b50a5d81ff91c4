// The real program on a real X display (Xvfb): dravik is started on the virtual sound card, Record
// and Stop are clicked with X input events (xdotool), and the test checks the take on disk and a
// screenshot of the window against the face composed from the skin. Run under xvfb-run; skips
// when there is no X display or no xdotool.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "skin.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kX = 120;
constexpr int kY = 90;

QString xdotool()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdotool"));
}

// Runs xdotool with the arguments; its output.
QString runXdotool(const QStringList& args, int timeoutMs = 10000)
{
    QProcess p;
    p.start(xdotool(), args);
    p.waitForFinished(timeoutMs);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

void clickAt(int x, int y)
{
    runXdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    runXdotool({QStringLiteral("click"), QStringLiteral("1")});
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<fs::path> wavFilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code code;
    for (const auto& e : fs::directory_iterator(folder, code))
        if (e.path().extension() == ".wav")
            files.push_back(e.path());
    return files;
}

// The face the window must show: the panel image over the main image.
QImage composedFace()
{
    QImage panel = skinBitmap(QStringLiteral("DVKpanel1"));
    QImage main = skinBitmap(QStringLiteral("DVKmain1"));
    QImage face(256, 182, QImage::Format_ARGB32);
    face.fill(Qt::black);
    QPainter painter(&face);
    painter.drawImage(QPointF(0, 0), panel);
    painter.drawImage(QPointF(0, panel.height()), main);
    return face;
}

int colourDistance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

TEST(WindowOnXDisplay, RecordAndStopByMouseLeaveATakeAndTheWindowShowsItsFace)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || xdotool().isEmpty())
        GTEST_SKIP() << "needs an X display (xvfb-run) and xdotool";
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/dravik");
    ASSERT_TRUE(fs::exists(program.toStdString()));

    testsupport::TempDir home;
    const fs::path temp = home / "Temp";
    const fs::path save = home / "Save";
    fs::create_directories(temp);
    fs::create_directories(save);
    fs::create_directories(home / ".config/Brevon");
    {
        std::ofstream ini(home / ".config/Brevon/Dravik.ini");
        ini << "[1.0]\nTempFolder=" << temp.string() << "\nSaveFolder=" << save.string()
            << "\nXPos=" << kX << "\nYPos=" << kY << "\nbAlwaysOnTop=1\n";
    }

    QProcess dravik;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QString::fromStdString(home.path().string()));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"),
               QString::fromStdString((home / ".config").string()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(home.path().string()));
    env.insert(QStringLiteral("DRAVIK_AUDIO"), QStringLiteral("virtual:in=tone"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    dravik.setProcessEnvironment(env);
    dravik.setProcessChannelMode(QProcess::ForwardedChannels);
    dravik.start(program, {});
    ASSERT_TRUE(dravik.waitForStarted(5000));

    const QString id = runXdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                                   QStringLiteral("--name"), QStringLiteral("^Dravik 1.0$")},
                                  15000)
                           .section('\n', 0, 0);
    ASSERT_FALSE(id.isEmpty()) << "the window did not appear";
    // Let the first frames of the meters arrive.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));

    // The window is where the settings put it, its face on screen.
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    QImage shot =
        screen->grabWindow(0, kX, kY, 256, 182).toImage().convertToFormat(QImage::Format_ARGB32);
    shot.save(QString::fromStdString(
        (fs::path(QCoreApplication::applicationDirPath().toStdString()) / "window-e2e.png")
            .string()));
    const QImage face = composedFace();
    ASSERT_FALSE(face.isNull());
    // The border of the face, where no control lies, shows the face itself.
    int same = 0, total = 0;
    for (int y = 0; y < 182; ++y)
        for (int x = 0; x < 256; ++x) {
            bool border = x < 6 || x >= 250 || y < 6;
            if (!border)
                continue;
            ++total;
            same += colourDistance(shot.pixel(x, y), face.pixel(x, y)) <= 24;
        }
    EXPECT_GT(same, total * 9 / 10) << same << " of " << total << " border pixels match";

    // Passing over the disabled Stop, Play and Save buttons, and off them again, leaves their
    // dimmed faces: under the pointer and after it.
    auto buttonRowDiffers = [&](const QImage& now) {
        int differing = 0;
        for (int y = 125; y < 160; ++y)
            for (int x = 48; x < 168; ++x)
                differing += colourDistance(shot.pixel(x, y), now.pixel(x, y)) > 24;
        return differing;
    };
    for (int x : {48, 88, 128, 88, 48, 128}) {
        runXdotool({QStringLiteral("mousemove"), QString::number(kX + x + 14),
                    QString::number(kY + 125 + 10)});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const QImage hovering =
        screen->grabWindow(0, kX, kY, 256, 182).toImage().convertToFormat(QImage::Format_ARGB32);
    hovering.save(QCoreApplication::applicationDirPath() +
                  QStringLiteral("/window-e2e-hover-disabled.png"));
    EXPECT_LT(buttonRowDiffers(hovering), 10)
        << "a disabled button changed its face under the pointer";
    runXdotool({QStringLiteral("mousemove"), QString::number(kX + 400), QString::number(kY + 300)});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const QImage left =
        screen->grabWindow(0, kX, kY, 256, 182).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_LT(buttonRowDiffers(left), 10)
        << "a disabled button changed its face after the pointer left";

    // A second copy refuses to run: it shows its message (a second window under the caption)
    // and opens no window of its own.
    {
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(program, {});
        ASSERT_TRUE(second.waitForStarted(5000));
        const bool refused = waitFor(
            [&] {
                return runXdotool({QStringLiteral("search"), QStringLiteral("--name"),
                                   QStringLiteral("^Dravik 1.0$")})
                           .split('\n', Qt::SkipEmptyParts)
                           .size() == 2;
            },
            15000);
        EXPECT_TRUE(refused) << "no message from the second copy";
        EXPECT_EQ(second.state(), QProcess::Running);
        second.kill();
        second.waitForFinished(3000);
    }

    // Record, a moment of sound, Stop: the take waits in the temporary folder.
    clickAt(kX + 8 + 14, kY + 125 + 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Recording: the Record button shows its Pause face and the time runs.
    QImage recording =
        screen->grabWindow(0, kX, kY, 256, 182).toImage().convertToFormat(QImage::Format_ARGB32);
    recording.save(QCoreApplication::applicationDirPath() +
                   QStringLiteral("/window-e2e-recording.png"));
    int changed = 0;
    for (int y = 125; y < 160; ++y)
        for (int x = 8; x < 40; ++x)
            changed += colourDistance(shot.pixel(x, y), recording.pixel(x, y)) > 24;
    EXPECT_GT(changed, 20) << "the Record button did not change its face";
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    clickAt(kX + 48 + 14, kY + 125 + 10);
    ASSERT_TRUE(waitFor([&] { return !wavFilesIn(temp).empty(); }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    auto takes = wavFilesIn(temp);
    ASSERT_EQ(takes.size(), 1u);
    // About two seconds of 44.1 kHz 16-bit stereo.
    EXPECT_GT(fs::file_size(takes[0]), 176400u);
    EXPECT_TRUE(wavFilesIn(save).empty());

    // The window is still there and answers: Exit asks about the take, Return says Yes.
    clickAt(kX + 236 + 6, kY + 109 + 6);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    runXdotool({QStringLiteral("key"), QStringLiteral("Return")});
    if (!dravik.waitForFinished(5000)) {
        dravik.kill();
        dravik.waitForFinished(2000);
        ADD_FAILURE() << "the program did not end after Exit";
    }
    // The unsaved take stays in the temporary folder.
    EXPECT_TRUE(fs::exists(takes[0]));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
