// The voice-operated gate: a block is loud when either peak reaches the threshold; the gate stays
// open for `hold` blocks after the last loud one, and a closed gate drops quiet blocks.
#pragma once

#include <atomic>
#include <cstdint>

class VoxGate {
public:
    // Threshold from a percentage of full scale (32768); values outside 0..100 are clamped, so
    // 100 gives 32768, which no 16-bit peak reaches.
    void setLevelPercent(int percent);
    // Blocks the gate stays open after the last loud block; negative values count as 0.
    void setHold(int blocks) { hold_.store(blocks < 0 ? 0 : blocks, std::memory_order_relaxed); }
    void reset() { countdown_.store(0, std::memory_order_relaxed); }

    bool isLoud(uint16_t left, uint16_t right) const
    {
        uint32_t threshold = threshold_.load(std::memory_order_relaxed);
        return left >= threshold || right >= threshold;
    }
    // Passes one block through the gate; true when the block is to be written.
    bool pass(uint16_t left, uint16_t right);
    // No loud block within the hold: the gate is closed.
    bool closed() const { return countdown() == 0; }

    uint32_t threshold() const { return threshold_.load(std::memory_order_relaxed); }
    int hold() const { return hold_.load(std::memory_order_relaxed); }
    int countdown() const { return countdown_.load(std::memory_order_relaxed); }

private:
    // The capture thread passes blocks through the gate while the window thread may set its
    // threshold and hold, or reset it at a recording start: each is one word, changed whole.
    std::atomic<uint32_t> threshold_{10};
    std::atomic<int> hold_{10};
    std::atomic<int> countdown_{0};
};
