#include "platform/system_clock.h"

#include <time.h>

#include <cerrno>

#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

timespec ReadClock(clockid_t clock) {
    timespec now{};
    Posix::CheckResult(::clock_gettime(clock, &now) == 0);
    return now;
}

}  // namespace

std::int64_t RealtimeSeconds() {
    return ReadClock(CLOCK_REALTIME).tv_sec;
}

std::int64_t MonotonicNanoseconds() {
    timespec now = ReadClock(CLOCK_MONOTONIC);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int32_t LocalZoneOffsetSeconds(std::int64_t utcSeconds) {
    // localtime_r need not look at the zone settings again after the first call; tzset does, and
    // glibc re-reads the zone file only when it changed. So an administrator's change of zone shows
    // in the next log line without a restart.
    ::tzset();
    time_t when = static_cast<time_t>(utcSeconds);
    tm fields{};
    errno = 0;
    if (::localtime_r(&when, &fields) == nullptr) throw Posix::Error(errno != 0 ? errno : EOVERFLOW);
    return static_cast<std::int32_t>(fields.tm_gmtoff);
}

}  // namespace PosixPlatform
