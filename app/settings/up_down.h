// An up-down control: two arrow buttons beside a buddy edit that step a position within a range
// and show it in the edit as a plain number. The arrow keys in the edit step it as well.
#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

class CUpDown : public QWidget {
public:
    // Vertical: up and down arrows stacked; horizontal: left and right arrows side by side.
    CUpDown(Qt::Orientation orientation, QWidget* parent);

    // The edit that shows the position; it takes the position from its text before each step.
    void setBuddy(QLineEdit* buddy);
    // Puts the control at the buddy's right edge, at the buddy's height, and narrows the buddy
    // by the control's width.
    void alignRightOfBuddy(int width);
    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Stores the position (clamped to the range) and shows it in the buddy.
    void setPosition(int position);
    int position() const { return position_; }

    // Steps by delta (+1 up or right, -1 down or left) as an arrow click does: the owner is told
    // the position and the step first and may refuse it; otherwise the position moves within
    // the range.
    void step(int delta);
    std::function<bool(int position, int delta)> onDeltaPos;

    QToolButton* increaseButton() const { return increase_; }
    QToolButton* decreaseButton() const { return decrease_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void syncFromBuddy();

    Qt::Orientation orientation_;
    QLineEdit* buddy_ = nullptr;
    QToolButton* increase_;
    QToolButton* decrease_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

// The leading decimal integer of a text, as the C library reads one: leading blanks and a sign
// allowed, conversion stops at the first other character, no digits give 0. Values beyond the
// range of an int are clamped to it.
long long leadingInteger(const QString& text);
