// The progress window of a copy: a bar with the percentage copied and a Cancel button. It only
// shows progress and collects the user's Cancel; the copy itself runs elsewhere (save_as_transfer).
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace saveas {

// Percentage of a copy: copied / (length / 100) as whole numbers, defined for every length:
// 100 for an empty source, and never above 100 (the source may grow while it is copied).
int copyPercent(uint64_t copied, uint64_t length);

class CopyProgress : public QDialog {
    Q_OBJECT
public:
    // `title` is the window's title (skin string 93); `fileName` is shown above the bar.
    CopyProgress(const QString& title, const QString& fileName, QWidget* parent = nullptr);

    // Moves the bar; does nothing when the percentage is unchanged.
    void setPercent(int percent);
    int percent() const;
    bool cancelRequested() const { return cancelRequested_; }

    // Ends the window once the copy has stopped (accept when complete, reject otherwise).
    void finish(bool complete);

signals:
    // Cancel was pressed, or the window's close button or Esc. The window stays open until
    // finish(), so the user sees it while the copy winds down.
    void cancelled();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void requestCancel();

    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool cancelRequested_ = false;
    bool finishing_ = false;
};

} // namespace saveas
