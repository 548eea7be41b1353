#include "relay/gather/mirror_directory_lock.h"

#include <gtest/gtest.h>

#include <string>

#include "support/exception_text.h"

namespace {

const std::string kAlreadyLocked = "MirrorDirectoryLock: Cannot acquire lock... already locked";

}  // namespace

TEST(MirrorDirectoryLock, APathIsTakenOnceIgnoringLetterCase) {
    MirrorDirectoryLock locks;
    locks.Lock("/m/daruravidumirror_3_7");
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/daruravidumirror_3_7"); }), kAlreadyLocked);
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/M/DaruraviduMirror_3_7"); }), kAlreadyLocked);
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/daruravidumirror_3_7/"); }), "no error");
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/daruravidumirror_3"); }), "no error");
    locks.Unlock("/m/not-locked");
    locks.Unlock("/M/DARURAVIDUMIRROR_3_7");
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/daruravidumirror_3_7"); }), "no error");
}

TEST(MirrorDirectoryLockToken, HoldsItsPathUntilReleased) {
    MirrorDirectoryLock locks;
    {
        MirrorDirectoryLockToken first(locks);
        MirrorDirectoryLockToken second(locks);
        first.AcquireLock("/m/a");
        second.AcquireLock("/m/b");
        EXPECT_EQ(ErrorOf([&] { first.AcquireLock("/m/c"); }),
                  "MirrorDirectoryLockToken: AcquireLock called when it is already locked");

        {
            MirrorDirectoryLockToken refused(locks);
            EXPECT_EQ(ErrorOf([&] { refused.AcquireLock("/m/A"); }), kAlreadyLocked);
            EXPECT_FALSE(refused.IsLocked());
        }
        EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/a"); }), kAlreadyLocked);
    }
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/a"); }), "no error");
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/b"); }), "no error");

    MirrorDirectoryLockToken token(locks);
    EXPECT_EQ(ErrorOf([&] { token.AcquireLock("/m/a"); }), kAlreadyLocked);
    locks.Unlock("/m/a");
    token.AcquireLock("/m/a");
    token.Release();
    EXPECT_EQ(ErrorOf([&] { locks.Lock("/m/a"); }), "no error");
}
