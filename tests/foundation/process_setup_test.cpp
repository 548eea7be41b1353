#include "foundation/process_setup.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

// Test labels: ProcessSetup tsan
TEST(ProcessSetup, EachLockIsOneObjectBuiltOnFirstUseFromAnyThread) {
    // Threads racing for the first use all get the same lock.
    constexpr int kThreads = 8;
    std::vector<CriticalSection*> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) threads.emplace_back([&seen, i] { seen[i] = &MirrorRequestLock(); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::set<CriticalSection*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], &MirrorRequestLock());

    std::set<CriticalSection*> locks{&ClientRegistrationLock(), &RegistrationListLock(),
                                     &MirrorRequestLock()};
    EXPECT_EQ(locks.size(), 3u);
}

}  // namespace
