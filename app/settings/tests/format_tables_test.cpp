#include <gtest/gtest.h>

#include <set>

#include "format_tables.h"
#include "settings/settings_store.h"
#include "testsupport/testsupport.h"

using namespace formats;

TEST(FormatTables, WAVRowsFollowRateThenBitsThenChannels)
{
    auto first = wavFormat(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->nSamplesPerSec, 44100u);
    EXPECT_EQ(first->nChannels, 2);
    EXPECT_EQ(first->wBitsPerSample, 16);
    EXPECT_EQ(first->nBlockAlign, 4);
    EXPECT_EQ(first->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(first->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(first->cbSize, 0);

    auto last = wavFormat(23);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->nSamplesPerSec, 8000u);
    EXPECT_EQ(last->wBitsPerSample, 8);
    EXPECT_EQ(last->nChannels, 1);
    EXPECT_EQ(last->nBlockAlign, 1);
    EXPECT_EQ(last->nAvgBytesPerSec, 8000u);

    EXPECT_EQ(rowText(kWAV, 0), "44100 Hz, 16-bit, stereo");
    EXPECT_EQ(rowText(kWAV, 14), "16000 Hz, 8-bit, stereo");
    EXPECT_EQ(rowText(kWAV, 19), "11025 Hz, 8-bit, mono");
    EXPECT_FALSE(wavFormat(24));
    EXPECT_FALSE(wavFormat(-1));
}

TEST(FormatTables, MP3RowsPairStereoAndMonoAndFallBackTo128Stereo)
{
    EXPECT_EQ(rowText(kMP3, 0), "320 kbps, stereo");
    EXPECT_EQ(rowText(kMP3, 1), "320 kbps, mono");
    EXPECT_EQ(rowText(kMP3, 10), "128 kbps, stereo");
    EXPECT_EQ(rowText(kMP3, 33), "8 kbps, mono");
    WAVEFORMATEX mono = mp3CaptureFormat(11);
    EXPECT_EQ(mono.nSamplesPerSec, 44100u);
    EXPECT_EQ(mono.nChannels, 1);
    EXPECT_EQ(mono.wBitsPerSample, 16);
    EXPECT_EQ(mp3Row(11).kbps, 128);
    for (int outside : {-1, 34, 1000}) {
        EXPECT_EQ(mp3Row(outside).kbps, 128);
        EXPECT_EQ(mp3Row(outside).channels, 2);
    }
}

TEST(FormatTables, WMARowsNameTheirProfilesAndOutsideIndicesChooseA128)
{
    EXPECT_STREQ(wmaRow(0).profile, "lossless");
    EXPECT_TRUE(wmaRow(0).lossless);
    std::set<std::string> profiles;
    for (int i = 0; i < kWMARows; ++i) {
        profiles.insert(wmaRow(i).profile);
        bool voice = i == 15 || i == 18 || i == 21 || i == 23 || i == 25 || i == 27 || i == 28;
        EXPECT_EQ(wmaRow(i).voice, voice) << i;
        if (voice) {
            EXPECT_EQ(wmaRow(i).channels, 1) << i;
        }
    }
    EXPECT_EQ(profiles.size(), 29u);
    EXPECT_STREQ(wmaRow(29).profile, "a128");
    EXPECT_STREQ(wmaRow(-5).profile, "a128");
    EXPECT_EQ(rowText(kWMA, 5), "128 kbps, stereo");
}

TEST(FormatTables, EncodingsAreFoundByTheirNamesNotTheirListPositions)
{
    EXPECT_EQ(encodingByName("WMA"), kWMA);
    EXPECT_EQ(encodingByName("MP3"), kMP3);
    EXPECT_EQ(encodingByName("WAV"), kWAV);
    EXPECT_EQ(encodingByName("FLAC"), kFLAC);
    EXPECT_EQ(encodingByName("Opus"), kOpus);
    EXPECT_FALSE(encodingByName("wav"));
    EXPECT_EQ(rowCount(5), 0);
    EXPECT_EQ(rowText(7, 0), "");
}

TEST(FormatTables, StoringAChoiceWritesOnlyThatEncodingsKeysAndEachEncodingKeepsItsRow)
{
    testsupport::TempDir dir;
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", dir.path().string());
    // Nothing stored yet: each encoding's default row.
    EXPECT_EQ(storedRow(store, kWAV), 0);
    EXPECT_EQ(storedRow(store, kMP3), 10);
    EXPECT_EQ(storedRow(store, kWMA), 5);

    ASSERT_TRUE(storeChoice(store, kMP3, 11, rowText(kMP3, 11)));
    EXPECT_EQ(store.readInt("Encode", -1), kMP3);
    EXPECT_EQ(store.readString("sMP3Format", ""), "128 kbps, mono");
    ASSERT_TRUE(storeChoice(store, kWMA, 0, rowText(kWMA, 0)));
    EXPECT_EQ(store.readInt("Encode", -1), kWMA);
    EXPECT_EQ(storedRow(store, kMP3), 11);
    EXPECT_EQ(store.readString("sWAVFormat", "<missing>"), "<missing>");
    EXPECT_EQ(store.readInt("nWAVFormat", -7), -7);

    EXPECT_FALSE(storeChoice(store, 5, 0, "x"));
    EXPECT_EQ(store.readInt("Encode", -1), kWMA);
}

TEST(FormatTables, ListsFollowTheTablesAndTheEncodingChooserOrder)
{
    EXPECT_EQ(rowTexts(kWAV).size(), size_t(kWAVRows));
    EXPECT_EQ(rowTexts(kMP3).front(), "320 kbps, stereo");
    EXPECT_EQ(rowTexts(kWMA).back(), "4 kbps, mono, voice");
    EXPECT_TRUE(rowTexts(7).empty());
    std::vector<std::string> listed;
    for (int encoding : kEncodingListOrder)
        listed.push_back(encodingName(encoding));
    EXPECT_EQ(listed, (std::vector<std::string>{"WAV", "WMA", "MP3", "FLAC", "Opus"}));
}

TEST(FormatTables, FlacAndOpusRowsAndTheirDefaultsAgreeWithTheStoredTexts)
{
    // FLAC: rate, then bits, then channels, stereo first.
    const WAVEFORMATEX last = flacFormat(7);
    EXPECT_EQ(last.nSamplesPerSec, 48000u);
    EXPECT_EQ(last.wBitsPerSample, 24);
    EXPECT_EQ(last.nChannels, 1);
    EXPECT_EQ(last.nBlockAlign, 3);
    EXPECT_EQ(last.nAvgBytesPerSec, 144000u);
    EXPECT_EQ(rowText(kFLAC, 2), "44100 Hz, 24-bit, stereo");
    EXPECT_EQ(flacFormat(8).nAvgBytesPerSec, flacFormat(0).nAvgBytesPerSec);
    // Opus: each bit rate twice, stereo first, captured at 48000 Hz in 16 bits.
    EXPECT_EQ(rowTexts(kOpus).front(), "256 kbps, stereo");
    EXPECT_EQ(rowTexts(kOpus).back(), "24 kbps, mono");
    EXPECT_EQ(opusRow(-1).kbps, 96);
    EXPECT_EQ(opusCaptureFormat(3).nChannels, 1);
    EXPECT_EQ(opusCaptureFormat(3).nSamplesPerSec, 48000u);
    EXPECT_EQ(opusCaptureFormat(3).wBitsPerSample, 16);

    // Nothing stored: the default rows are those the default texts name.
    testsupport::TempDir dir;
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", dir.path().string());
    for (int encoding : {kFLAC, kOpus})
        EXPECT_EQ(rowText(encoding, storedRow(store, encoding)),
                  store.readString(*textKey(encoding)));
    EXPECT_EQ(store.readString(*textKey(kOpus)), "96 kbps, stereo");
}
