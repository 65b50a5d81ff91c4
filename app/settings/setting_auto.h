// The Auto Start/Stop page: automatic start at program start, the automatic stop after a time
// limit (shown as hours, minutes and seconds) and after VOX silence, a start at a chosen date and
// time, and the exit of the program after an automatic stop.
#pragma once

#include <QDateTime>

#include <optional>
#include <string>

#include "setting_page.h"

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QTimeEdit;
class CUpDown;

// The moment of a scheduled start as stored in sAutoStartAt: local time "YYYY-MM-DD HH:MM:SS".
namespace schedule {
std::optional<QDateTime> parseMoment(const std::string& text);
std::string momentText(const QDateTime& moment);
// The next full hour after now (what the pickers show when no moment is stored).
QDateTime nextFullHour(const QDateTime& now);
} // namespace schedule

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
    QDateEdit* startDate_;
    QTimeEdit* startTime_;
    QLineEdit* hours_;
    QLineEdit* minutes_;
    QLineEdit* seconds_;
    // The boxes' values as loaded: an unchanged box stores its value back as it came.
    int loadedAutoStartDatetime_ = 0;
    int loadedAutoExit_ = 0;
};
