// The VOX page: its template controls moved to their pixel places, the skinned meters and slider
// over the page's own background, and the handlers that feed the recorder the level and the
// tolerance while the page is open.
#include "setting_vox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <charconv>

#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "recorder.h"
#include "settings/settings_store.h"
#include "skin.h"
#include "up_down.h"

namespace {

// clang-format off
const char* const kToleranceEntries[] = {
    "0.2", "0.4", "0.6", "0.8", "1.0", "1.2", "1.4", "1.6", "1.8", "2.0",
    "2.2", "2.4", "2.6", "2.8", "3.0", "3.2", "3.4", "3.6", "3.8",
    "4", "5", "6", "7", "8", "9", "10",
    "11", "12", "13", "14", "15", "16", "17", "18", "19", "20",
    "21", "22", "23", "24", "25", "26", "27", "28", "29", "30",
};
// clang-format on

// The longest tolerance text the page writes.
constexpr int kToleranceChars = 9;
// Skin strings of the meters' and the slider's tooltips.
constexpr int kLeftMeterTip = 5;
constexpr int kRightMeterTip = 6;
constexpr int kSliderTip = 14;

// The recorder's capture thread posts the levels here, never to the page itself: a post may be
// under way at the very moment the page stops listening, so the relay outlives the page until
// the event loop deletes it, and forwards only while the page exists.
class LevelRelay : public QObject {
public:
    explicit LevelRelay(QObject* page) : page_(page) {}

    bool event(QEvent* event) override
    {
        if (event->type() != WindowMessage::eventType())
            return QObject::event(event);
        return page_ && QCoreApplication::sendEvent(page_, event);
    }

private:
    QPointer<QObject> page_;
};

} // namespace

std::span<const char* const> toleranceEntries()
{
    return kToleranceEntries;
}

int toleranceTicks(const QString& text)
{
    // The C library's reading of a leading decimal number, without the user's locale.
    std::string bytes = text.trimmed().toStdString();
    double seconds = 0;
    std::from_chars(bytes.data(), bytes.data() + bytes.size(), seconds);
    return static_cast<int>(seconds / 0.05);
}

std::span<const PreRollEntry> preRollEntries()
{
    static constexpr PreRollEntry kEntries[] = {{"0", 0},      {"0.1", 100}, {"0.2", 200},
                                                {"0.3", 300},  {"0.5", 500}, {"1.0", 1000},
                                                {"1.5", 1500}, {"2.0", 2000}};
    return kEntries;
}

int preRollIndex(int storedMs)
{
    int ms = std::clamp(storedMs, 0, CRecorder::kLongestPreRollMs);
    std::span<const PreRollEntry> entries = preRollEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].ms == ms)
            return static_cast<int>(i);
    }
    return -1;
}

int selectToleranceIndex(const QStringList& entries, const QString& text)
{
    int count = static_cast<int>(entries.size());
    for (int step = 1; step <= count; ++step) {
        int index = step % count;
        if (entries[index].startsWith(text, Qt::CaseInsensitive))
            return index;
    }
    return -1;
}

CSettingVOX::CSettingVOX(SettingContext& context, const SettingPageInfo& info, QWidget* parent)
    : CSettingPage(context, info, parent), relay_(new LevelRelay(this))
{
    buildBackground();

    auto* leftLabel = addControl<QLabel>(LeftLabel, QRect(30, 30, 110, 20));
    leftLabel->setText(QStringLiteral("Input VU Meter (Left)"));
    auto* rightLabel = addControl<QLabel>(RightLabel, QRect(30, 50, 110, 20));
    rightLabel->setText(QStringLiteral("Input VU Meter (Right)"));

    auto makeMeter = [this](int id, int x, int y, int tip) {
        auto* meter = new CSkinMeter(this, id);
        meter->setObjectName(QString::number(id));
        meter->SetBackground(panelBackground());
        meter->LoadImage(skinModule(), QStringLiteral("VUMETER"));
        meter->StartTimer(25);
        meter->SetPosition(x, y);
        meter->SetMaxValue(kLevelScale);
        meter->SetValue(0);
        meter->SetTooltip(skinModule(), tip, true);
        meter->show();
        return meter;
    };
    leftMeter_ = makeMeter(LeftMeter, 153, 30, kLeftMeterTip);
    rightMeter_ = makeMeter(RightMeter, 153, 50, kRightMeterTip);

    level_ = store().readInt(settings::voxlevel);

    levelEdit_ = addControl<QLineEdit>(LevelEdit, QRect(150, 100, 90, 20));
    levelEdit_->setReadOnly(true);
    levelEdit_->setAlignment(Qt::AlignCenter);
    levelEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), levelEdit_));
    upDown_ = new CUpDown(Qt::Horizontal, this);
    upDown_->setObjectName(QString::number(LevelUpDown));
    upDown_->setBuddy(levelEdit_);
    upDown_->setRange(0, 100);
    upDown_->setPosition(level_);
    upDown_->setGeometry(239, 100, 45, 20);
    upDown_->onDeltaPos = [this](int position, int delta) { return onDeltaPos(position, delta); };

    slider_ = new CSkinSlider(this, Slider);
    slider_->setObjectName(QString::number(Slider));
    slider_->SetBackground(panelBackground());
    slider_->SetSkin(skinModule(), CSkinSlider::kVoxStyle);
    slider_->SetPosition(142, 70);
    slider_->SetRange(0, 100);
    // The posted notification stores the level and sets the recorder's threshold.
    slider_->SetValue(level_, true);
    slider_->SetTooltipName(skinModule(), kSliderTip, true);
    slider_->UpdateThumbStyle();
    slider_->show();

    addControl<QLabel>(LevelLabel, QRect(40, 100, 100, 20))
        ->setText(QStringLiteral("Level (0~100)"));
    addControl<QLabel>(DurationLabel, QRect(40, 125, 100, 20))
        ->setText(QStringLiteral("Duration (sec)"));
    for (int id : {LeftLabel, RightLabel, LevelLabel, DurationLabel})
        control<QLabel>(id)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    tolerance_ = addControl<QComboBox>(Tolerance, QRect(150, 125, 135, 20));
    QStringList entries;
    for (const char* entry : kToleranceEntries)
        entries << QString::fromLatin1(entry);
    tolerance_->addItems(entries);
    tolerance_->setCurrentIndex(selectToleranceIndex(
        entries, QString::fromStdString(store().readString(settings::VoxToleranceTime))));
    connect(tolerance_, &QComboBox::activated, this, [this] { SetModified(); });

    // The sound kept ahead of each opening of the gate.
    auto* preRollLabel = addControl<QLabel>(PreRollLabel, QRect(40, 150, 100, 20));
    preRollLabel->setText(QStringLiteral("Pre-roll (sec)"));
    preRollLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    preRoll_ = addControl<QComboBox>(PreRoll, QRect(150, 150, 135, 20));
    for (const PreRollEntry& entry : preRollEntries())
        preRoll_->addItem(QString::fromLatin1(entry.text), entry.ms);
    preRoll_->setCurrentIndex(preRollIndex(store().readInt(settings::nVOXPreRoll)));
    connect(preRoll_, &QComboBox::activated, this, [this] { SetModified(); });

    addControl<QGroupBox>(0, dlu(24, 103, 168, 40))->setTitle(QStringLiteral("VOX Feature"));
    auto* on = addControl<QRadioButton>(On, dlu(60, 120, 36, 10));
    on->setText(QStringLiteral("On"));
    auto* off = addControl<QRadioButton>(Off, dlu(120, 120, 36, 10));
    off->setText(QStringLiteral("Off"));
    connect(on, &QRadioButton::clicked, this, [this] { switchVox(1); });
    connect(off, &QRadioButton::clicked, this, [this] { switchVox(0); });

    int vox = store().readInt(settings::nVOXONOFF);
    fitTexts();
    (vox != 0 ? on : off)->setChecked(true);
    switchVox(vox);
}

