// The Recording page itself: its controls at their template places, its start-up order, the
// device, volume, Lock L/R and format handlers, the meters fed by the recorder while the page is
// the active tab, and what OK, Apply and Cancel store and restart.
#include "setting_source.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QSlider>

#include "CSkinMeter.h"
#include "format_tables.h"
#include "recorder.h"
#include "settings/settings_store.h"
#include "skin.h"

namespace {

// Skin strings of the meters' tooltips.
constexpr int kLeftMeterTip = 5;
constexpr int kRightMeterTip = 6;
constexpr int kMeterTimerMs = 25;

} // namespace

CSettingSource::CSettingSource(SettingContext& context, const SettingPageInfo& info,
                               QWidget* parent)
    : CSettingPage(context, info, parent)
{
    createControls();
    // Without a mixer the page stops here; choosing a device that opens completes it.
    if (!OpenDevice())
        return;
    completeInitialisation();
}

CSettingSource::~CSettingSource()
{
    // The capture thread must not post to a page that is gone.
    listen(false);
    CloseDevice();
}

void CSettingSource::createControls()
{
    addControl<QGroupBox>(DeviceGroup, dlu(18, 6, 174, 30))
        ->setTitle(QStringLiteral("1. Input Device"));
    addControl<QGroupBox>(SourceGroup, dlu(18, 42, 174, 78))
        ->setTitle(QStringLiteral("2. Input Source"));
    addControl<QGroupBox>(0, dlu(18, 126, 174, 36))
        ->setTitle(QStringLiteral("3. Recording Format"));

    // Drop-down lists: the height of a template's list is that of its open list.
    auto dropDown = [this](int id, int x, int y, int width) {
        auto* box = addControl<QComboBox>(id, dlu(x, y, width, 12));
        box->setInsertPolicy(QComboBox::NoInsert);
        return box;
    };
    devices_ = dropDown(DeviceChooser, 30, 18, 150);
    sources_ = dropDown(SourceChooser, 30, 60, 90);
    encodings_ = dropDown(EncodingChooser, 30, 138, 42);
    formats_ = dropDown(FormatChooser, 78, 138, 102);

    auto trackbar = [this](int id, int x, QSlider::TickPosition ticks) {
        auto* slider = addControl<QSlider>(id, dlu(x, 48, 24, 60));
        slider->setOrientation(Qt::Vertical);
        slider->setRange(0, 100);
        slider->setTickInterval(10);
        slider->setTickPosition(ticks);
        slider->setInvertedAppearance(true); // position 0 at the top, as a trackbar has it
        slider->setEnabled(false);
        return slider;
    };
    left_ = trackbar(LeftVolume, 126, QSlider::TicksLeft);
    right_ = trackbar(RightVolume, 156, QSlider::TicksRight);
    lock_ = addControl<QCheckBox>(LockLR, dlu(132, 108, 42, 10));
    lock_->setText(QStringLiteral("Lock L/R"));

    connect(devices_, &QComboBox::activated, this, [this] { onDeviceChange(); });
    connect(sources_, &QComboBox::activated, this, [this] { ChooseSource(); });
    connect(left_, &QSlider::valueChanged, this, [this] { onVolumeSlider(true); });
    connect(right_, &QSlider::valueChanged, this, [this] { onVolumeSlider(false); });
    connect(lock_, &QCheckBox::clicked, this, [this] { onLockClicked(); });
    connect(encodings_, &QComboBox::activated, this, [this] {
        buildFormatList();
        SetModified();
    });
    connect(formats_, &QComboBox::activated, this, [this] { SetModified(); });
}

void CSettingSource::completeInitialisation()
{
    buildBackground();
    m_nCheckGangVol = store().readInt(settings::nCheckGangVol);
    lock_->setChecked(m_nCheckGangVol != 0);
    if (encodings_->count() == 0) {
        for (int encoding : formats::kEncodingListOrder)
            encodings_->addItem(QString::fromLatin1(formats::encodingName(encoding)));
    }
    selectEncoding(store().readInt(settings::Encode));
    buildFormatList();
    if (recorderBusy()) {
        for (QComboBox* chooser : {devices_, sources_, encodings_, formats_})
            chooser->setEnabled(false);
    }
    createMeters();
    complete_ = true;
    BuildSourceList();
    // A page completed by a later device choice while it is shown starts its meters now.
    if (active_)
        listen(true);
}

void CSettingSource::buildBackground()
{
    setOwnBackground(leftMeter_, rightMeter_);
}

void CSettingSource::createMeters()
{
    if (leftMeter_)
        return;
    auto makeMeter = [this](int id, int x, int y, int tip) {
        auto* meter = new CSkinMeter(this, id);
        meter->setObjectName(QString::number(id));
        meter->SetBackground(panelBackground());
        meter->LoadImage(skinModule(), QStringLiteral("HLEVELS"));
        meter->StartTimer(kMeterTimerMs);
        meter->SetPosition(x, y);
        meter->SetMaxValue(kLevelScale);
        meter->SetValue(0);
        meter->SetTooltip(skinModule(), tip, true);
        meter->show();
        return meter;
    };
    leftMeter_ = makeMeter(LeftMeter, 63, 140, kLeftMeterTip);
    rightMeter_ = makeMeter(RightMeter, 63, 152, kRightMeterTip);
}

