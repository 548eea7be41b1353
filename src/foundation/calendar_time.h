// The broken-down calendar form of a time: proleptic Gregorian dates counted in day numbers (day 0
// is 0000-01-01; year 0 exists), times of day to the second, and the zone they are expressed in.
//
// Calendar arithmetic does not validate: a date or time built member-wise may be out of range, and
// IsValid is the caller's check. All types are plain values; use them from one thread at a time.
#pragma once

#include <cstdint>

#include "base/time_value.h"

// Short names, "Jan".."Dec" at 1..12 (index 0 is empty), and weekday names, "Sun".."Sat" at 0..6.
extern const char* const kShortMonthNames[13];
extern const char* const kWeekdayNames[7];

std::uint32_t DaysInMonth(std::uint32_t month, bool leap);
// Days of the year before the first day of the month (month 1..12).
std::uint32_t DaysBeforeMonth(std::uint32_t month, bool leap);
// The month (1..12) that holds the 0-based day of the year.
std::uint32_t MonthOfDayOfYear(std::uint32_t dayOfYear, bool leap);

struct CalendarDate {
    std::uint8_t day = 1;       // 1..31
    std::uint32_t month = 1;    // 1 = January
    std::uint32_t year = 1970;  // the full year

    std::int64_t DayNumber() const;
    void SetFromDayNumber(std::int64_t dayNumber);
    void AddDays(std::int64_t days) { SetFromDayNumber(DayNumber() + days); }
    std::int64_t DaysSince(const CalendarDate& other) const { return DayNumber() - other.DayNumber(); }
    // 0 = Sunday.
    int DayOfWeek() const;
    bool IsLeapYear() const;
    // Month 1..12 and day 1..DaysInMonth.
    bool IsValid() const;
    // 0-based.
    std::uint32_t DayOfYear() const;
};

struct TimeOfDay {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;

    std::int64_t SecondsOfDay() const { return hour * 3600 + minute * 60 + second; }
    // Moves the time by the seconds (negative goes back), modulo one day.
    void AddSeconds(std::int64_t seconds);
    bool IsValid() const { return hour <= 23 && minute < 60 && second < 60; }
};

struct CalendarTime {
    CalendarDate date;
    TimeOfDay time;
    TimeZoneOffset zone;

    // 1970-01-01 00:00:00 in UTC.
    CalendarTime() = default;
    CalendarTime(const CalendarDate& d, const TimeOfDay& t, const TimeZoneOffset& z)
        : date(d), time(t), zone(z) {}
    // The calendar time of the value in the zone. The value is cut to whole seconds toward zero, so
    // one microsecond before the epoch is still 1970-01-01 00:00:00.
    CalendarTime(TimeValue value, const TimeZoneOffset& z);

    // Moves the date and time by the seconds (negative goes back); the zone stays.
    void AddSeconds(std::int64_t seconds);
    bool IsValid() const { return date.IsValid() && time.IsValid(); }
    // Compare the instants, whatever zones the two are expressed in.
    bool IsSameTime(const CalendarTime& other) const;
    bool IsEarlierThan(const CalendarTime& other) const;

  private:
    // The same instant expressed in the other's zone.
    CalendarTime InZoneOf(const CalendarTime& other) const;
};
