// The five format tables.
#include "format_tables.h"

#include <cstdio>

#include "settings/settings_store.h"

namespace formats {

namespace {

constexpr uint32_t kWAVRates[] = {44100, 32000, 22050, 16000, 11025, 8000};
constexpr int kMP3Rates[] = {320, 256, 224, 192, 160, 128, 112, 96, 80,
                             64,  56,  48,  40,  32,  24,  16,  8};
constexpr int kMP3DefaultRow = 10;
constexpr uint32_t kFLACRates[] = {44100, 48000};
constexpr int kOpusRates[] = {256, 192, 160, 128, 96, 64, 48, 32, 24};

// clang-format off
constexpr WMARow kWMATable[kWMARows] = {
    {"Lossless", "lossless", false, true, 2, 44100, 128016},
    {"320 kbps, stereo", "a320", false, false, 2, 44100, 320008},
    {"256 kbps, stereo", "a256", false, false, 2, 44100, 256016},
    {"192 kbps, stereo", "a192", false, false, 2, 44100, 192016},
    {"160 kbps, stereo", "a160", false, false, 2, 44100, 160016},
    {"128 kbps, stereo", "a128", false, false, 2, 44100, 128016},
    {"96 kbps, stereo", "a96", false, false, 2, 44100, 96024},
    {"80 kbps, stereo", "a80", false, false, 2, 44100, 80024},
    {"64 kbps, stereo", "a64", false, false, 2, 44100, 64024},
    {"48 kbps, stereo", "a48", false, false, 2, 44100, 48024},
    {"48 kbps, mono", "a48mono", false, false, 1, 44100, 48024},
    {"32 kbps, stereo", "a32", false, false, 2, 22050, 32024},
    {"32 kbps, mono", "a32mono", false, false, 1, 44100, 32024},
    {"20 kbps, stereo", "a20", false, false, 2, 16000, 20000},
    {"20 kbps, mono", "a20mono", false, false, 1, 22050, 20008},
    {"20 kbps, mono, voice", "a20voice", true, false, 1, 22050, 20000},
    {"16 kbps, stereo", "a16", false, false, 2, 16000, 16000},
    {"16 kbps, mono", "a16mono", false, false, 1, 16000, 16000},
    {"16 kbps, mono, voice", "a16voice", true, false, 1, 16000, 16000},
    {"12 kbps, stereo", "a12", false, false, 2, 8000, 12000},
    {"12 kbps, mono", "a12mono", false, false, 1, 16000, 12000},
    {"12 kbps, mono, voice", "a12voice", true, false, 1, 16000, 12000},
    {"10 kbps, mono", "a10mono", false, false, 1, 11025, 10016},
    {"10 kbps, mono, voice", "a10voice", true, false, 1, 11025, 10000},
    {"8 kbps, mono", "a8mono", false, false, 1, 8000, 8000},
    {"8 kbps, mono, voice", "a8voice", true, false, 1, 8000, 8000},
    {"5 kbps, mono", "a5mono", false, false, 1, 8000, 5000},
    {"5 kbps, mono, voice", "a5voice", true, false, 1, 8000, 5000},
    {"4 kbps, mono, voice", "a4voice", true, false, 1, 8000, 4000},
};
// clang-format on

} // namespace

int rowCount(int encoding)
{
    switch (encoding) {
    case kWMA:
        return kWMARows;
    case kMP3:
        return kMP3Rows;
    case kWAV:
        return kWAVRows;
    case kFLAC:
        return kFLACRows;
    case kOpus:
        return kOpusRows;
    default:
        return 0;
    }
}

const char* encodingName(int encoding)
{
    switch (encoding) {
    case kWMA:
        return "WMA";
    case kMP3:
        return "MP3";
    case kWAV:
        return "WAV";
    case kFLAC:
        return "FLAC";
    case kOpus:
        return "Opus";
    default:
        return "";
    }
}

std::optional<int> encodingByName(const std::string& name)
{
    for (int encoding : kEncodingListOrder) {
        if (name == encodingName(encoding))
            return encoding;
    }
    return std::nullopt;
}

WAVEFORMATEX pcmFormat(uint16_t channels, uint32_t samplesPerSecond, uint16_t bitsPerSample)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSecond;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * samplesPerSecond;
    format.cbSize = 0;
    return format;
}

