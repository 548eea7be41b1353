#include "platform/system_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/os_version.h"

TEST(SystemClock, RealtimeFollowsTheSystemClock) {
    auto before =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    std::int64_t now = PosixPlatform::RealtimeSeconds();
    auto after =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    EXPECT_GE(now, before.count());
    EXPECT_LE(now, after.count());
}

TEST(SystemClock, MonotonicNeverGoesBack) {
    std::int64_t previous = PosixPlatform::MonotonicNanoseconds();
    for (int i = 0; i < 1000; ++i) {
        std::int64_t now = PosixPlatform::MonotonicNanoseconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(SystemClock, LocalZoneFollowsAChangeOfZone) {
    ASSERT_EQ(::setenv("TZ", "EST5", 1), 0);
    EXPECT_EQ(PosixPlatform::LocalZoneOffsetSeconds(0), -18'000);
    ASSERT_EQ(::setenv("TZ", "IST-5:30", 1), 0);
    EXPECT_EQ(PosixPlatform::LocalZoneOffsetSeconds(0), 19'800);
    // Daylight saving counts: New York in July is four hours west.
    ASSERT_EQ(::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1), 0);
    EXPECT_EQ(PosixPlatform::LocalZoneOffsetSeconds(1'720'000'000), -14'400);
}

TEST(OSVersion, NamesTheRunningKernel) {
    EXPECT_EQ(PosixPlatform::RunningSystemName().rfind("Linux ", 0), 0u);
}
