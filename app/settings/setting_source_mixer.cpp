// The Recording page's mixer work: the device list, the recording destination's source list, the
// scan of a source's controls that switches it on, unmutes it and selects it for recording, the
// volume as a percentage, the answers to changes made outside the page, and the error boxes.
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

#include "mixer_window.h"
#include "setting_source.h"
#include "settings/settings_store.h"

using namespace platform;

const std::array<uint32_t, CSettingSource::kControlTypeCount> CSettingSource::kControlTypes = {
    MIXERCONTROL_CT_CLASS_CUSTOM,
    MIXERCONTROL_CONTROLTYPE_CUSTOM,
    MIXERCONTROL_CT_CLASS_FADER,
    MIXERCONTROL_CONTROLTYPE_BASS,
    MIXERCONTROL_CONTROLTYPE_EQUALIZER,
    MIXERCONTROL_CONTROLTYPE_FADER,
    MIXERCONTROL_CONTROLTYPE_TREBLE,
    MIXERCONTROL_CONTROLTYPE_VOLUME,
    MIXERCONTROL_CT_CLASS_LIST,
    MIXERCONTROL_CONTROLTYPE_MIXER,
    MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT,
    MIXERCONTROL_CONTROLTYPE_MUX,
    MIXERCONTROL_CONTROLTYPE_SINGLESELECT,
    MIXERCONTROL_CT_CLASS_METER,
    MIXERCONTROL_CONTROLTYPE_BOOLEANMETER,
    MIXERCONTROL_CONTROLTYPE_PEAKMETER,
    MIXERCONTROL_CONTROLTYPE_SIGNEDMETER,
    MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER,
    MIXERCONTROL_CT_CLASS_NUMBER,
    MIXERCONTROL_CONTROLTYPE_DECIBELS,
    MIXERCONTROL_CONTROLTYPE_PERCENT,
    MIXERCONTROL_CONTROLTYPE_SIGNED,
    MIXERCONTROL_CONTROLTYPE_UNSIGNED,
    MIXERCONTROL_CT_CLASS_SLIDER,
    MIXERCONTROL_CONTROLTYPE_PAN,
    MIXERCONTROL_CONTROLTYPE_QSOUNDPAN,
    MIXERCONTROL_CONTROLTYPE_SLIDER,
    MIXERCONTROL_CT_CLASS_SWITCH,
    MIXERCONTROL_CONTROLTYPE_BOOLEAN,
    MIXERCONTROL_CONTROLTYPE_BUTTON,
    MIXERCONTROL_CONTROLTYPE_LOUDNESS,
    MIXERCONTROL_CONTROLTYPE_MONO,
    MIXERCONTROL_CONTROLTYPE_MUTE,
    MIXERCONTROL_CONTROLTYPE_ONOFF,
    MIXERCONTROL_CONTROLTYPE_STEREOENH,
    MIXERCONTROL_CT_CLASS_TIME,
    MIXERCONTROL_CONTROLTYPE_MICROTIME,
    MIXERCONTROL_CONTROLTYPE_MILLITIME,
};

