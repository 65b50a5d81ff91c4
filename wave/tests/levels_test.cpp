// The level meter on known data, and the block size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine_helpers.h"
#include "levels.h"

using namespace brevon::wave;
using enginetest::pcm;

namespace {

LevelBlock levels16(const std::vector<int16_t>& samples, uint16_t channels)
{
    LevelBlock l{};
    l.left = l.right = 99999; // must be overwritten
    const WAVEFORMATEX f = pcm(44100, channels, 16);
    measureLevels(reinterpret_cast<const uint8_t*>(samples.data()), uint32_t(samples.size() * 2), f,
                  l);
    return l;
}

LevelBlock levels8(const std::vector<uint8_t>& bytes, uint16_t channels)
{
    LevelBlock l{};
    const WAVEFORMATEX f = pcm(8000, channels, 8);
    measureLevels(bytes.data(), uint32_t(bytes.size()), f, l);
    return l;
}

} // namespace

TEST(BlockSize, IsFortyMillisecondsOfWholeFrames)
{
    EXPECT_EQ(blockBytes(pcm(44100, 2, 16)), 7056u);
    EXPECT_EQ(blockBytes(pcm(11025, 1, 16)), 882u);
    EXPECT_EQ(blockBytes(pcm(22050, 1, 8)), 882u);
    // 8000 / 25 = 320 frames; 11 kHz-style rates that are no multiple of 25 round down.
    EXPECT_EQ(blockBytes(pcm(8000, 2, 24)), 320u * 6);
    EXPECT_EQ(blockBytes(pcm(11111, 1, 16)), 444u * 2);
}

TEST(Levels16, StereoTakesEachChannelsMagnitudeMonoOnlyTheFirstOfEachPair)
{
    LevelBlock stereo = levels16({1000, -2000}, 2);
    EXPECT_EQ(stereo.left, 1000u);
    EXPECT_EQ(stereo.right, 2000u);
    LevelBlock mono = levels16({1000, -2000}, 1);
    EXPECT_EQ(mono.left, 1000u);
    EXPECT_EQ(mono.right, 1000u);
    LevelBlock peaks = levels16({10, -20, -30000, 5, 32767, 7}, 2);
    EXPECT_EQ(peaks.left, 32767u);
    EXPECT_EQ(peaks.right, 20u);
}

TEST(Levels16, MinusFullScaleNeverBecomesThePeak)
{
    LevelBlock l = levels16({-32768, -32768, -1234, 321, -32768, -32768}, 2);
    EXPECT_EQ(l.left, 1234u);
    EXPECT_EQ(l.right, 321u);
    EXPECT_EQ(levels16({-32768, -32768}, 2).left, 0u);
}

TEST(Levels16, ATrailingLoneSampleStillCountsButNothingBeyondTheLength)
{
    std::vector<int16_t> samples = {1, 2, 300, 4000};
    LevelBlock l{};
    const WAVEFORMATEX f = pcm(44100, 2, 16);
    // Six bytes: one pair and the first sample of the next.
    measureLevels(reinterpret_cast<const uint8_t*>(samples.data()), 6, f, l);
    EXPECT_EQ(l.left, 300u);
    EXPECT_EQ(l.right, 2u);
}

TEST(Levels16, AnyLengthOfRandomSoundGivesThePeaksOfASampleBySampleReading)
{
    // Lengths around the widths the pass may be cut into, and a whole 40-ms block; the sound
    // includes -32768 and full scale, the peak anywhere, the last sample alone.
    std::vector<int16_t> sound(3528 + 40);
    uint32_t seed = 7;
    for (auto& sample : sound) {
        seed = seed * 1103515245 + 12345;
        sample = int16_t(seed >> 16);
    }
    sound[17] = -32768;
    sound[3001] = 32767;
    const WAVEFORMATEX f = pcm(44100, 2, 16);
    for (uint32_t bytes : {0u, 2u, 4u, 6u, 30u, 32u, 34u, 62u, 64u, 66u, 70u, 7056u, 7058u}) {
        uint32_t expected[2] = {0, 0};
        for (uint32_t at = 0; at + 2 <= bytes; at += 2) {
            const int value = sound[at / 2];
            if (value != -32768)
                expected[(at / 2) & 1] =
                    std::max(expected[(at / 2) & 1], uint32_t(std::abs(value)));
        }
        LevelBlock l{};
        measureLevels(reinterpret_cast<const uint8_t*>(sound.data()), bytes, f, l);
        EXPECT_EQ(l.left, expected[0]) << bytes;
        EXPECT_EQ(l.right, expected[1]) << bytes;
    }
}

TEST(Levels8, FollowThePositiveHalfWaveOnly)
{
    EXPECT_EQ(levels8({0x80, 0x80}, 2).left, 0u);
    LevelBlock low = levels8({0x00, 0x10, 0x7F, 0x40}, 2);
    EXPECT_EQ(low.left, 0u);
    EXPECT_EQ(low.right, 0u);
    LevelBlock full = levels8({0xFF, 0x81}, 2);
    EXPECT_EQ(full.left, 32385u);
    EXPECT_EQ(full.right, 255u);
    LevelBlock mono = levels8({0x90, 0xFF}, 1);
    EXPECT_EQ(mono.left, 16u * 255);
    EXPECT_EQ(mono.right, 16u * 255);
}

TEST(Levels24Bit, AreTheTopSixteenBitsOfEachChannel)
{
    // Left 0x7F0000 (loud), right -0x400000 (half scale) in every frame; mono takes every sample.
    std::vector<uint8_t> frames;
    for (int i = 0; i < 100; ++i)
        frames.insert(frames.end(), {0x00, 0x00, 0x7F, 0x00, 0x00, 0xC0});
    LevelBlock l{5, 5, 0};
    measureLevels(frames.data(), uint32_t(frames.size()), pcm(44100, 2, 24), l);
    EXPECT_EQ(l.left, 0x7F00u);
    EXPECT_EQ(l.right, 0x4000u);
    measureLevels(frames.data(), uint32_t(frames.size()), pcm(44100, 1, 24), l);
    EXPECT_EQ(l.left, 0x7F00u);
    EXPECT_EQ(l.right, 0x7F00u);
}

TEST(LevelsOtherSizes, AreZero)
{
    std::vector<uint8_t> loud(600, 0x7F);
    LevelBlock l{5, 5, 0};
    WAVEFORMATEX twelve = pcm(44100, 2, 16);
    twelve.wBitsPerSample = 12;
    l = {5, 5, 0};
    measureLevels(loud.data(), 600, twelve, l);
    EXPECT_EQ(l.left, 0u);
}
