// The up-down control and the leading-integer conversion of the edits it steps.
#include "up_down.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>
#include <climits>

CUpDown::CUpDown(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation), increase_(new QToolButton(this)),
      decrease_(new QToolButton(this))
{
    bool vertical = orientation == Qt::Vertical;
    increase_->setArrowType(vertical ? Qt::UpArrow : Qt::RightArrow);
    decrease_->setArrowType(vertical ? Qt::DownArrow : Qt::LeftArrow);
    for (QToolButton* button : {increase_, decrease_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(increase_, &QToolButton::clicked, this, [this] { step(1); });
    connect(decrease_, &QToolButton::clicked, this, [this] { step(-1); });
}

void CUpDown::setBuddy(QLineEdit* buddy)
{
    buddy_ = buddy;
    buddy_->installEventFilter(this);
}

void CUpDown::alignRightOfBuddy(int width)
{
    if (!buddy_)
        return;
    QRect edit = buddy_->geometry();
    edit.setWidth(std::max(1, edit.width() - width));
    buddy_->setGeometry(edit);
    setGeometry(edit.right() + 1, edit.top(), width, edit.height());
}

void CUpDown::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
}

void CUpDown::setPosition(int position)
{
    position_ = std::clamp(position, minimum_, maximum_);
    if (buddy_)
        buddy_->setText(QString::number(position_));
}

void CUpDown::syncFromBuddy()
{
    // What the user typed counts as the position, within the range.
    if (!buddy_)
        return;
    QString text = buddy_->text().trimmed();
    if (!text.isEmpty())
        position_ =
            static_cast<int>(std::clamp<long long>(leadingInteger(text), minimum_, maximum_));
}

void CUpDown::step(int delta)
{
    // A disabled edit is not to be changed, by typing or by its arrows.
    if (!isEnabled() || (buddy_ && !buddy_->isEnabled()))
        return;
    syncFromBuddy();
    if (onDeltaPos && !onDeltaPos(position_, delta))
        return;
    setPosition(position_ + delta);
}

bool CUpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == buddy_ && event->type() == QEvent::KeyPress && buddy_->isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up) {
            step(1);
            return true;
        }
        if (key->key() == Qt::Key_Down) {
            step(-1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CUpDown::resizeEvent(QResizeEvent*)
{
    if (orientation_ == Qt::Vertical) {
        int half = height() / 2;
        increase_->setGeometry(0, 0, width(), half);
        decrease_->setGeometry(0, half, width(), height() - half);
    } else {
        int half = width() / 2;
        decrease_->setGeometry(0, 0, half, height());
        increase_->setGeometry(half, 0, width() - half, height());
    }
}

long long leadingInteger(const QString& text)
{
    int i = 0;
    int n = static_cast<int>(text.size());
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r' ||
                     text[i] == u'\v' || text[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return negative ? -value : value;
}