namespace {

// Scan positions of the roles.
constexpr int kFirstFader = 2;
constexpr int kLastFader = 7;
constexpr int kMutePosition = 32;
constexpr int kOnOffPosition = 33;
// The selection control's types, in the order they are looked for.
constexpr uint32_t kSelectionTypes[] = {MIXERCONTROL_CONTROLTYPE_MIXER,
                                        MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT,
                                        MIXERCONTROL_CONTROLTYPE_MUX};

bool isListType(uint32_t type)
{
    return type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT || type == MIXERCONTROL_CONTROLTYPE_MUX ||
           type == MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT ||
           type == MIXERCONTROL_CONTROLTYPE_MIXER;
}

// The single-selection kinds: choosing an item clears the others.
bool clearsOthers(uint32_t type)
{
    return type == MIXERCONTROL_CONTROLTYPE_MUX || type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT;
}

uint32_t channelsOf(const MIXERCONTROL& control)
{
    return (control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : 2;
}

uint32_t itemsOf(const MIXERCONTROL& control)
{
    return (control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? control.cMultipleItems : 1;
}

MIXERCONTROLDETAILS detailsFor(const MIXERCONTROL& control, uint32_t channels, uint32_t items,
                               uint32_t size, void* data)
{
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = channels;
    details.cMultipleItems = (control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? items : 0;
    details.cbDetails = size;
    details.paDetails = data;
    return details;
}

const char* resultText(MMRESULT result)
{
    switch (result) {
    case MMSYSERR_BADDEVICEID:
        return "The hmxobj parameter specifies an invalid device identifier.";
    case MMSYSERR_INVALHANDLE:
        return "The hmxobj parameter specifies an invalid handle.";
    case MMSYSERR_NODRIVER:
        return "NODRIVER";
    case MMSYSERR_INVALFLAG:
        return "One or more flags are invalid.";
    case MMSYSERR_INVALPARAM:
        return "One or more parameters are invalid.";
    case MIXERR_INVALLINE:
        return "The audio line reference is invalid.";
    case MIXERR_INVALCONTROL:
        return "The control reference is invalid.";
    default:
        return "Error";
    }
}

} // namespace

QString CSettingSource::mixerErrorText(int site, MMRESULT result)
{
    if (result == MMSYSERR_NOERROR)
        return {};
    return QStringLiteral("%1: %2").arg(site).arg(QString::fromLatin1(resultText(result)));
}

int CSettingSource::sliderPosition(uint32_t value, uint32_t maximum)
{
    // A control without a range reads as silent rather than dividing by zero.
    if (maximum == 0)
        return 100;
    return 100 - static_cast<int>(static_cast<float>(value) * 100.0f / static_cast<float>(maximum));
}

uint32_t CSettingSource::volumeValue(int percent, uint32_t maximum)
{
    const auto value = static_cast<uint64_t>(percent / 100.0 * maximum) + 1;
    return static_cast<uint32_t>(std::min<uint64_t>(value, maximum));
}

void CSettingSource::reportMixer(int site, MMRESULT result)
{
    if (result != MMSYSERR_NOERROR)
        showError(mixerErrorText(site, result));
}

MMRESULT CSettingSource::readDestination(MIXERLINE& line)
{
    line = MIXERLINE{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    return mixerGetLineInfo(m_hMixer, &line, MIXER_GETLINEINFOF_COMPONENTTYPE);
}

bool CSettingSource::OpenDevice()
{
    const uint32_t count = mixerGetNumDevs();
    if (count == 0) {
        showError(QStringLiteral("Error: No Audio Device Available!"));
        return false;
    }
    {
        // Filling the list is no choice of the user's.
        QSignalBlocker block(devices_);
        devices_->clear();
        for (uint32_t id = 0; id < count; ++id) {
            MIXERCAPS caps{};
            mixerGetDevCaps(id, &caps);
            devices_->addItem(QString::fromUtf8(caps.szPname));
        }
        m_uMxId = static_cast<uint32_t>(store().readInt(settings::uMxId));
        if (m_uMxId >= count) {
            m_uMxId = 0;
            store().writeInt(settings::uMxId.name, 0);
        }
        devices_->setCurrentIndex(static_cast<int>(m_uMxId));
    }
    CloseDevice();
    if (mixerOpenForWindow(&m_hMixer, m_uMxId, this) != MMSYSERR_NOERROR) {
        m_hMixer = nullptr;
        showError(QStringLiteral("Error, cannot open audio device"));
        return false;
    }
    return true;
}

void CSettingSource::BuildSourceList()
{
    MIXERLINE destination;
    MMRESULT result = readDestination(destination);
    reportMixer(2, result);
    {
        QSignalBlocker block(sources_);
        sources_->clear();
        for (uint32_t i = 0; result == MMSYSERR_NOERROR && i < destination.cConnections; ++i) {
            MIXERLINE line{};
            line.cbStruct = sizeof line;
            line.dwDestination = destination.dwDestination;
            line.dwSource = i;
            if (mixerGetLineInfo(m_hMixer, &line, MIXER_GETLINEINFOF_SOURCE) == MMSYSERR_NOERROR)
                sources_->addItem(QString::fromUtf8(line.szName));
        }
        // A stored position beyond the list leaves the chooser without a selection.
        const int stored = store().readInt(settings::SourceList);
        sources_->setCurrentIndex(stored >= 0 && stored < sources_->count() ? stored : -1);
    }
    ChooseSource();
}

void CSettingSource::ChooseSource()
{
    MIXERLINE destination;
    reportMixer(1, readDestination(destination));
    const int position = sources_->currentIndex();
    store().writeInt(settings::SourceList.name, position);

    // The line in hand stays the destination when the source cannot be read; the scan then
    // handles nothing, since the destination is never taken for a source.
    MIXERLINE line = destination;
    if (position >= 0) {
        MIXERLINE source{};
        source.cbStruct = sizeof source;
        source.dwDestination = destination.dwDestination;
        source.dwSource = static_cast<uint32_t>(position);
        if (mixerGetLineInfo(m_hMixer, &source, MIXER_GETLINEINFOF_SOURCE) == MMSYSERR_NOERROR)
            line = source;
    }

    left_->setEnabled(false);
    right_->setEnabled(false);
    // The controls of an earlier source are not this one's: the sliders and the change handler
    // must not reach them.
    m_volumeControl = MIXERCONTROL{};
    m_muteControl = MIXERCONTROL{};
    if (line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
        return;

    uint32_t matches = 0;
    for (int position = 0; position < kControlTypeCount; ++position) {
        MIXERCONTROL control{};
        MIXERLINECONTROLS controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = kControlTypes[position];
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control;
        controls.pamxctrl = &control;
        if (mixerGetLineControls(m_hMixer, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
            MMSYSERR_NOERROR)
            continue;
        ++matches;
        if (position >= kFirstFader && position <= kLastFader) {
            m_volumeControl = control;
            left_->setEnabled(true);
            right_->setEnabled(true);
            ReadVolume();
        } else if (position == kMutePosition) {
            m_muteControl = control;
            SetSwitch(control, 0);
        } else if (position == kOnOffPosition) {
            SetSwitch(control, 1);
        }
        if (matches == line.cControls) {
            SelectSourceInDestination();
            break;
        }
    }
}

MMRESULT CSettingSource::listValues(const MIXERCONTROL& control, std::vector<uint32_t>& values,
                                    bool write)
{
    const uint32_t channels = channelsOf(control), items = itemsOf(control);
    values.resize(size_t(channels) * items);
    MIXERCONTROLDETAILS details =
        detailsFor(control, channels, items, sizeof(uint32_t), values.data());
    return write ? mixerSetControlDetails(m_hMixer, &details, MIXER_SETCONTROLDETAILSF_VALUE)
                 : mixerGetControlDetails(m_hMixer, &details, MIXER_GETCONTROLDETAILSF_VALUE);
}

int CSettingSource::itemForSource(const MIXERCONTROL& control, const char* textsError, bool& read)
{
    const uint32_t channels = channelsOf(control), items = itemsOf(control);
    std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(size_t(channels) * items);
    MIXERCONTROLDETAILS details =
        detailsFor(control, channels, items, sizeof(MIXERCONTROLDETAILS_LISTTEXT), texts.data());
    read = mixerGetControlDetails(m_hMixer, &details, MIXER_GETCONTROLDETAILSF_LISTTEXT) ==
           MMSYSERR_NOERROR;
    if (!read)
        showError(QString::fromLatin1(textsError));
    const QByteArray wanted = sources_->currentText().toUtf8();
    int chosen = -1;
    for (uint32_t i = 0; read && i < items; ++i) {
        if (wanted == texts[i].szName)
            chosen = static_cast<int>(i);
    }
    return chosen;
}

void CSettingSource::SelectSourceInDestination()
{
    MIXERLINE destination;
    MMRESULT result = readDestination(destination);
    reportMixer(5, result);
    if (result != MMSYSERR_NOERROR || destination.cControls == 0)
        return;
    MIXERCONTROL selection{};
    bool found = false;
    for (uint32_t type : kSelectionTypes) {
        MIXERLINECONTROLS controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = destination.dwLineID;
        controls.dwControlType = type;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof selection;
        controls.pamxctrl = &selection;
        found = mixerGetLineControls(m_hMixer, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
                MMSYSERR_NOERROR;
        if (found)
            break;
    }
    if (!found)
        return;
    bool textsRead = false;
    // A source that is not among the items selects the first.
    const int chosen = std::max(0, itemForSource(selection, "Error 2", textsRead));
    std::vector<uint32_t> values;
    if (listValues(selection, values, false) != MMSYSERR_NOERROR)
        showError(QStringLiteral("Error Get1a"));
    if (clearsOthers(selection.dwControlType))
        std::fill(values.begin(), values.end(), 0u);
    if (static_cast<size_t>(chosen) >= values.size())
        return;
    values[static_cast<size_t>(chosen)] = 1;
    if (listValues(selection, values, true) != MMSYSERR_NOERROR)
        showError(QStringLiteral("Error"));
}

void CSettingSource::ReassertSourceSelection(const MIXERCONTROL& control)
{
    bool textsRead = false;
    const int chosen = itemForSource(control, "Error 3", textsRead);
    if (chosen < 0)
        return; // the page's source is not among this control's items: left alone
    std::vector<uint32_t> values;
    if (listValues(control, values, false) != MMSYSERR_NOERROR)
        showError(QStringLiteral("Error Get1"));
    if (static_cast<size_t>(chosen) >= values.size() || values[static_cast<size_t>(chosen)] == 1)
        return;
    if (clearsOthers(control.dwControlType))
        std::fill(values.begin(), values.end(), 0u);
    values[static_cast<size_t>(chosen)] = 1;
    if (listValues(control, values, true) != MMSYSERR_NOERROR)
        showError(QStringLiteral("Error Set 1"));
}

MMRESULT CSettingSource::volumeValues(std::vector<uint32_t>& values, bool write)
{
    const uint32_t channels = channelsOf(m_volumeControl);
    values.resize(channels);
    MIXERCONTROLDETAILS details =
        detailsFor(m_volumeControl, channels, 0, sizeof(uint32_t), values.data());
    return write ? mixerSetControlDetails(m_hMixer, &details, MIXER_SETCONTROLDETAILSF_VALUE)
                 : mixerGetControlDetails(m_hMixer, &details, MIXER_GETCONTROLDETAILSF_VALUE);
}

void CSettingSource::ReadVolume()
{
    std::vector<uint32_t> values;
    MMRESULT result = volumeValues(values, false);
    reportMixer(4, result);
    if (result != MMSYSERR_NOERROR)
        return;
    const uint32_t maximum = m_volumeControl.Bounds.dwMaximum;
    // Moving the sliders here is no user's move: nothing is written back.
    QSignalBlocker blockLeft(left_), blockRight(right_);
    left_->setValue(sliderPosition(values[0], maximum));
    const bool stereo = values.size() == 2;
    right_->setVisible(stereo);
    lock_->setVisible(stereo);
    if (stereo)
        right_->setValue(sliderPosition(values[1], maximum));
}

bool CSettingSource::readVolumeBeforeWrite(std::vector<uint32_t>& values)
{
    // Both channels are written together, so a failed read stops the write: the other channel
    // would be zeroed. The box says what failed, not a number that names another step.
    const MMRESULT read = volumeValues(values, false);
    if (read == MMSYSERR_NOERROR)
        return true;
    showError(QStringLiteral("The recording volume could not be read, so it was not changed.\n%1")
                  .arg(QString::fromLatin1(resultText(read))));
    return false;
}

void CSettingSource::WriteLeftVolume(int percent)
{
    // Without a source's fader there is nothing to write to.
    if (!m_hMixer || m_volumeControl.dwControlID == 0)
        return;
    // The other channel is written back as read; after a failed read it would be zeroed.
    std::vector<uint32_t> values;
    if (!readVolumeBeforeWrite(values))
        return;
    values[0] = volumeValue(percent, m_volumeControl.Bounds.dwMaximum);
    reportMixer(6, volumeValues(values, true));
}

void CSettingSource::WriteRightVolume(int percent)
{
    if (!m_hMixer || m_volumeControl.dwControlID == 0 || channelsOf(m_volumeControl) < 2)
        return;
    std::vector<uint32_t> values;
    if (!readVolumeBeforeWrite(values))
        return;
    values[1] = volumeValue(percent, m_volumeControl.Bounds.dwMaximum);
    reportMixer(7, volumeValues(values, true));
}

void CSettingSource::SetSwitch(const MIXERCONTROL& control, uint32_t value)
{
    std::vector<uint32_t> values(channelsOf(control));
    MIXERCONTROLDETAILS details =
        detailsFor(control, channelsOf(control), 0, sizeof(uint32_t), values.data());
    const bool read = mixerGetControlDetails(m_hMixer, &details, MIXER_GETCONTROLDETAILSF_VALUE) ==
                      MMSYSERR_NOERROR;
    if (read && (values[0] != 0) == (value != 0))
        return;
    std::fill(values.begin(), values.end(), value);
    reportMixer(3, mixerSetControlDetails(m_hMixer, &details, MIXER_SETCONTROLDETAILSF_VALUE));
}

void CSettingSource::ControlChange(HMIXER mixer, uint32_t controlId)
{
    if (!m_hMixer || mixer != m_hMixer)
        return;
    MIXERCONTROL control{};
    MIXERLINECONTROLS controls{};
    controls.cbStruct = sizeof controls;
    controls.dwControlID = controlId;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    if (mixerGetLineControls(m_hMixer, &controls, MIXER_GETLINECONTROLSF_ONEBYID) !=
        MMSYSERR_NOERROR)
        return;
    if (m_volumeControl.dwControlID != 0 && control.dwControlID == m_volumeControl.dwControlID) {
        if (left_->isEnabled())
            ReadVolume();
    } else if (m_muteControl.dwControlID != 0 && control.dwControlID == m_muteControl.dwControlID) {
        SetSwitch(control, 0);
    } else if (isListType(control.dwControlType)) {
        ReassertSourceSelection(control);
    }
}

void CSettingSource::CloseDevice()
{
    if (m_hMixer) {
        mixerCloseForWindow(m_hMixer);
        m_hMixer = nullptr;
    }
}
