// CSkinTextDisplay: two lines of text in a chosen font and colour over the owner's panel (the main
// window's format label). The text "first|second" is split at "|".
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class CSkinTextDisplay : public QWidget {
    Q_OBJECT
public:
    CSkinTextDisplay(QWidget* parent, int id);

    int id() const { return id_; }

    void SetBackground(const QImage& background);
    void SetRect(int x, int y, int width, int height);
    void SetTextColor(int alpha, int red, int green, int blue);
    void SetFontName(const QString& family);
    void SetFontSize(int pixels);
    // First line: before the first "|"; second line: after the last "|". Without "|", the whole
    // text is the second line.
    void SetText(const QString& text);

    const QString& Text() const { return text_; }
    const QString& FirstLine() const { return first_; }
    const QString& SecondLine() const { return second_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int id_;
    QString family_ = QStringLiteral("Arial");
    int size_ = 12;
    QString text_;
    QString first_;
    QString second_;
    QImage background_;
    int x_ = 0;
    int y_ = 0;
    QColor colour_ = QColor(0, 0, 0, 255);
};
