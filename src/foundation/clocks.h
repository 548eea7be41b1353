// The clocks and the local time zone. Every function may be called from any thread.
#pragma once

#include <cstdint>

#include "base/exceptions.h"
#include "foundation/calendar_time.h"

class TimeUtilityException : public ExceptionPL {
  public:
    TimeUtilityException() : ExceptionPL("The TimeUtilitiesPL library encountered an error.") {}
};

// The current UTC time, always a whole second (the fraction is dropped).
TimeValue GetCurrentUTCTime();
// The current UTC time in whole seconds since 1970.
std::int64_t NowInSeconds();
// The current time as a calendar time in UTC.
CalendarTime CurrentCalendarTime();
// Microseconds of the monotonic clock; only differences are meaningful, and it never goes back.
std::int64_t GetMonotonicTime();
// The raw high-resolution counter (nanoseconds of the monotonic clock); a failing clock throws
// TimeUtilityException.
std::int64_t GetPerformanceCounter();
// The offset of the local zone now, daylight saving included.
TimeZoneOffset GetLocalZoneOffset();
