// The Recording page: the input device (a mixer device), the input source with its left and right
// recording volume, "Lock L/R" and live input meters, and the recording format (encoding and row).
// The mixer work lives in setting_source_mixer.cpp, the page itself in setting_source.cpp.
//
// The device and source choices and Lock L/R are stored the moment they change; the recording
// format only by OK or Apply, which then restarts the capture in the new format. While the page
// is the active tab the recorder posts it the input levels (meter listener A). While the mixer is
// open, changes made to it by any other program reach the page, which keeps its source selected
// and unmuted and its sliders in step.
#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>

#include "platform/mixer.h"
#include "setting_page.h"

class CSkinMeter;
class QCheckBox;
class QComboBox;
class QSlider;

class CSettingSource : public CSettingPage {
public:
    enum Id {
        DeviceGroup = 1253,
        DeviceChooser = 1140,
        SourceGroup = 1251,
        SourceChooser = 1142,
        LeftVolume = 1032,
        RightVolume = 1035,
        LockLR = 1229,
        EncodingChooser = 1148,
        FormatChooser = 1327,
        LeftMeter = 1227,
        RightMeter = 1030,
    };

    // The control types the source scan asks for, in scan order; the position decides the role.
    static constexpr int kControlTypeCount = 38;
    static const std::array<uint32_t, kControlTypeCount> kControlTypes;

    CSettingSource(SettingContext& context, const SettingPageInfo& info, QWidget* parent);
    ~CSettingSource() override;

    void OnSetActive() override;
    void OnKillActive() override;
    bool OnApply() override;
    void OnOK() override;
    void OnCancel() override;

    platform::HMIXER mixer() const { return m_hMixer; }
    bool lockLR() const { return m_nCheckGangVol != 0; }
    const platform::MIXERCONTROL& volumeControl() const { return m_volumeControl; }
    const platform::MIXERCONTROL& muteControl() const { return m_muteControl; }
    // Whether the page's controls below the device chooser were set up (a mixer was opened).
    bool complete() const { return complete_; }
    CSkinMeter* leftMeter() const { return leftMeter_; }
    CSkinMeter* rightMeter() const { return rightMeter_; }

    // The "%d: %s" text of a mixer failure at a site; empty for success.
    static QString mixerErrorText(int site, platform::MMRESULT result);
    // Percentage and slider arithmetic: the slider shows 100 minus the percentage of a value, and
    // a percentage is written as its share of the maximum plus one, at most the maximum.
    static int sliderPosition(uint32_t value, uint32_t maximum);
    static uint32_t volumeValue(int percent, uint32_t maximum);

    // The Part's operations (public for the tests, which drive them as the handlers do).
    bool OpenDevice();
    void BuildSourceList();
    void ChooseSource();
    void SelectSourceInDestination();
    void ReassertSourceSelection(const platform::MIXERCONTROL& control);
    void ReadVolume();
    void WriteLeftVolume(int percent);
    void WriteRightVolume(int percent);
    void SetSwitch(const platform::MIXERCONTROL& control, uint32_t value);
    void ControlChange(platform::HMIXER mixer, uint32_t controlId);
    void CloseDevice();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void completeInitialisation();
    void buildBackground();
    void createMeters();
    void selectEncoding(int encode);
    void buildFormatList();
    void onDeviceChange();
    // Empties the source list and disables the volume sliders (no mixer to work on).
    void forgetMixerControls();
    void onVolumeSlider(bool left);
    void onLockClicked();
    void restartCapture();
    void listen(bool on);
    bool recorderBusy() const;
    // The box of a mixer failure at a site; nothing for success.
    void reportMixer(int site, platform::MMRESULT result);
    // Reads the recording destination line; the result code.
    platform::MMRESULT readDestination(platform::MIXERLINE& line);
    // The chosen item of a selection control for the source chooser's text: the last item of
    // that name, or -1 when none has it.
    int itemForSource(const platform::MIXERCONTROL& control, const char* textsError, bool& read);
    // Reads and writes a list control's item values (one channel per the uniform flag).
    platform::MMRESULT listValues(const platform::MIXERCONTROL& control,
                                  std::vector<uint32_t>& values, bool write);
    platform::MMRESULT volumeValues(std::vector<uint32_t>& values, bool write);
    // The volume's values before a write; false (and a box saying so) when they cannot be read.
    bool readVolumeBeforeWrite(std::vector<uint32_t>& values);

    // The mixer state.
    platform::HMIXER m_hMixer = nullptr;
    uint32_t m_uMxId = 0;
    int m_nCheckGangVol = 1;
    platform::MIXERCONTROL m_volumeControl{};
    platform::MIXERCONTROL m_muteControl{};

    QComboBox* devices_ = nullptr;
    QComboBox* sources_ = nullptr;
    QSlider* left_ = nullptr;
    QSlider* right_ = nullptr;
    QCheckBox* lock_ = nullptr;
    QComboBox* encodings_ = nullptr;
    QComboBox* formats_ = nullptr;
    CSkinMeter* leftMeter_ = nullptr;
    CSkinMeter* rightMeter_ = nullptr;
    bool complete_ = false;
    bool listening_ = false;
    bool active_ = false;
};
