// The sound a closed VOX gate drops, kept so that a take can begin some time before the block that
// opened the gate. The ring is sized when a recording starts (the window's thread) and then used
// by the capture thread alone: keeping and handing back sound never allocates.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class PreRollRing {
public:
    // Keeps up to `bytes` (rounded down to whole frames of frameBytes), emptied. The memory is kept
    // when the size does not change.
    void reserve(uint32_t bytes, uint32_t frameBytes);
    uint32_t capacity() const { return capacity_; }
    uint32_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }

    // Keeps a dropped block; older sound beyond the capacity is forgotten.
    void keep(const uint8_t* data, uint32_t bytes);
    // What is kept, oldest first, in at most two pieces; valid until the next keep or clear.
    struct Pieces {
        std::span<const uint8_t> first;
        std::span<const uint8_t> second;
    };
    Pieces pieces() const { return front(size_); }
    // The oldest `bytes` of what is kept (at most all of it), in at most two pieces.
    Pieces front(uint32_t bytes) const;
    // Forgets the oldest `bytes` (at most all).
    void drop(uint32_t bytes);
    uint32_t room() const { return capacity_ - size_; }

private:
    std::vector<uint8_t> buffer_;
    uint32_t capacity_ = 0;
    // The oldest kept byte and how many are kept.
    uint32_t start_ = 0;
    uint32_t size_ = 0;
};
