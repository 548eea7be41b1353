#include "foundation/clocks.h"

#include "platform/system_clock.h"
#include "platform/system_error.h"

TimeValue GetCurrentUTCTime() {
    return PosixPlatform::RealtimeSeconds() * kMicrosecondsPerSecond;
}

std::int64_t NowInSeconds() {
    return GetCurrentUTCTime() / kMicrosecondsPerSecond;
}

CalendarTime CurrentCalendarTime() {
    return CalendarTime(GetCurrentUTCTime(), TimeZoneOffset());
}

std::int64_t GetMonotonicTime() {
    return PosixPlatform::MonotonicNanoseconds() / 1000;
}

std::int64_t GetPerformanceCounter() {
    try {
        return PosixPlatform::MonotonicNanoseconds();
    } catch (const Posix::Error&) {
        throw TimeUtilityException();
    }
}

TimeZoneOffset GetLocalZoneOffset() {
    return TimeZoneOffset(PosixPlatform::LocalZoneOffsetSeconds(PosixPlatform::RealtimeSeconds()));
}
