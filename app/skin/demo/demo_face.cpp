// The demonstration face: the main window's layout of skinned controls over the composed face.
#include "demo_face.h"

#include "CSkinButton.h"
#include "CSkinLamp.h"
#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "CSkinTextDisplay.h"
#include "CSkinTimeDisplay.h"
#include "skin.h"
#include "skin_common.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>

QImage composeFace(const SkinModule& skin, qreal devicePixelRatio)
{
    const QImage panel = skin.bitmap(QStringLiteral("DVKpanel1"), devicePixelRatio);
    const QImage main = skin.bitmap(QStringLiteral("DVKmain1"), devicePixelRatio);
    if (panel.isNull() || main.isNull())
        return {};
    const qreal ratio = panel.devicePixelRatio();
    const QSize p = skin::logicalSize(panel);
    const QSize m = skin::logicalSize(main);
    QImage face(qRound(m.width() * ratio), qRound((p.height() + m.height()) * ratio),
                QImage::Format_ARGB32_Premultiplied);
    face.setDevicePixelRatio(ratio);
    face.fill(Qt::black);
    QPainter painter(&face);
    painter.drawImage(QPointF(0, 0), panel);
    painter.drawImage(QPointF(0, p.height()), main);
    const struct {
        const char* name;
        QPointF at;
    } titles[] = {{"TitleBrevon", {39, 105}}, {"TitleDV", {75, 106}}};
    for (const auto& title : titles) {
        QImage image = skin.bitmap(QString::fromLatin1(title.name), devicePixelRatio);
        CSkinButton::ReplaceColor(image, 255, 255, 255, 0, 0, 0, 0);
        painter.drawImage(title.at, image);
    }
    return face;
}

namespace {

struct ButtonRow {
    int id;
    QPoint at;
    const char* first[3];
    const char* second[3];
    int tooltip;
    int state;
};

// The main window's buttons: id, place, images of both faces, tooltip string, first state.
const ButtonRow kButtons[] = {
    {1010,
     {8, 125},
     {"RecM-out", "RecM-down", "RecM-over"},
     {"RecPauseM-out", "RecPauseM-down", "RecPauseM-over"},
     7,
     1},
    {1011,
     {48, 125},
     {"RecStopM-out", "RecStopM-down", "RecStopM-over"},
     {"PlayStopM-out", "PlayStopM-down", "PlayStopM-over"},
     8,
     8},
    {1012,
     {88, 125},
     {"PlayM-out", "PlayM-down", "PlayM-over"},
     {"PlayPauseM-out", "PlayPauseM-down", "PlayPauseM-over"},
     9,
     4},
    {1016,
     {128, 125},
     {"SaveM-out", "SaveM-down", "SaveM-over"},
     {"CUTSAVEM-OUT", "CUTSAVEM-DOWN", "CUTSAVEM-OVER"},
     20,
     4},
    {115,
     {168, 125},
     {"OpenM-out", "OpenM-down", "OpenM-over"},
     {"CloseM-out", "CloseM-down", "CloseM-over"},
     19,
     1},
    {114, {8, 104}, {"MenuM-out", "MenuM-down", "MenuM-over"}, {}, 13, 1},
    {118, {208, 125}, {"HelpM-out", "HelpM-down", "HelpM-over"}, {}, 60, 1},
    {121, {208, 140}, {"PanelM-out", "PanelM-down", "PanelM-over"}, {}, 24, 1},
    {104, {208, 150}, {"SettingM-out", "SettingM-down", "SettingM-over"}, {}, 77, 1},
    {116, {222, 109}, {"MinimiseM-out", "MinimiseM-down", "MinimiseM-over"}, {}, 3, 1},
    {113, {236, 109}, {"ExitM-out", "ExitM-down", "ExitM-over"}, {}, 4, 1},
};

} // namespace

DemoFace::DemoFace(const SkinModule& skin, QWidget* parent) : QWidget(parent)
{
    background_ = composeFace(skin);
    const QSize size = skin::logicalSize(background_);
    setFixedSize(size.isEmpty() ? QSize(256, 182) : size);
    setWindowTitle(QStringLiteral("%1 %2").arg(skin.string(1), skin.string(2)));

    auto meter = [&](int id, int y, int tip) {
        auto* m = new CSkinMeter(this, id);
        m->SetBackground(background_);
        m->LoadImage(skin, QStringLiteral("VUMETER"));
        m->StartTimer(25);
        m->SetPosition(20, y);
        m->SetMaxValue(kLevelScale);
        m->SetValue(0);
        m->SetTooltip(skin, tip, true);
        return m;
    };
    left = meter(1227, 20, 5);
    right = meter(1030, 35, 6);
    auto lamp = [&](int id, int y) {
        auto* l = new CSkinLamp(this, id);
        l->SetBackground(background_);
        l->LoadImage(skin, QStringLiteral("CLIPLAMP"));
        l->SetPosition(147, y);
        return l;
    };
    leftClip = lamp(1228, 20);
    rightClip = lamp(1031, 35);

    time = new CSkinTimeDisplay(this, 120);
    time->SetBackground(background_);
    time->SetDigitColor(255, 0, 255, 0);
    time->LoadDigits(skin, QStringLiteral("DISPLAY0"));
    time->SetPosition(160, 27);
    time->SetTooltip(skin, 15, true);
    time->SetValue(0);

    format = new CSkinTextDisplay(this, 106);
    format->SetBackground(background_);
    format->SetRect(20, 52, 220, 24);
    format->SetTextColor(200, 255, 255, 0);
    format->SetFontName(QStringLiteral("Arial"));
    format->SetFontSize(10);
    format->SetText(QStringLiteral("WAV|44100 Hz, 16-bit, stereo"));

    seek = new CSkinSlider(this, 119);
    seek->SetBackground(background_);
    seek->SetSkin(skin, CSkinSlider::kSeekStyle);
    seek->SetPosition(13, 78);
    seek->SetRange(0, 100);
    seek->SetValue(0, false);

    for (const ButtonRow& row : kButtons) {
        auto* button = new CSkinButton(this, row.id);
        button->SetBackground(background_);
        for (int i = 0; i < 3; ++i) {
            button->LoadImage(1 + i, skin, QString::fromLatin1(row.first[i]));
            if (row.second[0])
                button->LoadImage(5 + i, skin, QString::fromLatin1(row.second[i]));
        }
        button->LoadImage(0, skin, QString::fromLatin1(row.first[0]));
        button->LoadImage(4, skin, QString::fromLatin1(row.first[0]));
        if (row.second[0])
            button->LoadImage(8, skin,
                              QString::fromLatin1(row.id == 1010 ? row.second[1] : row.second[0]));
        button->LoadCursor(skin, QStringLiteral("GUIHAND"));
        button->SetPosition(row.at.x(), row.at.y());
        button->SetTooltip(skin, row.tooltip, true);
        button->SetState(row.state);
        button->SetHoverTracking(true);
        buttons.push_back(button);
    }
    if (auto cursor = skin.cursor(QStringLiteral("CURSOR1")))
        setCursor(*cursor);
}

void DemoFace::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), background_);
    // The status line as the window writes it.
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 255));
    const int h = skin::logicalSize(background_).height();
    painter.drawText(QRect(7, h - 15, 240, 14), Qt::AlignLeft | Qt::AlignTop, status);
}
