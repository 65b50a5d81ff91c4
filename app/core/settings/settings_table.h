// Every value of the settings store with its type, the default that installing writes and the
// default that readers pass. The program reads and writes values only through these entries.
#pragma once

#include <span>
#include <string>

namespace settings {

enum class Type { Integer, String };

struct Value {
    const char* name;
    Type type;
    // Written by installing; null when installing leaves the value unwritten. "$HOME" stands for
    // the user's home folder; XPos and YPos are computed from the screen instead.
    const char* installDefault;
    // The default most readers pass (a reader with another default names it where it reads).
    // "$HOME" as above; null where no reader reads the value.
    const char* readDefault;
};

// clang-format off
inline constexpr Value TempFolder{"TempFolder", Type::String, "$HOME/Brevon/Temp", ""};
inline constexpr Value SaveFolder{"SaveFolder", Type::String, "$HOME/Brevon/Dravik", ""};
// Readers default to the current save folder.
inline constexpr Value LastOpenSavedFolder{"LastOpenSavedFolder", Type::String, "$HOME/Brevon/Dravik", ""};
inline constexpr Value sTempFileName{"sTempFileName", Type::String, "Brevon", ""};
inline constexpr Value AutoSavePrefix{"AutoSavePrefix", Type::String, nullptr, "Brevon"};
inline constexpr Value NumInst{"NumInst", Type::Integer, nullptr, "0"};
// The recorder's auto-save reads it with a default of 1.
inline constexpr Value SessionNum{"SessionNum", Type::Integer, "0", "0"};
inline constexpr Value Encode{"Encode", Type::Integer, "2", "2"};
inline constexpr Value nWAVFormat{"nWAVFormat", Type::Integer, nullptr, "0"};
inline constexpr Value nMP3Format{"nMP3Format", Type::Integer, nullptr, "10"};
inline constexpr Value nWMAFormat{"nWMAFormat", Type::Integer, nullptr, "5"};
inline constexpr Value sWAVFormat{"sWAVFormat", Type::String, nullptr, "44100 Hz, 16-bit, stereo"};
inline constexpr Value sMP3Format{"sMP3Format", Type::String, nullptr, "128 kbps, stereo"};
inline constexpr Value sWMAFormat{"sWMAFormat", Type::String, "128 kbps, stereo", "128 kbps, stereo"};
inline constexpr Value nFLACFormat{"nFLACFormat", Type::Integer, nullptr, "0"};
inline constexpr Value nOpusFormat{"nOpusFormat", Type::Integer, nullptr, "8"};
inline constexpr Value sFLACFormat{"sFLACFormat", Type::String, nullptr, "44100 Hz, 16-bit, stereo"};
inline constexpr Value sOpusFormat{"sOpusFormat", Type::String, nullptr, "96 kbps, stereo"};
inline constexpr Value uMxId{"uMxId", Type::Integer, nullptr, "0"};
inline constexpr Value SourceList{"SourceList", Type::Integer, "0", "0"};
inline constexpr Value nCheckGangVol{"nCheckGangVol", Type::Integer, nullptr, "1"};
// The Auto Start/Stop page reads it with a default of 1.
inline constexpr Value nVOXONOFF{"nVOXONOFF", Type::Integer, "0", "0"};
inline constexpr Value voxlevel{"voxlevel", Type::Integer, "10", "10"};
// Window creation reads it with a default of "0.4".
inline constexpr Value VoxToleranceTime{"VoxToleranceTime", Type::String, "1.0", "1.0"};
// Milliseconds of sound kept ahead of each opening of the VOX gate; clamped to 0..2000.
inline constexpr Value nVOXPreRoll{"nVOXPreRoll", Type::Integer, nullptr, "500"};
inline constexpr Value nAutoStart{"nAutoStart", Type::Integer, "0", "0"};
inline constexpr Value nAutoStopTime{"nAutoStopTime", Type::Integer, nullptr, "0"};
inline constexpr Value nAutoStopTimeVOX{"nAutoStopTimeVOX", Type::Integer, nullptr, "60"};
inline constexpr Value nAutoStopVOX{"nAutoStopVOX", Type::Integer, nullptr, "0"};
inline constexpr Value nAutoStartDatetime{"nAutoStartDatetime", Type::Integer, nullptr, "0"};
// The moment of a scheduled start, local time "YYYY-MM-DD HH:MM:SS"; empty when none was chosen.
inline constexpr Value sAutoStartAt{"sAutoStartAt", Type::String, nullptr, ""};
inline constexpr Value nAutoExit{"nAutoExit", Type::Integer, nullptr, "0"};
inline constexpr Value nSettingFileCheckButtonSates{"nSettingFileCheckButtonSates", Type::Integer, "0", "0"};
inline constexpr Value nTimedTrackSplit{"nTimedTrackSplit", Type::Integer, "0", "0"};
inline constexpr Value sTimedTrackSplit{"sTimedTrackSplit", Type::String, "60", "60"};
inline constexpr Value RecorderSetting{"RecorderSetting", Type::Integer, "0", nullptr};
inline constexpr Value bAlwaysOnTop{"bAlwaysOnTop", Type::Integer, "1", "1"};
// Installing computes the centred position; readers centre the window when the value is missing.
inline constexpr Value XPos{"XPos", Type::Integer, "", nullptr};
inline constexpr Value YPos{"YPos", Type::Integer, "", nullptr};
inline constexpr Value nSettingChanged{"nSettingChanged", Type::Integer, "0", "0"};
inline constexpr Value Channel{"Channel", Type::Integer, "2", nullptr};
inline constexpr Value SamplingRate{"SamplingRate", Type::Integer, "44100", nullptr};
inline constexpr Value Resolution{"Resolution", Type::Integer, "16", nullptr};
inline constexpr Value nWAVChannel{"nWAVChannel", Type::Integer, "2", nullptr};
inline constexpr Value nWAVBits{"nWAVBits", Type::Integer, "16", nullptr};
inline constexpr Value nWAVRates{"nWAVRates", Type::Integer, "44100", nullptr};
// clang-format on

// The main window's size, from which installing centres it.
inline constexpr int kWindowWidth = 256;
inline constexpr int kWindowHeight = 182;

// Every value, in the order of the table.
std::span<const Value* const> allValues();
// The values installing writes, in the order it writes them.
std::span<const Value* const> installOrder();
// The entry of that name, or null.
const Value* find(const std::string& name);

// Replaces a leading "$HOME" by home.
std::string expandHome(const char* text, const std::string& home);

} // namespace settings
