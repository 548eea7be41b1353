// The Linux clocks and the local time zone, read through clock_gettime and localtime_r.
// Every function may be called from any thread.
#pragma once

#include <cstdint>

namespace PosixPlatform {

// Whole seconds of CLOCK_REALTIME (UTC) since 1970-01-01 00:00:00.
std::int64_t RealtimeSeconds();
// CLOCK_MONOTONIC in nanoseconds; only differences are meaningful. Never goes back.
std::int64_t MonotonicNanoseconds();
// Seconds east of UTC of the local zone at the given UTC time (tm_gmtoff), daylight saving included.
// A change of the system's zone is seen on the next call. A time the C library cannot convert throws
// Posix::Error.
std::int32_t LocalZoneOffsetSeconds(std::int64_t utcSeconds);

}  // namespace PosixPlatform
