#include "platform/native_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/event_descriptor.h"

using namespace PosixPlatform;

namespace {

void* ReportStackSize(void* result) {
    pthread_attr_t attributes;
    ::pthread_getattr_np(::pthread_self(), &attributes);
    ::pthread_attr_getstacksize(&attributes, static_cast<std::size_t*>(result));
    ::pthread_attr_destroy(&attributes);
    return nullptr;
}

void* WaitForEvent(void* event) {
    const int descriptors[] = {static_cast<EventDescriptor*>(event)->Get()};
    WaitForReadyDescriptor(descriptors, kInfiniteWait);
    return nullptr;
}

}  // namespace

// Test labels: NativeThread tsan
TEST(NativeThread, RunsWithTheRequestedStackSize) {
    std::size_t stackBytes = 0;
    NativeThread thread;
    ASSERT_EQ(StartNativeThread(&ReportStackSize, &stackBytes, 524'288, thread), 0);
    JoinNativeThread(thread);
#ifdef __SANITIZE_THREAD__
    EXPECT_GE(stackBytes, 524'288u);  // ThreadSanitizer adds room of its own
#else
    EXPECT_EQ(stackBytes, 524'288u);
#endif
}

TEST(NativeThread, TryJoinReleasesOnlyAnEndedThread) {
    EventDescriptor release;
    NativeThread thread;
    ASSERT_EQ(StartNativeThread(&WaitForEvent, &release, kDefaultStackBytes, thread), 0);
    EXPECT_FALSE(TryJoinNativeThread(thread));
    release.Signal();
    while (!TryJoinNativeThread(thread)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(NativeThread, ImpossibleStackSizeIsReportedNotStarted) {
    NativeThread thread;
    EXPECT_NE(StartNativeThread(&WaitForEvent, nullptr, 1, thread), 0);
    EXPECT_NE(StartDetachedNativeThread(&WaitForEvent, nullptr, 1), 0);
}

// Test labels: ThreadLocalKey tsan
TEST(ThreadLocalKey, DisposesEachThreadsValueOnThatThread) {
    static std::atomic<int> disposed{0};
    disposed = 0;
    ThreadLocalKey key([](void* value) { disposed += *static_cast<int*>(value); });
    int mine = 1, theirs = 10;
    key.Set(&mine);
    std::thread other([&] {
        EXPECT_EQ(key.Get(), nullptr);
        key.Set(&theirs);
    });
    other.join();
    EXPECT_EQ(disposed, 10);
    EXPECT_EQ(key.Get(), &mine);
    key.Set(nullptr);
}
