// The Auto Start/Stop page: automatic start at program start, the automatic stop after a time
// limit (shown as hours, minutes and seconds) and after VOX silence, and two settings whose
// controls are hidden and which the page only stores back as it loaded them.
#pragma once

#include "setting_page.h"

class QCheckBox;
class QLineEdit;
class CUpDown;

// The hh:mm:ss parts of a limit in seconds, with integer arithmetic.
struct TimeParts {
    long long hours;
    long long minutes;
    long long seconds;
};
TimeParts splitSeconds(int total);
// hours × 3600 + minutes × 60 + seconds, not checked against the up-down ranges; a sum beyond
// an int is clamped to the largest int rather than wrapping round.
int joinSeconds(long long hours, long long minutes, long long seconds);

class CSettingAuto : public CSettingPage {
public:
    enum Id {
        AutoStart = 1263,
        AutoStopTime = 1149,
        Hours = 1268,
        HoursUpDown = 1288,
        Minutes = 1197,
        MinutesUpDown = 1289,
        Seconds = 1272,
        SecondsUpDown = 1290,
        AutoStopVox = 1150,
        AutoStartDatetime = 1262,
        StartDate = 1265,
        StartTime = 1266,
        AutoExit = 1274,
    };
    // Longest text a time edit takes.
    static constexpr int kTimeDigits = 9;

    CSettingAuto(SettingContext& context, const SettingPageInfo& info, QWidget* parent);

    bool OnApply() override;

private:
    void fill();
    QLineEdit* addTimeEdit(int id, const QRect& rect, int upDownId, int maximum);
    void enableTimeEdits(bool enable);

    QCheckBox* autoStart_;
    QCheckBox* autoStopTime_;
    QCheckBox* autoStopVox_;
    QCheckBox* autoStartDatetime_;
    QCheckBox* autoExit_;
    QLineEdit* hours_;
    QLineEdit* minutes_;
    QLineEdit* seconds_;
    // The hidden boxes' values as loaded: the user cannot reach them, so they go back as they came.
    int loadedAutoStartDatetime_ = 0;
    int loadedAutoExit_ = 0;
};
