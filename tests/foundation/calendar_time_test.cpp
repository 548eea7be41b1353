#include "foundation/calendar_time.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

constexpr std::int64_t kDayNumberOf1970 = 719'528;

CalendarDate Date(int year, unsigned month, unsigned day) {
    return CalendarDate{static_cast<std::uint8_t>(day), month, static_cast<std::uint32_t>(year)};
}

}  // namespace

TEST(CalendarTime, EveryDayOfYears1To9999MatchesStdChrono) {
    using namespace std::chrono;
    const sys_days first = year_month_day{year{1}, January, day{1}};
    const sys_days last = year_month_day{year{9999}, December, day{31}};
    for (sys_days d = first; d <= last; d += days{1}) {
        const year_month_day expected{d};
        const std::int64_t dayNumber = d.time_since_epoch().count() + kDayNumberOf1970;
        CalendarDate date;
        date.SetFromDayNumber(dayNumber);
        ASSERT_EQ(date.year, static_cast<std::uint32_t>(int(expected.year()))) << dayNumber;
        ASSERT_EQ(date.month, unsigned(expected.month())) << dayNumber;
        ASSERT_EQ(date.day, unsigned(expected.day())) << dayNumber;
        ASSERT_EQ(date.DayNumber(), dayNumber);
        ASSERT_EQ(date.DayOfWeek(), int(weekday{d}.c_encoding())) << dayNumber;
        ASSERT_TRUE(date.IsValid());
    }
}

TEST(CalendarTime, DayNumbersAroundYearZero) {
    EXPECT_EQ(Date(0, 1, 1).DayNumber(), 0);
    EXPECT_EQ(Date(0, 12, 31).DayNumber(), 365) << "year 0 is a leap year";
    EXPECT_EQ(Date(1, 1, 1).DayNumber(), 366);
    EXPECT_EQ(Date(1970, 1, 1).DayNumber(), kDayNumberOf1970);
    for (std::int64_t n : {0, 59, 60, 365, 366}) {
        CalendarDate date;
        date.SetFromDayNumber(n);
        EXPECT_EQ(date.DayNumber(), n);
        EXPECT_EQ(date.year, n < 366 ? 0u : 1u);
    }
}

TEST(CalendarTime, DateRules) {
    EXPECT_TRUE(Date(2000, 2, 29).IsValid());
    EXPECT_FALSE(Date(1900, 2, 29).IsValid());
    EXPECT_TRUE(Date(2004, 2, 29).IsValid());
    EXPECT_FALSE(Date(2010, 4, 31).IsValid());
    EXPECT_FALSE(Date(2010, 13, 1).IsValid());
    EXPECT_FALSE(Date(2010, 0, 1).IsValid());
    EXPECT_FALSE(Date(2010, 1, 0).IsValid());
    EXPECT_EQ(Date(2000, 1, 1).DayOfWeek(), 6);
    EXPECT_EQ(Date(1970, 1, 1).DayOfWeek(), 4);
    EXPECT_EQ(Date(2000, 3, 1).DaysSince(Date(2000, 2, 1)), 29);
    CalendarDate date = Date(1999, 12, 31);
    date.AddDays(60);
    EXPECT_EQ(date.DayNumber(), Date(2000, 2, 29).DayNumber());
    EXPECT_EQ(Date(2000, 12, 31).DayOfYear(), 365u);
    EXPECT_EQ(MonthOfDayOfYear(59, true), 2u);
    EXPECT_EQ(MonthOfDayOfYear(59, false), 3u);
    EXPECT_EQ(DaysBeforeMonth(3, true), 60u);
    EXPECT_EQ(DaysInMonth(2, true), 29u);
}