namespace {

// A row of a PCM table (WAV, FLAC): the rate outermost, then the two sample sizes, then stereo
// and mono.
WAVEFORMATEX pcmRow(int index, const uint32_t* rates, uint16_t firstBits, uint16_t secondBits)
{
    return pcmFormat(index % 2 == 0 ? 2 : 1, rates[index / 4],
                     (index / 2) % 2 == 0 ? firstBits : secondBits);
}

// A row of a bit-rate table (MP3, Opus): each rate twice, stereo first; an index outside the
// table is the default row.
BitRateRow bitRateRow(int index, const int* rates, int rows, int defaultRow)
{
    if (index < 0 || index >= rows)
        index = defaultRow;
    return {rates[index / 2], index % 2 == 0 ? 2 : 1};
}

} // namespace

std::optional<WAVEFORMATEX> wavFormat(int index)
{
    if (index < 0 || index >= kWAVRows)
        return std::nullopt;
    return pcmRow(index, kWAVRates, 16, 8);
}

MP3Row mp3Row(int index)
{
    return bitRateRow(index, kMP3Rates, kMP3Rows, kMP3DefaultRow);
}

WAVEFORMATEX mp3CaptureFormat(int index)
{
    return pcmFormat(static_cast<uint16_t>(mp3Row(index).channels), 44100, 16);
}

WAVEFORMATEX flacFormat(int index)
{
    if (index < 0 || index >= kFLACRows)
        index = kFLACDefaultRow;
    return pcmRow(index, kFLACRates, 16, 24);
}

OpusRow opusRow(int index)
{
    return bitRateRow(index, kOpusRates, kOpusRows, kOpusDefaultRow);
}

WAVEFORMATEX opusCaptureFormat(int index)
{
    return pcmFormat(static_cast<uint16_t>(opusRow(index).channels), 48000, 16);
}

const WMARow& wmaRow(int index)
{
    if (index < 0 || index >= kWMARows)
        index = kWMADefaultRow;
    return kWMATable[index];
}

namespace {

std::string pcmText(const WAVEFORMATEX& format)
{
    char text[64];
    std::snprintf(text, sizeof text, "%u Hz, %u-bit, %s", format.nSamplesPerSec,
                  format.wBitsPerSample, format.nChannels == 2 ? "stereo" : "mono");
    return text;
}

std::string bitRateText(int kbps, int channels)
{
    char text[64];
    std::snprintf(text, sizeof text, "%d kbps, %s", kbps, channels == 2 ? "stereo" : "mono");
    return text;
}

} // namespace

std::string rowText(int encoding, int index)
{
    switch (encoding) {
    case kWAV: {
        auto format = wavFormat(index);
        if (!format)
            return {};
        return pcmText(*format);
    }
    case kFLAC:
        return index < 0 || index >= kFLACRows ? std::string() : pcmText(flacFormat(index));
    case kMP3: {
        if (index < 0 || index >= kMP3Rows)
            return {};
        MP3Row row = mp3Row(index);
        return bitRateText(row.kbps, row.channels);
    }
    case kOpus: {
        if (index < 0 || index >= kOpusRows)
            return {};
        OpusRow row = opusRow(index);
        return bitRateText(row.kbps, row.channels);
    }
    case kWMA:
        return index < 0 || index >= kWMARows ? std::string() : wmaRow(index).text;
    default:
        return {};
    }
}

const settings::Value* indexKey(int encoding)
{
    switch (encoding) {
    case kWMA:
        return &settings::nWMAFormat;
    case kMP3:
        return &settings::nMP3Format;
    case kWAV:
        return &settings::nWAVFormat;
    case kFLAC:
        return &settings::nFLACFormat;
    case kOpus:
        return &settings::nOpusFormat;
    default:
        return nullptr;
    }
}

const settings::Value* textKey(int encoding)
{
    switch (encoding) {
    case kWMA:
        return &settings::sWMAFormat;
    case kMP3:
        return &settings::sMP3Format;
    case kWAV:
        return &settings::sWAVFormat;
    case kFLAC:
        return &settings::sFLACFormat;
    case kOpus:
        return &settings::sOpusFormat;
    default:
        return nullptr;
    }
}

std::vector<std::string> rowTexts(int encoding)
{
    std::vector<std::string> texts;
    for (int row = 0; row < rowCount(encoding); ++row)
        texts.push_back(rowText(encoding, row));
    return texts;
}

int storedRow(const SettingsStore& store, int encoding)
{
    const settings::Value* key = indexKey(encoding);
    return key ? store.readInt(*key) : -1;
}

bool storeChoice(SettingsStore& store, int encoding, int row, const std::string& text)
{
    const settings::Value* index = indexKey(encoding);
    if (!index)
        return false;
    store.writeInt(settings::Encode.name, encoding);
    store.writeInt(index->name, row);
    store.writeString(textKey(encoding)->name, text);
    return true;
}

} // namespace formats
