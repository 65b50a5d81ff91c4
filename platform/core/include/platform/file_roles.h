// Three writer slots taking turns as the file being written (current), the file opened ahead of
// a split (next) and the file the last switch finished. The roles change under a mutex; opening
// and completing a slot's file happen outside it with the slot claimed, so the writing thread,
// which only switches, never waits for a file to be opened or completed.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace platform {

class FileRoles {
public:
    static constexpr int kSlots = 3;
    enum class Role { Next, Finished };

    // The slot of the file being written (any thread).
    int current() const { return current_.load(); }
    // Claims a free slot to open a next file in, one that `usable` (when given) accepts too; -1
    // when there is a next file already or no slot is free.
    int claimNext(const std::function<bool(int)>& usable = {});
    // Ends that claim: the slot holds the next file when it was opened.
    void endClaimNext(int slot, bool opened);
    // The next file becomes the current one and the current one the finished one; false,
    // changing nothing, when no next file is ready or the finished one is not yet completed.
    bool switchToNext();
    // Claims the slot in a role to complete its file; -1 when the role is empty.
    int claim(Role role);
    // Ends that claim: the role is empty.
    void release(Role role, int slot);

private:
    int& slotOf(Role role) { return role == Role::Next ? next_ : finished_; }

    std::mutex mutex_;
    std::atomic<int> current_{0};
    int next_ = -1;
    int finished_ = -1;
    bool claimed_[kSlots] = {};
};

} // namespace platform
