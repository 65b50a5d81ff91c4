// The VOX gate.
#include "vox_gate.h"

void VoxGate::setLevelPercent(int percent)
{
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    threshold_ = static_cast<uint32_t>(percent * 32768 / 100);
}

bool VoxGate::pass(uint16_t left, uint16_t right)
{
    bool loud = isLoud(left, right);
    if (loud)
        countdown_ = hold_;
    if (--countdown_ < 0)
        countdown_ = 0;
    return !(countdown_ == 0 && !loud);
}
