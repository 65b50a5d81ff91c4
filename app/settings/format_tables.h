// The recording format tables: for each encoding the rows a user chooses from, their display
// texts, and the capture and encoder parameters each row stands for. A row is stored by its index.
#pragma once

#include <optional>
#include <string>

#include "platform/records.h"

namespace formats {

// The stored `Encode` values.
enum Encoding : int { kWMA = 0, kMP3 = 1, kWAV = 2 };

inline constexpr int kWAVRows = 24;
inline constexpr int kMP3Rows = 34;
inline constexpr int kWMARows = 29;

// The row count of an encoding's table; 0 for a value that is no encoding.
int rowCount(int encoding);
// The display text of a row ("44100 Hz, 16-bit, stereo", "128 kbps, mono", "Lossless").
std::string rowText(int encoding, int index);
// The encoding's name as listed and shown: "WMA", "MP3" or "WAV"; empty for other values.
const char* encodingName(int encoding);
// The stored value of an encoding's listed name; empty for another text.
std::optional<int> encodingByName(const std::string& name);

// A PCM wave format (tag 1, extra size 0).
WAVEFORMATEX pcmFormat(uint16_t channels, uint32_t samplesPerSecond, uint16_t bitsPerSample);

// WAV rows: the row's PCM format; empty for an index outside the table.
std::optional<WAVEFORMATEX> wavFormat(int index);

// MP3 rows: an index outside the table is 128 kbps stereo.
struct MP3Row {
    int kbps;
    int channels;
};
MP3Row mp3Row(int index);
// What an MP3 row captures: 16-bit PCM at 44100 Hz with the row's channels.
WAVEFORMATEX mp3CaptureFormat(int index);

// WMA rows: the profile each row names and what that profile declares for its audio stream.
struct WMARow {
    const char* text;
    const char* profile;
    bool voice;
    bool lossless;
    int channels;
    int sampleRate;
    int bitRate;
};
// An index outside the table is the a128 row (index 5).
const WMARow& wmaRow(int index);
inline constexpr int kWMADefaultRow = 5;

} // namespace formats
