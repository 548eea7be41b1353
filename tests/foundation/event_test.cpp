#include "foundation/event.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/stop_event.h"
#include "platform/file_descriptor.h"

using PosixPlatform::FileDescriptor;

TEST(EventWaitTime, MicrosecondsBecomeTruncatedMilliseconds) {
    const struct {
        std::int64_t microseconds;
        std::uint32_t milliseconds;
    } cases[] = {
        {0, 0},
        {999, 0},
        {1000, 1},
        {1999, 1},
        {-5, 0},
        {-1000, 0},
        {-999'999'999, 0},
        {std::numeric_limits<std::int64_t>::min(), 0},
        {1'000'000, 1000},
        {4'294'967'294'000, 4'294'967'294},
        {4'294'967'294'999, 4'294'967'294},
        {4'294'967'295'000, kLongestLimitedWaitMilliseconds},  // would be the unlimited code: clamped
        {9'000'000'000'000'000'000, kLongestLimitedWaitMilliseconds},
        {kWaitWithoutLimit - 1, kLongestLimitedWaitMilliseconds},
        {kWaitWithoutLimit, PosixPlatform::kInfiniteWait},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MicrosecondsToWaitMilliseconds(c.microseconds), c.milliseconds) << c.microseconds;
}

// Test labels: Event tsan
TEST(Event, ZeroTimePollSeesTheState) {
    Event event;
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(999)) << "below one millisecond only looks";
    EXPECT_FALSE(event.Wait(-5));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(WaitOnEvent(event, 0));
    EXPECT_TRUE(event.Wait(kWaitWithoutLimit)) << "a set event ends even an unlimited wait at once";
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(20'000));
}

TEST(Event, OneSetWakesEveryWaiter) {
    Event event;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 16; ++i)
        waiters.emplace_back([&] {
            if (event.Wait(kWaitWithoutLimit)) ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(woken, 0);
    event.Set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(woken, 16);
}

TEST(Event, SetOrdersTheSettersWritesBeforeTheWaitersReads) {
    Event event;
    int message = 0;  // deliberately not atomic: the event alone must order it
    std::thread waiter([&] {
        ASSERT_TRUE(event.Wait(kWaitWithoutLimit));
        EXPECT_EQ(message, 42);
    });
    message = 42;
    event.Set();
    waiter.join();
}

TEST(Event, WaitWithHandleEndsOnEitherSide) {
    Event event;
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    FileDescriptor readEnd(ends[0]), writeEnd(ends[1]);
    EXPECT_FALSE(event.WaitWithHandle(readEnd.Get(), 10'000));
    ASSERT_EQ(::write(writeEnd.Get(), "x", 1), 1);
    EXPECT_TRUE(event.WaitWithHandle(readEnd.Get(), kWaitWithoutLimit));

    Event other;
    int idle[2];
    ASSERT_EQ(::pipe2(idle, O_CLOEXEC), 0);
    FileDescriptor idleRead(idle[0]), idleWrite(idle[1]);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        other.Set();
    });
    EXPECT_TRUE(other.WaitWithHandle(idleRead.Get(), kWaitWithoutLimit));
    setter.join();
}

TEST(Event, ProcessStopEventIsOneClearEvent) {
    Event& stop = ProcessStopEvent();
    EXPECT_EQ(&stop, &ProcessStopEvent());
    EXPECT_FALSE(stop.Wait(0));
}
