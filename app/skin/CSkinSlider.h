// CSkinSlider: a horizontal skinned slider of a channel picture and a thumb picture with a 64-bit
// range. Style 1 is the seek slider ("Thumbchannel", "Thumb"), style 2 the VOX level slider
// ("VOXCHANNEL", "VOXTHUMB"), whose thumb is recoloured by thumb style. Posts WM_USER + id with
// code 0 (value set with notify), 2 (thumb taken) and 3 (thumb released) to its parent.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <optional>

class SkinModule;

class CSkinSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSeekStyle = 1;
    static constexpr int kVoxStyle = 2;
    // Notification codes.
    static constexpr int kMoved = 0;
    static constexpr int kThumbTaken = 2;
    static constexpr int kThumbReleased = 3;

    CSkinSlider(QWidget* parent, int id);

    int id() const { return id_; }

    void SetBackground(const QImage& background);
    // Loads the channel and thumb of the style from the skin library (and its "FINGER" cursor).
    bool SetSkin(const SkinModule& module, int style);
    // The same with pictures in hand (no cursor).
    bool SetSkinImages(const QImage& channel, const QImage& thumb, int style);
    // Moves the slider to (x, y) of its parent with the channel's size.
    void SetPosition(int x, int y);
    void SetRange(int64_t minimum, int64_t maximum);
    // Clamps the value into the range, shows it, and posts code 0 when notify is true.
    void SetValue(int64_t value, bool notify);
    int64_t GetValue() const { return value_; }
    int64_t Minimum() const { return minimum_; }
    int64_t Maximum() const { return maximum_; }
    // Tooltip "name : value" with the name from a skin string.
    void SetTooltipName(const SkinModule& module, int stringId, bool activate);
    void SetTooltipName(const QString& name, bool activate);
    // Thumb styles of the VOX slider: 0 opaque red, 1 and 2 translucent dark red with the blue
    // pixels see-through. The seek slider's thumb looks the same in every style.
    void SetThumbStyle(int style);
    int ThumbStyle() const { return thumbStyle_; }
    // Style 0 at value 0; otherwise 1 unless the slider has the focus.
    void UpdateThumbStyle();

    // Left edge of the thumb in the channel for the current value.
    int ThumbLeft() const;
    // The value the thumb takes when dragged to x (before the VOX style's offset).
    int64_t ValueAtX(int x) const;

    // The geometry as plain arithmetic: channel width, thumb width, range. A channel no wider
    // than its thumb or an empty range puts the thumb at the left edge and every x at minimum.
    static int ThumbLeftFor(int64_t value, int64_t minimum, int64_t maximum, int channelWidth,
                            int thumbWidth);
    static int64_t ValueAtXFor(int x, int64_t minimum, int64_t maximum, int channelWidth,
                               int thumbWidth);
    // The thumb as drawn in a style (black transparent; VOX recolouring).
    static QImage StyledThumb(const QImage& thumb, int sliderStyle, int thumbStyle);

    const QImage& ChannelCopy() const { return channelCopy_; }
    const QImage& ThumbCopy() const { return thumbCopy_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool overThumb(QPointF point) const;
    void refreshTooltip();
    int channelWidth() const;
    int thumbWidth() const;
    int thumbHeight() const;

    int id_;
    bool focus_ = false;
    int64_t value_ = 0;
    int64_t maximum_ = 0;
    int64_t minimum_ = 0;
    int style_ = 0;
    int thumbStyle_ = 1;
    QImage channel_;
    QImage thumb_;
    QImage channelCopy_;
    QImage thumbCopy_;
    QImage background_;
    std::optional<QCursor> finger_;
    QString name_;
    bool tooltipActive_ = false;
    bool dragging_ = false;
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
};
