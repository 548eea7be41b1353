#include "foundation/clocks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "foundation/stopwatch.h"

TEST(Clocks, UTCTimeIsTheSystemTimeInWholeSeconds) {
    auto systemNow = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    TimeValue now = GetCurrentUTCTime();
    EXPECT_EQ(now % 1'000'000, 0);
    EXPECT_LE(std::abs(now - systemNow.count()), 2'000'000);
    CalendarTime calendar = CurrentCalendarTime();
    EXPECT_EQ(calendar.zone.seconds, 0);
    EXPECT_GE(TimeValue().SetFromCalendar(calendar), now);
    EXPECT_LE(NowInSeconds() - now / 1'000'000, 2);
}

TEST(Clocks, MonotonicTimeIsInMicroseconds) {
    std::int64_t before = GetMonotonicTime();
    std::int64_t counterBefore = GetPerformanceCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(GetMonotonicTime() - before, 20'000);
    EXPECT_GE(GetPerformanceCounter() - counterBefore, 20'000'000);
}

TEST(Clocks, LocalZoneOffsetComesFromTheSystemZone) {
    ASSERT_EQ(::setenv("TZ", "EST5", 1), 0);
    TimeZoneOffset zone = GetLocalZoneOffset();
    EXPECT_EQ(zone.seconds, -18'000);
    EXPECT_EQ(zone.microseconds, -18'000'000'000);
}

TEST(Stopwatch, AccumulatesRunningSpans) {
    Stopwatch watch;
    EXPECT_EQ(watch.GetElapsed(), 0u);
    watch.Stop();
    EXPECT_EQ(watch.GetElapsed(), 0u) << "stopping a stopped stopwatch adds nothing";

    watch.Start();
    std::uint64_t first = watch.GetElapsed();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(watch.GetElapsed(), first + 5'000) << "a running stopwatch grows";
    watch.Stop();
    std::uint64_t stopped = watch.GetElapsed();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(watch.GetElapsed(), stopped) << "a stopped stopwatch stays";

    watch.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    watch.Stop();
    EXPECT_GE(watch.GetElapsed(), stopped + 2'000) << "spans add up";
    watch.Reset();
    EXPECT_EQ(watch.GetElapsed(), 0u);
}
