#include "foundation/critical_section.h"

#include <gtest/gtest.h>

#include <thread>

#include "foundation/locked_object.h"

namespace {

// Whether another thread could enter the section right now.
bool IsFreeForOtherThreads(CriticalSection& section) {
    bool entered = false;
    std::thread other([&] { entered = TryLockCriticalSection(section).IsHeld(); });
    other.join();
    return entered;
}

}  // namespace

// Test labels: CriticalSection tsan
TEST(CriticalSection, IsRecursiveForItsOwner) {
    CriticalSection section;
    {
        CriticalSectionGuard outer(section);
        CriticalSectionGuard inner(section);
        EXPECT_TRUE(TryLockCriticalSection(section).IsHeld());
        EXPECT_FALSE(IsFreeForOtherThreads(section));
    }
    EXPECT_TRUE(IsFreeForOtherThreads(section));
}

TEST(CriticalSection, TryLockOfASectionHeldElsewhereReturnsEmptyAtOnce) {
    CriticalSection section;
    CriticalSectionLock held = LockCriticalSection(section);
    EXPECT_FALSE(IsFreeForOtherThreads(section));
    held = CriticalSectionLock();
    EXPECT_TRUE(IsFreeForOtherThreads(section));
}

TEST(CriticalSection, MovedLockLeavesOnce) {
    CriticalSection section;
    {
        CriticalSectionLock first = LockCriticalSection(section);
        CriticalSectionLock second(std::move(first));
        EXPECT_FALSE(first.IsHeld());
        EXPECT_TRUE(second.IsHeld());
    }
    EXPECT_TRUE(IsFreeForOtherThreads(section));
}

TEST(CriticalSection, LockPLLeavesWhenTheLastCopyDies) {
    CriticalSection section;
    auto original = std::make_unique<LockPL>(section);
    auto copy = std::make_unique<LockPL>(*original);
    auto copyOfCopy = std::make_unique<LockPL>(*copy);
    original.reset();
    EXPECT_FALSE(IsFreeForOtherThreads(section));
    copyOfCopy.reset();
    EXPECT_FALSE(IsFreeForOtherThreads(section));
    copy.reset();
    EXPECT_TRUE(IsFreeForOtherThreads(section));
}

TEST(CriticalSection, LockedObjectHoldsTheSectionWhileItLives) {
    Guarded<int> count;
    {
        auto locked = LockObject(count);
        *locked += 5;
        EXPECT_FALSE(IsFreeForOtherThreads(count.section));
    }
    EXPECT_TRUE(IsFreeForOtherThreads(count.section));
    EXPECT_EQ(*LockObject(count), 5);

    struct Owner {
        int value = 0;
        CriticalSection lock;
    } owner;
    *LockObject(owner.value, owner.lock) = 7;
    EXPECT_EQ(owner.value, 7);
    EXPECT_TRUE(IsFreeForOtherThreads(owner.lock));
}

TEST(CriticalSection, GuardedCountStaysExactUnderContention) {
    Guarded<int> count;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10'000; ++i) ++*LockObject(count);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(*LockObject(count), 80'000);
}
