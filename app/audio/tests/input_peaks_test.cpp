// Block peaks: which samples count as full scale, on which channel, at 16 and 8 bits.
#include "input_peaks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

WAVEFORMATEX pcm(int channels, int bits)
{
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = static_cast<uint16_t>(bits);
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    return f;
}

BlockPeaks of16(const std::vector<int16_t>& samples, int channels)
{
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return measureBlockPeaks(bytes.data(), static_cast<uint32_t>(bytes.size()), pcm(channels, 16));
}

} // namespace

TEST(BlockPeaks, SixteenBitFullScaleIsBothEndsAndOnlyThem)
{
    // Left: 32766 and -32767, one short of either end; right: both ends.
    BlockPeaks p = of16({32766, 32767, -32767, -32768, 100, 0}, 2);
    EXPECT_EQ(p.fullScale[0], 0u);
    EXPECT_EQ(p.fullScale[1], 2u);
    EXPECT_EQ(p.peak[0], 32767u);
    EXPECT_EQ(p.peak[1], 32768u);
    // Mono: every sample is the one channel's, reported on both.
    p = of16({32767, 5, -32768}, 1);
    EXPECT_EQ(p.fullScale[0], 2u);
    EXPECT_EQ(p.fullScale[1], 2u);
    EXPECT_EQ(p.peak[1], 32768u);
}

TEST(BlockPeaks, EightBitFullScaleIsZeroAnd255)
{
    const std::vector<uint8_t> stereo = {1, 254, 128, 128, 0, 200, 130, 255};
    BlockPeaks p = measureBlockPeaks(stereo.data(), 8, pcm(2, 8));
    EXPECT_EQ(p.fullScale[0], 1u); // the 0
    EXPECT_EQ(p.fullScale[1], 1u); // the 255
    EXPECT_EQ(p.peak[0], 32768u);
    EXPECT_EQ(p.peak[1], 32768u);
    const std::vector<uint8_t> below = {1, 254};
    p = measureBlockPeaks(below.data(), 2, pcm(2, 8));
    EXPECT_EQ(p.fullScale[0] + p.fullScale[1], 0u);
    EXPECT_LT(p.peak[0], 32768u);
    EXPECT_LT(p.peak[1], 32768u);
    EXPECT_EQ(peakDbfs(32768), 0.0);
    EXPECT_NEAR(peakDbfs(16384), -6.02, 0.01);
    EXPECT_TRUE(std::isinf(peakDbfs(0)));
}
