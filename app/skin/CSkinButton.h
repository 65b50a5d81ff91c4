// CSkinButton: the skinned push button of the main window. Nine image slots (slot 0 fixes the size;
// 1-4 normal, pressed, hover, disabled of the first face; 5-8 the same of the second face), a
// state that picks the slot, hover tracking, a hand cursor and a tooltip from the skin library.
// A click posts WM_USER + id (code 0) to the parent, a right-button release code 5. Tab reaches
// it, a focus ring in the face's display green shows where the keyboard is, and Click() is what
// Enter on it does. A disabled button keeps its dimmed picture whatever the pointer does.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>

class SkinModule;

class CSkinButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlots = 9;
    // Button states of a two-face button.
    static constexpr int kFirstFace = 1;
    static constexpr int kFirstFaceDisabled = 4;
    static constexpr int kSecondFace = 5;
    static constexpr int kSecondFaceDisabled = 8;
    // Notification codes.
    static constexpr int kClicked = 0;
    static constexpr int kRightClicked = 5;

    CSkinButton(QWidget* parent, int id);

    int id() const { return id_; }

    // The owner's panel background (a shared copy; the owner hands a new one when it changes).
    void SetBackground(const QImage& background);
    // Loads the named skin bitmap into a slot; pure white becomes transparent, and slots 4 and 8
    // are drawn at alpha 100. A missing picture leaves the slot empty. True when loaded.
    bool LoadImage(int slot, const SkinModule& module, const QString& name);
    // The same with a picture in hand.
    bool SetImage(int slot, const QImage& image);
    // The cursor shown over the button (the main window passes "GUIHAND"); false when missing.
    bool LoadCursor(const SkinModule& module, const QString& name);
    // Moves the button to (x, y) of its parent with the size of slot 0.
    void SetPosition(int x, int y);
    // Tooltip from a skin string; an empty or missing string leaves the tooltip as it was.
    void SetTooltip(const SkinModule& module, int stringId, bool activate);
    void SetTooltipText(const QString& text, bool activate);
    // Shows slot n; states 4 and 8 (face base + 4) disable the button, any other enables it.
    void SetState(int n);
    int State() const { return state_; }
    // The click of an enabled button, as a press and release over it posts it (Enter, and the
    // accessibility bus's press action).
    void Click();
    // The tooltip text, also the button's accessible name.
    const QString& TooltipText() const { return tooltip_; }
    // Whether the focus ring is drawn (the focus came from the keyboard).
    bool FocusMarkShown() const { return focusMark_; }
    int FaceBase() const { return faceBase_; }
    void SetHoverTracking(bool on);

    // The keyed copy in a slot (for tests and the demo).
    const QImage& Image(int slot) const { return images_.at(slot); }

    // Rewrites every pixel whose red, green and blue are (r, g, b) to ARGB (a2, r2, g2, b2).
    static void ReplaceColor(QImage& image, int r, int g, int b, int a2, int r2, int g2, int b2);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool inside(QPointF point) const;
    void showState(int state);

    int id_;
    std::array<QImage, kSlots> images_;
    QImage background_;
    int x_ = 0;
    int y_ = 0;
    bool hoverTracking_ = false;
    int state_ = 1;
    int faceBase_ = 0;
    bool pressed_ = false;
    QString tooltip_;
    bool tooltipActive_ = false;
    bool focusMark_ = false;
};
