// CSkinTimeDisplay: "hh:mm:ss:cc" drawn from a strip of 12 glyphs (0-9, "*", ":") in one colour
// over the owner's panel.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

class SkinModule;

class CSkinTimeDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGlyphs = 12;

    CSkinTimeDisplay(QWidget* parent, int id);

    int id() const { return id_; }

    void SetBackground(const QImage& background);
    // The colour of the digits; set it before loading them.
    void SetDigitColor(int alpha, int red, int green, int blue);
    // Loads the glyph strip: black becomes transparent, every other pixel the digit colour.
    bool LoadDigits(const SkinModule& module, const QString& name);
    bool SetDigits(const QImage& strip);
    void SetPosition(int x, int y);
    // The time in hundredths of a second.
    void SetValue(int64_t hundredths);
    int64_t Value() const { return value_; }
    void SetTooltip(const SkinModule& module, int stringId, bool activate);
    // Replaces the tooltip's text with a skin string when the string is not empty.
    void ChangeTooltipText(const SkinModule& module, int stringId);
    void SetTooltipText(const QString& text, bool activate);

    // "%02d:%02d:%02d:%02d" of hours, minutes, seconds, hundredths.
    static QString TextFor(int64_t hundredths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int id_;
    QImage background_;
    QImage digits_;
    QRgb colour_ = qRgba(0, 255, 0, 255);
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
    int64_t value_ = 0;
    QString text_ = TextFor(0);
};
