// The turns of the writer slots.
#include "platform/file_roles.h"

namespace platform {

int FileRoles::claimNext(const std::function<bool(int)>& usable)
{
    std::lock_guard lock(mutex_);
    if (next_ >= 0)
        return -1; // one next file at a time
    for (int i = 0; i < kSlots; ++i) {
        if (i != current_ && i != finished_ && !claimed_[i] && (!usable || usable(i))) {
            claimed_[i] = true;
            return i;
        }
    }
    return -1;
}

void FileRoles::endClaimNext(int slot, bool opened)
{
    std::lock_guard lock(mutex_);
    claimed_[slot] = false;
    if (opened)
        next_ = slot;
}

bool FileRoles::switchToNext()
{
    std::lock_guard lock(mutex_);
    if (next_ < 0 || claimed_[next_] || finished_ >= 0)
        return false;
    finished_ = current_;
    current_ = next_;
    next_ = -1;
    return true;
}

int FileRoles::claim(Role role)
{
    std::lock_guard lock(mutex_);
    const int slot = slotOf(role);
    if (slot >= 0)
        claimed_[slot] = true;
    return slot;
}

void FileRoles::release(Role role, int slot)
{
    std::lock_guard lock(mutex_);
    claimed_[slot] = false;
    slotOf(role) = -1;
}

} // namespace platform
