// The VOX page: VOX on or off, the VOX level on a skinned slider with an edit and arrows, the
// tolerance time, and live input meters while the page is shown. The switch and the level are
// written to the store as soon as they change; the tolerance waits for OK or Apply.
#pragma once

#include <QImage>
#include <QStringList>

#include <span>

#include "setting_page.h"

class CSkinMeter;
class CSkinSlider;
class CUpDown;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The tolerance list's 46 entries, in order.
std::span<const char* const> toleranceEntries();
// The recorder's VOX hold for a tolerance text: its decimal value divided by 0.05 in double
// precision, truncated toward zero ("0.6" gives 11).
int toleranceTicks(const QString& text);
// The entry the list's select-string search finds for a text, searching from the second entry
// and wrapping round to the first: the first whose text begins with it, ignoring case; -1 for
// none.
int selectToleranceIndex(const QStringList& entries, const QString& text);

// The pre-roll list: its entries' texts (seconds) and their values in milliseconds.
struct PreRollEntry {
    const char* text;
    int ms;
};
std::span<const PreRollEntry> preRollEntries();
// The entry of a stored nVOXPreRoll (clamped to 0..2000 first); -1 when none has that value.
int preRollIndex(int storedMs);

class CSettingVOX : public CSettingPage {
public:
    enum Id {
        LeftLabel = 1314,
        RightLabel = 1313,
        LevelLabel = 1311,
        LevelEdit = 1286,
        LevelUpDown = 1287,
        DurationLabel = 1136,
        Tolerance = 1135,
        PreRollLabel = 1137,
        PreRoll = 1138,
        On = 1318,
        Off = 1319,
        LeftMeter = 1227,
        RightMeter = 1030,
        Slider = 1020,
    };

    CSettingVOX(SettingContext& context, const SettingPageInfo& info, QWidget* parent);
    ~CSettingVOX() override;

    void OnSetActive() override;
    void OnKillActive() override;
    bool OnApply() override;
    void OnOK() override;
    void OnCancel() override;

    int level() const { return level_; }
    CSkinMeter* leftMeter() const { return leftMeter_; }
    CSkinMeter* rightMeter() const { return rightMeter_; }
    CSkinSlider* slider() const { return slider_; }
    // The window the recorder posts the levels to while the page listens.
    QObject* levelListener() const { return relay_; }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildBackground();
    void switchVox(int on);
    void setLevel(int level);
    bool onDeltaPos(int position, int delta);
    void listen(bool on);

    CSkinMeter* leftMeter_ = nullptr;
    CSkinMeter* rightMeter_ = nullptr;
    CSkinSlider* slider_ = nullptr;
    QLineEdit* levelEdit_ = nullptr;
    CUpDown* upDown_ = nullptr;
    QComboBox* tolerance_ = nullptr;
    QComboBox* preRoll_ = nullptr;
    QObject* relay_ = nullptr;
    int level_ = 0;
    bool listening_ = false;
};