CSettingVOX::~CSettingVOX()
{
    // The capture thread must not post to a page that is gone.
    listen(false);
    relay_->deleteLater();
}

void CSettingVOX::buildBackground()
{
    setOwnBackground(leftMeter_, rightMeter_, slider_);
}

void CSettingVOX::switchVox(int on)
{
    SetModified();
    store().writeInt(settings::nVOXONOFF.name, on);
    for (int id : {LeftLabel, RightLabel, LevelLabel, DurationLabel, PreRollLabel})
        control<QLabel>(id)->setEnabled(on != 0);
    levelEdit_->setEnabled(on != 0);
    upDown_->setEnabled(on != 0);
    tolerance_->setEnabled(on != 0);
    preRoll_->setEnabled(on != 0);
    if (on == 1 || on == 0) {
        for (QWidget* skinned : std::initializer_list<QWidget*>{leftMeter_, rightMeter_, slider_})
            skinned->setVisible(on == 1);
    }
}

void CSettingVOX::setLevel(int level)
{
    level_ = level;
    store().writeInt(settings::voxlevel.name, level);
    context().setVoxLevel(level);
}

bool CSettingVOX::onDeltaPos(int position, int delta)
{
    // Stored as position + delta now, and again as the slider's clamped value when its posted
    // notification arrives.
    int level = position + delta;
    slider_->SetValue(level, true);
    setLevel(level);
    return true;
}

void CSettingVOX::listen(bool on)
{
    if (on == listening_)
        return;
    listening_ = on;
    context().setMeterListenerB(on ? relay_ : nullptr);
}

void CSettingVOX::OnSetActive()
{
    listen(true);
    CSettingPage::OnSetActive();
}

void CSettingVOX::OnKillActive()
{
    listen(false);
}

bool CSettingVOX::OnApply()
{
    // A stored pre-roll that no entry shows stays until the user chooses one.
    if (preRoll_->currentIndex() >= 0)
        store().writeInt(settings::nVOXPreRoll.name, preRoll_->currentData().toInt());
    // With no entry selected (a stored text that begins none) the stored tolerance stays: the
    // user chose nothing. The meters keep following the input while the page stays shown.
    int index = tolerance_->currentIndex();
    if (index < 0)
        return true;
    QString text = tolerance_->itemText(index).left(kToleranceChars);
    store().writeString(settings::VoxToleranceTime.name, text.toStdString());
    context().setVoxHold(toleranceTicks(text));
    return true;
}

void CSettingVOX::OnOK()
{
    listen(false);
}

void CSettingVOX::OnCancel()
{
    listen(false);
}

bool CSettingVOX::event(QEvent* event)
{
    if (event->type() != WindowMessage::eventType())
        return CSettingPage::event(event);
    auto* message = static_cast<WindowMessage*>(event);
    if (message->message == WM_VOX_LEVELS) {
        leftMeter_->SetValue(static_cast<int>(message->wParam & 0xFFFF));
        rightMeter_->SetValue(static_cast<int>((message->wParam >> 16) & 0xFFFF));
        if (context().voiceActive())
            slider_->SetThumbStyle(0);
        else
            slider_->UpdateThumbStyle();
    } else if (message->message == WM_USER + Slider && message->wParam == CSkinSlider::kMoved) {
        int value = static_cast<int>(slider_->GetValue());
        setLevel(value);
        upDown_->setPosition(value);
    }
    return true;
}

void CSettingVOX::changeEvent(QEvent* event)
{
    CSettingPage::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) {
        buildBackground();
        update();
    }
}
