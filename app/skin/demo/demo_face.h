// The main window's face as the skin draws it: the panel and main images with the title images
// keyed, and every skinned control at the window's own position. Used by dravik-skin-demo and the
// benchmark to look at and measure the skin before the window uses it.
#pragma once

#include <QImage>
#include <QWidget>

#include <vector>

class CSkinButton;
class CSkinLamp;
class CSkinMeter;
class CSkinSlider;
class CSkinTextDisplay;
class CSkinTimeDisplay;
class SkinModule;

class DemoFace : public QWidget {
    Q_OBJECT
public:
    explicit DemoFace(const SkinModule& skin, QWidget* parent = nullptr);

    // The composed face the controls draw over.
    const QImage& background() const { return background_; }

    CSkinMeter* left = nullptr;
    CSkinMeter* right = nullptr;
    CSkinLamp* leftClip = nullptr;
    CSkinLamp* rightClip = nullptr;
    CSkinTimeDisplay* time = nullptr;
    CSkinTextDisplay* format = nullptr;
    CSkinSlider* seek = nullptr;
    std::vector<CSkinButton*> buttons;
    QString status = QStringLiteral("Ready");

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage background_;
};

// Composes the face: "DVKpanel1" over "DVKmain1", "TitleBrevon" at (39, 105) and "TitleDV" at
// (75, 106) with pure white transparent. Null when the panel or main image is missing.
QImage composeFace(const SkinModule& skin, qreal devicePixelRatio = 0);
