// The copy's progress window.
#include "copy_progress.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace saveas {

int copyPercent(uint64_t copied, uint64_t length)
{
    if (length == 0 || copied >= length)
        return 100;
    // Whole hundredths of the length when there are any, so the figure matches the usual
    // copied / (length / 100); a shorter source is scaled directly instead of dividing by zero.
    uint64_t hundredth = length / 100;
    uint64_t percent = hundredth > 0 ? copied / hundredth : copied * 100 / length;
    return static_cast<int>(percent > 100 ? 100 : percent);
}

CopyProgress::CopyProgress(const QString& title, const QString& fileName, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    label_ = new QLabel(fileName, this);
    label_->setTextFormat(Qt::PlainText);
    label_->setMinimumWidth(260);
    label_->setMaximumWidth(420);
    label_->setWordWrap(true);

    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    connect(cancel_, &QPushButton::clicked, this, &CopyProgress::requestCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CopyProgress::setPercent(int percent)
{
    if (percent != bar_->value())
        bar_->setValue(percent);
}

int CopyProgress::percent() const
{
    return bar_->value();
}

void CopyProgress::finish(bool complete)
{
    finishing_ = true;
    if (complete)
        accept();
    else
        QDialog::reject();
}

void CopyProgress::reject()
{
    // Esc: the copy has to stop before the window may go.
    if (finishing_)
        QDialog::reject();
    else
        requestCancel();
}

void CopyProgress::closeEvent(QCloseEvent* event)
{
    if (finishing_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    requestCancel();
}

void CopyProgress::requestCancel()
{
    if (cancelRequested_)
        return;
    cancelRequested_ = true;
    cancel_->setEnabled(false);
    emit cancelled();
}

} // namespace saveas
