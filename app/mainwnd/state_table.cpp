// The table of looks of the main window's states.
#include "state_table.h"

namespace mainwnd {

WindowState stateOf(const StateFlags& f)
{
    if (f.recording)
        return f.paused ? WindowState::RecordingPaused : WindowState::Recording;
    if (f.fileOpen && f.playing)
        return f.playPaused ? WindowState::PlaybackPaused : WindowState::Playing;
    if (f.fileOpen)
        return f.takeUnsaved ? WindowState::TakeHeld : WindowState::FileLoaded;
    return WindowState::Idle;
}

const char* stateName(WindowState state)
{
    switch (state) {
    case WindowState::Idle:
        return "Idle";
    case WindowState::Recording:
        return "Recording";
    case WindowState::RecordingPaused:
        return "Recording paused";
    case WindowState::TakeHeld:
        return "Take held";
    case WindowState::FileLoaded:
        return "File loaded";
    case WindowState::Playing:
        return "Playing";
    case WindowState::PlaybackPaused:
        return "Playback paused";
    }
    return "";
}

StateLook lookOf(WindowState state, bool autoSave)
{
    const int saveAuto = autoSave ? kSecondFaceDisabled : kFirstFaceDisabled;
    switch (state) {
    case WindowState::Idle:
        return {1, 8, 4, saveAuto, 1, kSaveTooltip};
    case WindowState::Recording:
        return autoSave ? StateLook{5, 1, 4, 5, 4, kCutAndSaveTooltip}
                        : StateLook{5, 1, 4, 4, 4, kSaveTooltip};
    case WindowState::RecordingPaused:
        return autoSave ? StateLook{1, 1, 4, 8, 4, kCutAndSaveTooltip}
                        : StateLook{1, 1, 4, 4, 4, kSaveTooltip};
    case WindowState::TakeHeld:
        return {4, 8, 1, 1, 5, kSaveTooltip};
    case WindowState::FileLoaded:
        return {4, 8, 1, 4, 5, kSaveTooltip};
    case WindowState::Playing:
        return {4, 5, 5, 4, 8, kSaveTooltip};
    case WindowState::PlaybackPaused:
        return {4, 5, 1, 4, 8, kSaveTooltip};
    }
    return {1, 8, 4, saveAuto, 1, kSaveTooltip};
}

std::string statusOf(WindowState state, const std::string& name)
{
    switch (state) {
    case WindowState::Idle:
        return "Ready";
    case WindowState::Recording:
        return "Recording...";
    case WindowState::RecordingPaused:
        return "Paused";
    case WindowState::TakeHeld:
        return "Recorded";
    case WindowState::FileLoaded:
        return name;
    case WindowState::Playing:
        return "Playing " + name;
    case WindowState::PlaybackPaused:
        return "Paused: " + name;
    }
    return "Ready";
}

} // namespace mainwnd
