// The recording and playback states of the main window and the look of each: status line, the
// five transport buttons' states and the Save button's tooltip. The state is read from the
// recorder's and player's flags; the window applies the row of the state it is in.
#pragma once

#include <string>

namespace mainwnd {

enum class WindowState {
    Idle,
    Recording,
    RecordingPaused,
    TakeHeld,
    FileLoaded,
    Playing,
    PlaybackPaused,
};

// The flags the state is read from (recorder: recording, paused, take unsaved; player: file
// open, playing, play paused).
struct StateFlags {
    bool recording = false;
    bool paused = false;
    bool takeUnsaved = false;
    bool fileOpen = false;
    bool playing = false;
    bool playPaused = false;
};

WindowState stateOf(const StateFlags& flags);
const char* stateName(WindowState state);

// Button states of a two-face skin button.
inline constexpr int kFirstFaceEnabled = 1;
inline constexpr int kFirstFaceDisabled = 4;
inline constexpr int kSecondFaceEnabled = 5;
inline constexpr int kSecondFaceDisabled = 8;

// Skin strings of the Save button's tooltip: Cut and Save, and Save As.
inline constexpr int kCutAndSaveTooltip = 10;
inline constexpr int kSaveTooltip = 20;

struct StateLook {
    int record;
    int stop;
    int play;
    int save;
    int open;
    int saveTooltip;
};

// The row of a state; autoSave is true while an auto-save mode is on.
StateLook lookOf(WindowState state, bool autoSave);

// The status line of a state. name is the open file's path (shown from its last separator on)
// or "Recorded File" while a take is held.
std::string statusOf(WindowState state, const std::string& name);

} // namespace mainwnd
