// TimeValue: the one representation of time in the relay, a signed 64-bit count of microseconds
// since 1970-01-01 00:00:00 UTC. Durations and time-outs are signed 64-bit microsecond counts of
// the same unit (1'000'000 is one second), so a TimeValue converts to and from std::int64_t freely.
//
// TimeZoneOffset: how far a zone lies east of UTC, in seconds and in microseconds.
#pragma once

#include <cstdint>

constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;

struct CalendarTime;

class TimeValue {
  public:
    constexpr TimeValue(std::int64_t microseconds = 0) : m_microseconds(microseconds) {}
    constexpr operator std::int64_t() const { return m_microseconds; }

    // Becomes the instant that the calendar time names in its zone, and returns itself. Defined with
    // CalendarTime (calendar_time.h).
    TimeValue& SetFromCalendar(const CalendarTime& calendar);

  private:
    std::int64_t m_microseconds;
};

struct TimeZoneOffset {
    constexpr TimeZoneOffset() = default;
    constexpr explicit TimeZoneOffset(std::int32_t eastSeconds)
        : seconds(eastSeconds), microseconds(eastSeconds * kMicrosecondsPerSecond) {}

    std::int32_t seconds = 0;
    std::int64_t microseconds = 0;
};
