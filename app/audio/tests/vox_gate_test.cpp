#include <gtest/gtest.h>

#include "vox_gate.h"

TEST(VoxGate, ThresholdIsAPercentageOfFullScaleAndLoudMeansReachingIt)
{
    VoxGate gate;
    gate.setLevelPercent(10);
    EXPECT_EQ(gate.threshold(), 3276u);
    EXPECT_TRUE(gate.isLoud(3276, 0));
    EXPECT_TRUE(gate.isLoud(0, 3276));
    EXPECT_FALSE(gate.isLoud(3275, 3275));
    gate.setLevelPercent(100);
    EXPECT_EQ(gate.threshold(), 32768u);
    EXPECT_FALSE(gate.isLoud(32767, 32767));
    // Out-of-range settings are clamped instead of wrapping round to a random threshold.
    gate.setLevelPercent(-1);
    EXPECT_EQ(gate.threshold(), 0u);
    gate.setLevelPercent(250);
    EXPECT_EQ(gate.threshold(), 32768u);
}

TEST(VoxGate, GateClosesAfterTheHold)
{
    VoxGate gate;
    gate.setLevelPercent(10);
    gate.setHold(25);
    EXPECT_TRUE(gate.pass(5000, 0));
    // After the last loud block the next 23 quiet blocks are written, the 24th is dropped.
    for (int i = 1; i <= 23; ++i)
        EXPECT_TRUE(gate.pass(0, 0)) << "quiet block " << i;
    EXPECT_FALSE(gate.pass(0, 0));
    EXPECT_TRUE(gate.closed());
    EXPECT_FALSE(gate.pass(0, 0));
    // A loud block opens it again at once.
    EXPECT_TRUE(gate.pass(0, 4000));
    EXPECT_FALSE(gate.closed());
}

TEST(VoxGate, HoldOfOneDropsTheFirstQuietBlockAndAStartingGateIsClosed)
{
    VoxGate gate;
    gate.setLevelPercent(10);
    gate.setHold(1);
    EXPECT_FALSE(gate.pass(0, 0)) << "nothing loud yet";
    EXPECT_TRUE(gate.pass(3276, 0));
    EXPECT_FALSE(gate.pass(100, 100));
    gate.setHold(-7);
    EXPECT_TRUE(gate.pass(30000, 0)) << "a loud block is always written";
    EXPECT_FALSE(gate.pass(0, 0));
}
