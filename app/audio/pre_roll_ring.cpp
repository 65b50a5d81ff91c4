// The pre-roll ring.
#include "pre_roll_ring.h"

#include <algorithm>
#include <cstring>

void PreRollRing::reserve(uint32_t bytes, uint32_t frameBytes)
{
    if (frameBytes > 0)
        bytes -= bytes % frameBytes;
    if (bytes != capacity_) {
        buffer_.assign(bytes, 0);
        buffer_.shrink_to_fit();
        capacity_ = bytes;
    }
    start_ = 0;
    size_ = 0;
}

void PreRollRing::keep(const uint8_t* data, uint32_t bytes)
{
    if (capacity_ == 0 || bytes == 0)
        return;
    // Only the newest capacity bytes of a block longer than the ring can stay.
    if (bytes >= capacity_) {
        std::memcpy(buffer_.data(), data + (bytes - capacity_), capacity_);
        start_ = 0;
        size_ = capacity_;
        return;
    }
    // Forget the oldest bytes that the new ones leave no room for.
    const uint32_t overflow = size_ + bytes > capacity_ ? size_ + bytes - capacity_ : 0;
    start_ = (start_ + overflow) % capacity_;
    size_ -= overflow;
    uint32_t end = (start_ + size_) % capacity_;
    uint32_t first = std::min(bytes, capacity_ - end);
    std::memcpy(buffer_.data() + end, data, first);
    std::memcpy(buffer_.data(), data + first, bytes - first);
    size_ += bytes;
}

PreRollRing::Pieces PreRollRing::front(uint32_t bytes) const
{
    Pieces result;
    bytes = std::min(bytes, size_);
    if (bytes == 0)
        return result;
    uint32_t first = std::min(bytes, capacity_ - start_);
    result.first = {buffer_.data() + start_, first};
    result.second = {buffer_.data(), bytes - first};
    return result;
}

void PreRollRing::drop(uint32_t bytes)
{
    bytes = std::min(bytes, size_);
    if (capacity_ > 0)
        start_ = (start_ + bytes) % capacity_;
    size_ -= bytes;
}