void CSettingSource::selectEncoding(int encode)
{
    // The list's select-string search: from the second entry on, wrapping round, the first entry
    // that begins with the text; an encoding value of no name has the empty text, which the second
    // entry ("WMA") begins with.
    const QString text = QString::fromLatin1(formats::encodingName(encode));
    const int count = encodings_->count();
    for (int step = 1; step <= count; ++step) {
        const int index = step % count;
        if (encodings_->itemText(index).startsWith(text, Qt::CaseInsensitive)) {
            encodings_->setCurrentIndex(index);
            return;
        }
    }
}

void CSettingSource::buildFormatList()
{
    QSignalBlocker block(formats_);
    formats_->clear();
    const auto encoding = formats::encodingByName(encodings_->currentText().toStdString());
    if (!encoding)
        return;
    for (const std::string& text : formats::rowTexts(*encoding))
        formats_->addItem(QString::fromStdString(text));
    const int row = formats::storedRow(store(), *encoding);
    formats_->setCurrentIndex(row >= 0 && row < formats_->count() ? row : -1);
}

void CSettingSource::onDeviceChange()
{
    store().writeInt(settings::uMxId.name, devices_->currentIndex());
    if (OpenDevice()) {
        if (complete_)
            BuildSourceList();
        else
            completeInitialisation();
    } else {
        forgetMixerControls();
    }
    restartCapture();
}

void CSettingSource::forgetMixerControls()
{
    // No mixer: no sources to list, and nothing for the sliders to move.
    QSignalBlocker block(sources_);
    sources_->clear();
    m_volumeControl = platform::MIXERCONTROL{};
    m_muteControl = platform::MIXERCONTROL{};
    left_->setEnabled(false);
    right_->setEnabled(false);
}

void CSettingSource::onVolumeSlider(bool left)
{
    QSlider* moved = left ? left_ : right_;
    QSlider* other = left ? right_ : left_;
    const int position = moved->value();
    const int percent = 100 - position;
    if (left)
        WriteLeftVolume(percent);
    else
        WriteRightVolume(percent);
    const bool uniform = m_volumeControl.fdwControl & platform::MIXERCONTROL_CONTROLF_UNIFORM;
    if (!uniform && m_nCheckGangVol != 0) {
        {
            QSignalBlocker block(other);
            other->setValue(position);
        }
        if (left)
            WriteRightVolume(percent);
        else
            WriteLeftVolume(percent);
    }
}

void CSettingSource::onLockClicked()
{
    m_nCheckGangVol = lock_->isChecked() ? 1 : 0;
    store().writeInt(settings::nCheckGangVol.name, m_nCheckGangVol);
}

bool CSettingSource::recorderBusy() const
{
    CRecorder* recorder = context().recorder();
    return recorder && (recorder->recording() || recorder->IsTakeUnsaved());
}

void CSettingSource::restartCapture()
{
    CRecorder* recorder = context().recorder();
    if (!recorder)
        return;
    recorder->StopDevice();
    if (!recorder->StartDevice())
        showError(QStringLiteral("The input device could not be started: %1")
                      .arg(QString::fromStdString(recorder->lastError())));
}

void CSettingSource::listen(bool on)
{
    // Meters that were never set up get no levels.
    on = on && complete_;
    if (on == listening_)
        return;
    listening_ = on;
    if (CRecorder* recorder = context().recorder())
        recorder->setMeterListenerA(on ? this : nullptr);
}

void CSettingSource::OnSetActive()
{
    active_ = true;
    listen(true);
    CSettingPage::OnSetActive();
}

void CSettingSource::OnKillActive()
{
    active_ = false;
    listen(false);
}

bool CSettingSource::OnApply()
{
    if (recorderBusy())
        return true;
    if (const auto encoding = formats::encodingByName(encodings_->currentText().toStdString()))
        formats::storeChoice(store(), *encoding, formats_->currentIndex(),
                             formats_->currentText().toStdString());
    restartCapture();
    // The mixer and the meters stay with the page while it is shown; OK closes them.
    return true;
}

void CSettingSource::OnOK()
{
    active_ = false;
    listen(false);
    CloseDevice();
}

void CSettingSource::OnCancel()
{
    // There is no system volume window of ours to close here.
    active_ = false;
    listen(false);
    CloseDevice();
}

bool CSettingSource::event(QEvent* event)
{
    if (event->type() != WindowMessage::eventType())
        return CSettingPage::event(event);
    auto* message = static_cast<WindowMessage*>(event);
    if (message->message == WM_PAGE_LEVELS) {
        if (leftMeter_ && rightMeter_) {
            leftMeter_->SetValue(static_cast<int>(message->wParam & 0xFFFF));
            rightMeter_->SetValue(static_cast<int>((message->wParam >> 16) & 0xFFFF));
        }
    } else if (message->message == platform::MM_MIXM_CONTROL_CHANGE) {
        ControlChange(reinterpret_cast<platform::HMIXER>(message->wParam),
                      static_cast<uint32_t>(message->lParam));
    } else if (message->message == WM_MIXER_GONE &&
               reinterpret_cast<platform::HMIXER>(message->wParam) == m_hMixer && m_hMixer) {
        CloseDevice();
        forgetMixerControls();
        showError(QStringLiteral("The sound card's mixer is no longer there (was the card "
                                 "unplugged?). Choose a device in the list, or plug the card back "
                                 "in and choose it again."));
    }
    return true;
}

void CSettingSource::changeEvent(QEvent* event)
{
    CSettingPage::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) &&
        complete_) {
        buildBackground();
        update();
    }
}