TEST(CalendarTime, FromTimeValueTruncatesTowardZero) {
    const struct {
        std::int64_t value;
        std::int32_t zone;
        int year;
        unsigned month, day, hour, minute, second;
    } cases[] = {
        {0, 0, 1970, 1, 1, 0, 0, 0},
        {-1, 0, 1970, 1, 1, 0, 0, 0},
        {-999'999, 0, 1970, 1, 1, 0, 0, 0},
        {-1'000'000, 0, 1969, 12, 31, 23, 59, 59},
        {86'399'999'999, 0, 1970, 1, 1, 23, 59, 59},
        {0, -18'000, 1969, 12, 31, 19, 0, 0},
        {0, 19'800, 1970, 1, 1, 5, 30, 0},
        {951'782'400'000'000, 0, 2000, 2, 29, 0, 0, 0},
        {253'402'300'799'000'000, 0, 9999, 12, 31, 23, 59, 59},
    };
    for (const auto& c : cases) {
        CalendarTime t(c.value, TimeZoneOffset(c.zone));
        EXPECT_EQ(t.date.year, static_cast<std::uint32_t>(c.year)) << c.value;
        EXPECT_EQ(t.date.month, c.month) << c.value;
        EXPECT_EQ(t.date.day, c.day) << c.value;
        EXPECT_EQ(t.time.hour, c.hour) << c.value;
        EXPECT_EQ(t.time.minute, c.minute) << c.value;
        EXPECT_EQ(t.time.second, c.second) << c.value;
        EXPECT_EQ(t.zone.seconds, c.zone);
        EXPECT_EQ(t.zone.microseconds, c.zone * 1'000'000LL);
        if (c.value % 1'000'000 == 0)
            EXPECT_EQ(TimeValue().SetFromCalendar(t), c.value) << "round trip of " << c.value;
    }
}

TEST(CalendarTime, SetFromCalendarSubtractsTheZone) {
    CalendarTime t(Date(1970, 1, 2), TimeOfDay{0, 0, 0}, TimeZoneOffset(3600));
    EXPECT_EQ(TimeValue().SetFromCalendar(t), 82'800'000'000);
}

TEST(CalendarTime, AddSecondsCarriesIntoTheDate) {
    CalendarTime t(Date(1999, 12, 31), TimeOfDay{23, 59, 30}, TimeZoneOffset());
    t.AddSeconds(30);
    EXPECT_EQ(t.date.DayNumber(), Date(2000, 1, 1).DayNumber());
    EXPECT_EQ(t.time.SecondsOfDay(), 0);
    t.AddSeconds(-1);
    EXPECT_EQ(t.date.DayNumber(), Date(1999, 12, 31).DayNumber());
    EXPECT_EQ(t.time.SecondsOfDay(), 86'399);
    t.AddSeconds(-86'400 * 365 - 86'399);
    EXPECT_EQ(t.date.DayNumber(), Date(1998, 12, 31).DayNumber());
    EXPECT_EQ(t.time.SecondsOfDay(), 0);

    TimeOfDay clock{23, 0, 0};
    clock.AddSeconds(3 * 3600);
    EXPECT_EQ(clock.hour, 2);
    clock.AddSeconds(-3 * 3600 - 1);
    EXPECT_EQ(clock.SecondsOfDay(), 23 * 3600 - 1);
}

TEST(CalendarTime, ComparisonIgnoresTheZoneOfExpression) {
    CalendarTime utc(Date(2010, 1, 1), TimeOfDay{12, 0, 0}, TimeZoneOffset());
    CalendarTime newYork(Date(2010, 1, 1), TimeOfDay{7, 0, 0}, TimeZoneOffset(-18'000));
    CalendarTime later(Date(2010, 1, 1), TimeOfDay{7, 0, 1}, TimeZoneOffset(-18'000));
    EXPECT_TRUE(utc.IsSameTime(newYork));
    EXPECT_TRUE(newYork.IsSameTime(utc));
    EXPECT_FALSE(utc.IsEarlierThan(newYork));
    EXPECT_TRUE(utc.IsEarlierThan(later));
    EXPECT_FALSE(later.IsEarlierThan(utc));
    EXPECT_TRUE(CalendarTime().IsSameTime(CalendarTime(0, TimeZoneOffset(3600))));
}

TEST(CalendarTime, TimeOfDayRules) {
    EXPECT_TRUE((TimeOfDay{23, 59, 59}.IsValid()));
    EXPECT_FALSE((TimeOfDay{24, 0, 0}.IsValid()));
    EXPECT_FALSE((TimeOfDay{0, 60, 0}.IsValid()));
    EXPECT_FALSE((TimeOfDay{0, 0, 60}.IsValid()));
}
