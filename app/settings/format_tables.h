// The recording format tables: for each encoding the rows a user chooses from, their display
// texts, and the capture and encoder parameters each row stands for. A row is stored by its index.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/records.h"
#include "settings/settings_table.h"

class SettingsStore;

namespace formats {

// The stored `Encode` values.
enum Encoding : int { kWMA = 0, kMP3 = 1, kWAV = 2, kFLAC = 3, kOpus = 4 };

inline constexpr int kWAVRows = 24;
inline constexpr int kMP3Rows = 34;
inline constexpr int kWMARows = 29;
inline constexpr int kFLACRows = 8;
inline constexpr int kOpusRows = 18;

// The row count of an encoding's table; 0 for a value that is no encoding.
int rowCount(int encoding);
// The display text of a row ("44100 Hz, 16-bit, stereo", "128 kbps, mono", "Lossless").
std::string rowText(int encoding, int index);
// The encoding's name as listed and shown: "WMA", "MP3", "WAV", "FLAC" or "Opus"; empty for
// other values.
const char* encodingName(int encoding);
// The stored value of an encoding's listed name; empty for another text.
std::optional<int> encodingByName(const std::string& name);

// A PCM wave format (tag 1, extra size 0).
WAVEFORMATEX pcmFormat(uint16_t channels, uint32_t samplesPerSecond, uint16_t bitsPerSample);

// WAV rows: the row's PCM format; empty for an index outside the table.
std::optional<WAVEFORMATEX> wavFormat(int index);

// A row of a bit-rate table.
struct BitRateRow {
    int kbps;
    int channels;
};

// MP3 rows: an index outside the table is 128 kbps stereo.
using MP3Row = BitRateRow;
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

// FLAC rows, as the WAV table's: sample rate over 44100, 48000; bits over 16, 24; channels over
// 2, 1. An index outside the table is the first row (44100 Hz, 16-bit, stereo).
WAVEFORMATEX flacFormat(int index);
inline constexpr int kFLACDefaultRow = 0;

// Opus rows, as the MP3 table's: each bit rate (256, 192, 160, 128, 96, 64, 48, 32, 24 kbps)
// twice, stereo first. An index outside the table is 96 kbps stereo. Every row captures 16-bit
// PCM at 48000 Hz, Opus's own rate, with the row's channels.
using OpusRow = BitRateRow;
OpusRow opusRow(int index);
WAVEFORMATEX opusCaptureFormat(int index);
inline constexpr int kOpusDefaultRow = 8;

// The encodings in the order the encoding chooser lists them: "WAV", "WMA", "MP3", "FLAC", "Opus".
inline constexpr int kEncodingListOrder[] = {kWAV, kWMA, kMP3, kFLAC, kOpus};

// The settings keys of an encoding's chosen row: its index (nWAVFormat, nMP3Format, nWMAFormat,
// nFLACFormat, nOpusFormat) and its display text (sWAVFormat, ...); null for a value that is no
// encoding.
const settings::Value* indexKey(int encoding);
const settings::Value* textKey(int encoding);

// Building a list: the rows' texts of an encoding's table in index order, and the stored row of
// that encoding (its index key, defaults 0, 10, 5, 0 and 8), which may lie outside the table.
std::vector<std::string> rowTexts(int encoding);
int storedRow(const SettingsStore& store, int encoding);

// Storing a choice: `Encode`, then the encoding's index key, then its text key; only the keys of
// that encoding are written. False (nothing written) for a value that is no encoding.
bool storeChoice(SettingsStore& store, int encoding, int row, const std::string& text);

} // namespace formats
