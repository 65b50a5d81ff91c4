// The VOX gate.
#include "vox_gate.h"

void VoxGate::setLevelPercent(int percent)
{
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    threshold_.store(static_cast<uint32_t>(percent * 32768 / 100), std::memory_order_relaxed);
}

bool VoxGate::pass(uint16_t left, uint16_t right)
{
    bool loud = isLoud(left, right);
    int countdown = loud ? hold() : this->countdown();
    if (--countdown < 0)
        countdown = 0;
    countdown_.store(countdown, std::memory_order_relaxed);
    return !(countdown == 0 && !loud);
}
