// CSkinLamp: a two-state lamp over its owner's panel, such as the clip lamp beside each meter.
// Its picture holds two rows, unlit over lit, keyed as the meter's (black transparent, mid grey
// at alpha 200). Only a change of state repaints it.
#pragma once

#include <QImage>
#include <QWidget>

class SkinModule;

class CSkinLamp : public QWidget {
    Q_OBJECT
public:
    CSkinLamp(QWidget* parent, int id);

    int id() const { return id_; }
    void SetBackground(const QImage& background);
    bool LoadImage(const SkinModule& module, const QString& name);
    bool SetImage(const QImage& image);
    void SetPosition(int x, int y);
    void SetLit(bool lit);
    bool Lit() const { return lit_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int id_;
    bool lit_ = false;
    QImage background_;
    QImage copy_;
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
};
