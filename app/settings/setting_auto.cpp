// The Auto Start/Stop page: its controls at the template's places, filled from the store when
// the page is built and written back by apply.
#include "setting_auto.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QTimeEdit>

#include <climits>

#include "settings/settings_store.h"
#include "up_down.h"

namespace schedule {

namespace {
const QString kMomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace

std::optional<QDateTime> parseMoment(const std::string& text)
{
    QDateTime moment = QDateTime::fromString(QString::fromStdString(text).trimmed(), kMomentFormat);
    if (!moment.isValid())
        return std::nullopt;
    return moment;
}

std::string momentText(const QDateTime& moment)
{
    return moment.toString(kMomentFormat).toStdString();
}

QDateTime nextFullHour(const QDateTime& now)
{
    QDateTime hour(now.date(), QTime(now.time().hour(), 0));
    return hour.addSecs(3600);
}

} // namespace schedule

TimeParts splitSeconds(int total)
{
    return {total / 3600, (total % 3600) / 60, total % 60};
}

int joinSeconds(long long hours, long long minutes, long long seconds)
{
    // Each part is at most nine digits, so the sum fits in 64 bits.
    long long total = hours * 3600 + minutes * 60 + seconds;
    if (total > INT_MAX)
        return INT_MAX;
    if (total < INT_MIN)
        return INT_MIN;
    return static_cast<int>(total);
}

CSettingAuto::CSettingAuto(SettingContext& context, const SettingPageInfo& info, QWidget* parent)
    : CSettingPage(context, info, parent)
{
    autoStart_ = addControl<QCheckBox>(AutoStart, dlu(12, 12, 180, 12));
    autoStart_->setText(QStringLiteral("Auto Start recording when the program starts"));
    autoStopTime_ = addControl<QCheckBox>(AutoStopTime, dlu(12, 33, 174, 12));
    autoStopTime_->setText(QStringLiteral("Auto Stop recording after (hh:mm:ss): "));

    hours_ = addTimeEdit(Hours, dlu(30, 48, 30, 12), HoursUpDown, 999);
    addControl<QLabel>(0, dlu(66, 48, 8, 12))->setText(QStringLiteral(":"));
    minutes_ = addTimeEdit(Minutes, dlu(78, 48, 30, 12), MinutesUpDown, 59);
    addControl<QLabel>(0, dlu(114, 48, 12, 12))->setText(QStringLiteral(":"));
    seconds_ = addTimeEdit(Seconds, dlu(126, 48, 30, 12), SecondsUpDown, 59);

    autoStopVox_ = addControl<QCheckBox>(AutoStopVox, dlu(12, 72, 156, 12));
    autoStopVox_->setText(QStringLiteral("Auto Stop recording after VOX Duration"));

    // The scheduled start (the window acts on it) and the exit after an automatic stop.
    autoStartDatetime_ = addControl<QCheckBox>(AutoStartDatetime, dlu(12, 96, 168, 12));
    autoStartDatetime_->setText(QStringLiteral("Auto Start recording at:"));
    startDate_ = addControl<QDateEdit>(StartDate, dlu(24, 114, 84, 15));
    startDate_->setCalendarPopup(true);
    startDate_->setAlignment(Qt::AlignRight);
    startDate_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    startTime_ = addControl<QTimeEdit>(StartTime, dlu(114, 114, 66, 15));
    startTime_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    autoExit_ = addControl<QCheckBox>(AutoExit, dlu(12, 138, 156, 10));
    autoExit_->setText(QStringLiteral("Exit the program after Auto Stop"));

    connect(autoStopTime_, &QCheckBox::clicked, this, [this](bool checked) {
        SetModified();
        enableTimeEdits(checked);
    });
    for (QCheckBox* box : {autoStopVox_, autoStart_, autoStartDatetime_, autoExit_})
        connect(box, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(startDate_, &QDateEdit::dateChanged, this, [this] { SetModified(); });
    connect(startTime_, &QTimeEdit::timeChanged, this, [this] { SetModified(); });

    fitTexts();
    fill();
}

QLineEdit* CSettingAuto::addTimeEdit(int id, const QRect& rect, int upDownId, int maximum)
{
    auto* edit = addControl<QLineEdit>(id, rect);
    edit->setAlignment(Qt::AlignCenter);
    edit->setMaxLength(kTimeDigits);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    auto* upDown = new CUpDown(Qt::Vertical, this);
    upDown->setObjectName(QString::number(upDownId));
    upDown->setBuddy(edit);
    upDown->alignRightOfBuddy(units().x(11));
    upDown->setRange(0, maximum);
    return edit;
}

void CSettingAuto::enableTimeEdits(bool enable)
{
    // The up-down controls stay enabled; with their edit disabled they cannot step it.
    for (QLineEdit* edit : {hours_, minutes_, seconds_})
        edit->setEnabled(enable);
}

void CSettingAuto::fill()
{
    for (int id : {HoursUpDown, MinutesUpDown, SecondsUpDown})
        control<CUpDown>(id)->setPosition(0);

    autoStopVox_->setChecked(store().readInt(settings::nAutoStopVOX) != 0);
    // This page reads the VOX switch with a default of 1.
    autoStopVox_->setEnabled(store().readInt(settings::nVOXONOFF.name, 1) != 0);

    int autoStopTime = store().readInt(settings::nAutoStopTime);
    autoStopTime_->setChecked(autoStopTime != 0);
    TimeParts parts = splitSeconds(store().readInt(settings::nAutoStopTimeVOX));
    hours_->setText(QString::number(parts.hours));
    minutes_->setText(QString::number(parts.minutes));
    seconds_->setText(QString::number(parts.seconds));
    enableTimeEdits(autoStopTime != 0);

    autoStart_->setChecked(store().readInt(settings::nAutoStart) != 0);
    loadedAutoStartDatetime_ = store().readInt(settings::nAutoStartDatetime);
    autoStartDatetime_->setChecked(loadedAutoStartDatetime_ != 0);
    loadedAutoExit_ = store().readInt(settings::nAutoExit);
    autoExit_->setChecked(loadedAutoExit_ != 0);
    std::optional<QDateTime> moment =
        schedule::parseMoment(store().readString(settings::sAutoStartAt));
    QDateTime shown = moment ? *moment : schedule::nextFullHour(QDateTime::currentDateTime());
    // Filling is no change by the user.
    QSignalBlocker quietDate(startDate_);
    QSignalBlocker quietTime(startTime_);
    startDate_->setDate(shown.date());
    startTime_->setTime(shown.time());
}

bool CSettingAuto::OnApply()
{
    store().writeInt(settings::nAutoStopVOX.name, autoStopVox_->isChecked() ? 1 : 0);
    // The VOX page writes its switch at once, so the box follows it after an Apply.
    autoStopVox_->setEnabled(store().readInt(settings::nVOXONOFF.name, 1) != 0);
    store().writeInt(settings::nAutoStopTime.name, autoStopTime_->isChecked() ? 1 : 0);
    // Saved whatever the state of the box: disabling the edits only stops the user editing them.
    store().writeInt(settings::nAutoStopTimeVOX.name,
                     joinSeconds(leadingInteger(hours_->text()), leadingInteger(minutes_->text()),
                                 leadingInteger(seconds_->text())));
    store().writeInt(settings::nAutoStart.name, autoStart_->isChecked() ? 1 : 0);
    // A box left as it was stores its value back unchanged.
    auto boxValue = [](QCheckBox* box, int loaded) {
        return box->isChecked() == (loaded != 0) ? loaded : box->isChecked() ? 1 : 0;
    };
    store().writeString(settings::sAutoStartAt.name,
                        schedule::momentText(QDateTime(startDate_->date(), startTime_->time())));
    loadedAutoStartDatetime_ = boxValue(autoStartDatetime_, loadedAutoStartDatetime_);
    loadedAutoExit_ = boxValue(autoExit_, loadedAutoExit_);
    store().writeInt(settings::nAutoStartDatetime.name, loadedAutoStartDatetime_);
    store().writeInt(settings::nAutoExit.name, loadedAutoExit_);
    return true;
}
