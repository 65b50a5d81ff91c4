#include <gtest/gtest.h>

#include "platform/file_roles.h"

using platform::FileRoles;
using Role = FileRoles::Role;

TEST(FileRoles, ASwitchNeedsAReadyNextFileAndTheFinishedOneCompleted)
{
    FileRoles roles;
    EXPECT_FALSE(roles.switchToNext()) << "no next file";
    const int next = roles.claimNext();
    ASSERT_GE(next, 0);
    EXPECT_NE(next, roles.current());
    EXPECT_FALSE(roles.switchToNext()) << "the next file is still being opened";
    roles.endClaimNext(next, true);
    EXPECT_EQ(roles.claimNext(), -1) << "one next file at a time";

    const int first = roles.current();
    ASSERT_TRUE(roles.switchToNext());
    EXPECT_EQ(roles.current(), next);
    // The finished slot is neither offered for a next file nor switched over until completed.
    const int another = roles.claimNext();
    ASSERT_GE(another, 0);
    EXPECT_NE(another, first);
    EXPECT_NE(another, next);
    roles.endClaimNext(another, true);
    EXPECT_FALSE(roles.switchToNext());
    EXPECT_EQ(roles.claim(Role::Finished), first);
    roles.release(Role::Finished, first);
    EXPECT_EQ(roles.claim(Role::Finished), -1);
    EXPECT_TRUE(roles.switchToNext());
    EXPECT_EQ(roles.current(), another);
}

TEST(FileRoles, AFailedOpenLeavesNoNextFileAndAnUnusableSlotIsPassedOver)
{
    FileRoles roles;
    int slot = roles.claimNext();
    roles.endClaimNext(slot, false);
    EXPECT_EQ(roles.claim(Role::Next), -1);
    EXPECT_FALSE(roles.switchToNext());

    slot = roles.claimNext([&](int i) { return i != 1; });
    EXPECT_NE(slot, 1);
    roles.endClaimNext(slot, true);
    EXPECT_EQ(roles.claim(Role::Next), slot);
    roles.release(Role::Next, slot);
    EXPECT_EQ(roles.claimNext([](int) { return false; }), -1);
}
