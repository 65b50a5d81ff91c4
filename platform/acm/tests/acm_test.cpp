#include <gtest/gtest.h>

#include <cstring>

#include "platform/acm.h"
#include "testsupport/testsupport.h"

using namespace platform;

namespace {

MPEGLAYER3WAVEFORMAT mp3Format(uint16_t channels, uint32_t rate, uint32_t kbps)
{
    MPEGLAYER3WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = channels;
    f.wfx.nSamplesPerSec = rate;
    f.wfx.nAvgBytesPerSec = kbps * 1000 / 8;
    f.wfx.nBlockAlign = 1;
    f.wfx.cbSize = 12;
    f.wID = MPEGLAYER3_ID_MPEG;
    f.nFramesPerBlock = 1;
    return f;
}

// Decodes `bytes` fed in pieces of `piece` bytes, then drains the decoder.
std::vector<uint8_t> decode(const std::vector<uint8_t>& bytes, const MPEGLAYER3WAVEFORMAT& src,
                            uint32_t piece)
{
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(acmFormatSuggest(nullptr, &src.wfx, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &src.wfx, &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    uint32_t room = 0;
    EXPECT_EQ(acmStreamSize(stream, piece, &room, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(room);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbDst = buffer.data();
    header.cbDstLength = room;
    for (size_t at = 0;; at += piece) {
        size_t count = at < bytes.size() ? std::min<size_t>(piece, bytes.size() - at) : 0;
        header.pbSrc = const_cast<uint8_t*>(bytes.data()) + (count ? at : 0);
        header.cbSrcLength = static_cast<uint32_t>(count);
        acmStreamPrepareHeader(stream, &header, 0);
        EXPECT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN),
                  MMSYSERR_NOERROR);
        acmStreamUnprepareHeader(stream, &header, 0);
        out.insert(out.end(), buffer.begin(), buffer.begin() + header.cbDstLengthUsed);
        if (count == 0 && header.cbDstLengthUsed == 0)
            break;
    }
    acmStreamClose(stream, 0);
    return out;
}

} // namespace

TEST(Acm, SuggestsPcmOfTheStreamWithoutWritingPastTheGivenSize)
{
    auto src = mp3Format(2, 44100, 128);
    uint8_t record[24];
    std::memset(record, 0xAB, sizeof record);
    auto* pcm = reinterpret_cast<WAVEFORMATEX*>(record);
    pcm->wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatSuggest(nullptr, &src.wfx, pcm, 18, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    EXPECT_EQ(+pcm->nChannels, 2);
    EXPECT_EQ(+pcm->nSamplesPerSec, 44100u);
    EXPECT_EQ(+pcm->wBitsPerSample, 16);
    EXPECT_EQ(+pcm->nBlockAlign, 4);
    EXPECT_EQ(+pcm->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(+pcm->cbSize, 0);
    for (size_t i = 18; i < sizeof record; ++i)
        EXPECT_EQ(record[i], 0xAB) << i;

    uint32_t largest = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest), MMSYSERR_NOERROR);
    EXPECT_GE(largest, sizeof(MPEGLAYER3WAVEFORMAT));
}

TEST(Acm, RefusesWhatItCannotDecode)
{
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    auto odd = mp3Format(2, 44000, 128);
    EXPECT_EQ(acmFormatSuggest(nullptr, &odd.wfx, &pcm, sizeof pcm, 0), ACMERR_NOTPOSSIBLE);
    auto src = mp3Format(2, 44100, 128);
    WAVEFORMATEX other{};
    other.wFormatTag = 0x0002;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, &src.wfx, &other, sizeof other, ACM_FORMATSUGGESTF_WFORMATTAG),
        ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX wrongRate{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &src.wfx, &wrongRate, nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(stream, nullptr);

    WAVEFORMATEX right{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &src.wfx, &right, nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), ACMERR_UNPREPARED);
    acmStreamClose(stream, 0);
}

TEST(Acm, KeepsDecoderStateAcrossBuffersWhateverTheirSize)
{
    auto bytes = testsupport::readFile(testsupport::fixture("speech-mpeg1-128k-joint.mp3"));
    ASSERT_FALSE(bytes.empty());
    auto src = mp3Format(2, 44100, 128);
    auto inChunks = decode(bytes, src, 1454);
    // 1024472 sample frames: the file's length as its encoder tag gives it.
    EXPECT_EQ(inChunks.size(), 1024472u * 4);
    // Frames cut at every 7th byte decode to exactly the same PCM.
    auto inCrumbs = decode(bytes, src, 7);
    EXPECT_TRUE(inCrumbs == inChunks);
}

TEST(Acm, RoomFromTheStreamSizeHoldsEachBufferOfAConstantRateStream)
{
    auto bytes = testsupport::readFile(testsupport::fixture("speech-mpeg1-48k-mono.mp3"));
    auto src = mp3Format(1, 44100, 48);
    WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &src.wfx, &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    const uint32_t piece = 6000 / 11;
    uint32_t room = 0;
    ASSERT_EQ(acmStreamSize(stream, piece, &room, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    std::vector<uint8_t> buffer(room + 1);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbDst = buffer.data();
    header.cbDstLength = room + 1; // one byte more than promised: never needed
    size_t total = 0;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        header.pbSrc = bytes.data() + at;
        header.cbSrcLength = static_cast<uint32_t>(std::min<size_t>(piece, bytes.size() - at));
        acmStreamPrepareHeader(stream, &header, 0);
        acmStreamConvert(stream, &header, 0);
        acmStreamUnprepareHeader(stream, &header, 0);
        EXPECT_LE(header.cbDstLengthUsed, room);
        total += header.cbDstLengthUsed;
    }
    acmStreamClose(stream, 0);
    EXPECT_EQ(total, 258048u * 2);
}

TEST(Acm, DecodesOnlyTheStreamsLayerThreeFramesAndSaysNothingOfTheRest)
{
    // A Layer III stream followed by Layer II frames of the same rate and channels, the Layer II
    // part damaged (every 97th byte flipped): only the Layer III part is sound.
    auto layer3 = testsupport::readFile(testsupport::fixture("speech-mpeg1-128k-joint.mp3"));
    auto layer2 = testsupport::readFile(testsupport::fixture("speech-layer2.mp2"));
    ASSERT_FALSE(layer3.empty());
    ASSERT_FALSE(layer2.empty());
    for (size_t i = 500; i < layer2.size(); i += 97)
        layer2[i] ^= 0x5A;
    auto mixed = layer3;
    mixed.insert(mixed.end(), layer2.begin(), layer2.end());
    auto src = mp3Format(2, 44100, 128);
    const auto alone = decode(layer3, src, 1454);
    testing::internal::CaptureStderr();
    const auto decoded = decode(mixed, src, 1454);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The encoder's padding at the end of the Layer III part is no longer the stream's end, so
    // a few frames of it may come out too; no Layer II second (88200 frames) does.
    EXPECT_GE(decoded.size(), alone.size());
    EXPECT_LT(decoded.size(), alone.size() + 4 * 1152 * 4);
}
