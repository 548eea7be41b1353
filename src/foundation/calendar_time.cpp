#include "foundation/calendar_time.h"

#include <tuple>

const char* const kShortMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

namespace {

constexpr std::uint32_t kDaysInMonth[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::uint32_t kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// Day of year 58 (0-based) is February 28th; a leap year inserts its extra day after it.
constexpr std::int64_t kLastDayOfYearBeforeLeapDay = 58;

bool IsLeap(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Floored division and remainder: the remainder is never negative.
std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
    std::int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}
std::int64_t FloorModulo(std::int64_t value, std::int64_t divisor) {
    std::int64_t rest = value % divisor;
    return rest < 0 ? rest + divisor : rest;
}

constexpr std::int64_t kEpochDayNumber = 719'528;  // CalendarDate{1, 1, 1970}.DayNumber()

// The fields in the order in which they rank two times of one zone.
auto Fields(const CalendarTime& t) {
    return std::make_tuple(t.date.year, t.date.month, t.date.day, t.time.hour, t.time.minute, t.time.second);
}

}  // namespace

std::uint32_t DaysInMonth(std::uint32_t month, bool leap) {
    if (month < 1 || month > 12) return 0;
    return kDaysInMonth[month] + (leap && month == 2 ? 1 : 0);
}

std::uint32_t DaysBeforeMonth(std::uint32_t month, bool leap) {
    if (month < 1 || month > 12) return 0;
    return kDaysBeforeMonth[month] + (leap && month > 2 ? 1 : 0);
}

std::uint32_t MonthOfDayOfYear(std::uint32_t dayOfYear, bool leap) {
    // Outside February 29th a leap year's days line up with a common year's once shifted by one.
    std::int64_t commonDay = dayOfYear;
    if (leap && dayOfYear > kLastDayOfYearBeforeLeapDay) --commonDay;
    for (std::uint32_t month = 2; month <= 12; ++month)
        if (kDaysBeforeMonth[month] > commonDay) return month - 1;
    return 12;
}

bool CalendarDate::IsLeapYear() const {
    return IsLeap(year);
}

bool CalendarDate::IsValid() const {
    return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(month, IsLeapYear());
}

std::uint32_t CalendarDate::DayOfYear() const {
    return DaysBeforeMonth(month, IsLeapYear()) + day - 1;
}

std::int64_t CalendarDate::DayNumber() const {
    const std::int64_t y = year;
    const std::int64_t dayOfYear = DayOfYear();
    if (y == 0) return dayOfYear;
    // Year 0 is a leap year of 366 days; then 365 a year plus the leap days of years 1..y-1.
    return dayOfYear + 365 * y + (y - 1) / 4 - (y - 1) / 100 + (y - 1) / 400 + 1;
}

void CalendarDate::SetFromDayNumber(std::int64_t n) {
    // Count in days since the end of year 0, fold the leap days of each 400-, 100- and 4-year cycle
    // away, and what remains is a whole number of 365-day years.
    std::int64_t b = n - (n > 0 ? 1 : 0);
    b -= b / 146097;
    b += b / 36524;
    b -= b / 1461;
    const std::int64_t y = b / 365;
    const std::int64_t dayOfYear = y == 0 ? n : n + (y - 1) / 100 - (y - 1) / 400 - (y - 1) / 4 - 365 * y - 1;
    const bool leap = IsLeap(y);
    year = static_cast<std::uint32_t>(y);
    month = MonthOfDayOfYear(static_cast<std::uint32_t>(dayOfYear), leap);
    day = static_cast<std::uint8_t>(dayOfYear - DaysBeforeMonth(month, leap) + 1);
}

int CalendarDate::DayOfWeek() const {
    return static_cast<int>(FloorModulo(DayNumber() + 6, 7));
}

void TimeOfDay::AddSeconds(std::int64_t seconds) {
    std::int64_t moved = FloorModulo(SecondsOfDay() + FloorModulo(seconds, kSecondsPerDay), kSecondsPerDay);
    hour = static_cast<std::uint8_t>(moved / 3600);
    minute = static_cast<std::uint8_t>(moved / 60 % 60);
    second = static_cast<std::uint8_t>(moved % 60);
}

CalendarTime::CalendarTime(TimeValue value, const TimeZoneOffset& z) {
    AddSeconds(static_cast<std::int64_t>(value) / kMicrosecondsPerSecond);  // truncates toward zero
    AddSeconds(z.seconds);
    zone = z;
}

CalendarTime CalendarTime::InZoneOf(const CalendarTime& other) const {
    CalendarTime moved = *this;
    moved.AddSeconds(static_cast<std::int64_t>(other.zone.seconds) - zone.seconds);
    moved.zone = other.zone;
    return moved;
}

void CalendarTime::AddSeconds(std::int64_t seconds) {
    std::int64_t days = FloorDivide(seconds, kSecondsPerDay);
    std::int64_t rest = FloorModulo(seconds, kSecondsPerDay);
    if (time.SecondsOfDay() + rest >= kSecondsPerDay) ++days;
    date.AddDays(days);
    time.AddSeconds(rest);
}

bool CalendarTime::IsSameTime(const CalendarTime& other) const {
    return Fields(*this) == Fields(other.InZoneOf(*this));
}

bool CalendarTime::IsEarlierThan(const CalendarTime& other) const {
    return Fields(*this) < Fields(other.InZoneOf(*this));
}

TimeValue& TimeValue::SetFromCalendar(const CalendarTime& calendar) {
    // Unsigned arithmetic: a member-wise calendar time with an absurd year wraps instead of
    // overflowing a signed value; every year that text can name (up to 9999) fits exactly.
    const std::uint64_t days = static_cast<std::uint64_t>(calendar.date.DayNumber() - kEpochDayNumber);
    const std::uint64_t microseconds =
        days * static_cast<std::uint64_t>(kSecondsPerDay * kMicrosecondsPerSecond) +
        static_cast<std::uint64_t>(calendar.time.SecondsOfDay() * kMicrosecondsPerSecond) -
        static_cast<std::uint64_t>(calendar.zone.microseconds);
    m_microseconds = static_cast<std::int64_t>(microseconds);
    return *this;
}
