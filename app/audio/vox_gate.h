// The voice-operated gate: a block is loud when either peak reaches the threshold; the gate stays
// open for `hold` blocks after the last loud one, and a closed gate drops quiet blocks.
#pragma once

#include <cstdint>

class VoxGate {
public:
    // Threshold from a percentage of full scale (32768); values outside 0..100 are clamped, so
    // 100 gives 32768, which no 16-bit peak reaches.
    void setLevelPercent(int percent);
    // Blocks the gate stays open after the last loud block; negative values count as 0.
    void setHold(int blocks) { hold_ = blocks < 0 ? 0 : blocks; }
    void reset() { countdown_ = 0; }

    bool isLoud(uint16_t left, uint16_t right) const
    {
        return left >= threshold_ || right >= threshold_;
    }
    // Passes one block through the gate; true when the block is to be written.
    bool pass(uint16_t left, uint16_t right);
    // No loud block within the hold: the gate is closed.
    bool closed() const { return countdown_ == 0; }

    uint32_t threshold() const { return threshold_; }
    int hold() const { return hold_; }
    int countdown() const { return countdown_; }

private:
    uint32_t threshold_ = 10;
    int hold_ = 10;
    int countdown_ = 0;
};
