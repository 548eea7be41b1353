#include "foundation/time_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/interval_parser.h"
#include "foundation/time_text.h"

namespace {

// What a parse gave: the time in the text form (its zone included) or the failure's class name.
template <class Lexer, class Describe>
std::string Outcome(const std::string& text, std::size_t chunk, Describe describe) {
    Lexer lexer;
    try {
        lexer.Begin();
        for (std::size_t at = 0; at < text.size(); at += chunk)
            lexer.Receive(ConstData(std::string_view(text).substr(at, chunk)));
        lexer.End();
        return describe(lexer.Result());
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

std::string TimeOutcome(const std::string& text, std::size_t chunk) {
    return Outcome<TimeLexer>(text, chunk, [](const CalendarTime& t) {
        return std::string(FormatCalendarTime(t).View()) + " (" + std::to_string(t.zone.seconds) + ")";
    });
}

std::string IntervalOutcome(const std::string& text, std::size_t chunk) {
    return Outcome<IntervalLexer>(text, chunk, [](std::int64_t us) { return std::to_string(us); });
}

}  // namespace

TEST(TimeParser, ReadsTimeStampsAndNamesEachFailure) {
    const struct {
        const char* text;
        const char* outcome;
    } cases[] = {
        {"Thu, 01 Jan 1970 00:00:00 +0000", "Thu, 01 Jan 1970 00:00:00 +0000 (0)"},
        {"Fri, 01 Jan 1970 00:00:00 GMT", "class WrongDayOfWeek"},
        {"1 Jan 70 10:00 EST", "Thu, 01 Jan 1970 10:00:00 -0500 (-18000)"},
        {"01 Jan 05 00:00 GMT", "Sun, 01 Jan 1905 00:00:00 +0000 (0)"},
        {"01 Jan 070 00:00 UT", "Wed, 01 Jan 0070 00:00:00 +0000 (0)"},
        {"31 Apr 2010 00:00:00 GMT", "class NoSuchDate"},
        {"29 Feb 1900 00:00 GMT", "class NoSuchDate"},
        {"00 Jan 2010 00:00 GMT", "class NoSuchDate"},
        {"01 Jan 2010 24:00 GMT", "class NoSuchTimeOfDay"},
        {"01 Jan 2010 23:59:60 GMT", "class NoSuchTimeOfDay"},
        {"Mon, 31 Apr 2010 24:00 GMT", "class NoSuchDate"},   // the date is checked first
        {"Mon, 01 Jan 2010 24:00", "class NoSuchTimeOfDay"},  // then the time, the weekday, the zone
        {"Mon, 01 Jan 2010 00:00", "class WrongDayOfWeek"},
        {"01 Jan 2010 00:00:00", "class NoTimeZone"},
        {"01 Jan 2010 00:00:00 Z", "class NoTimeZone"},
        {"01 Jan 2010 00:00:00 a", "class NoTimeZone"},
        {"01 January 2010 00:00 GMT", "class ParsingFailure"},
        {"01 Jan 12010 00:00 GMT", "class ParsingFailure"},
        {"01 Jan 2010 00:00 J", "class ParsingFailure"},
        {"01 Jan 2010 00:00 GMT extra", "class ParsingFailure"},
        {"01 Jan 2010 00:00 GMT GMT", "class ParsingFailure"},
        {"01 Jan 2010 00:00 +100", "class ParsingFailure"},
        {"01 Jan 2010 0:00 GMT", "class ParsingFailure"},
        {"01 Jan 2010 00", "class ParsingFailure"},
        {"Thu 01 Jan 1970 00:00 GMT", "class ParsingFailure"},
        {"01 Jan 7 00:00 GMT", "class ParsingFailure"},
        {"01/Jan/2010 00:00 GMT", "class ParsingFailure"},
        {"", "class ParsingFailure"},
        {"\xc3\xa9", "class ParsingFailure"},
        {"thu,01jan1970 00:00:00-0130", "Thu, 01 Jan 1970 00:00:00 -0130 (-5400)"},
        {"\tTHU ,\r\n1 JAN 1970 01:02:03 pdt ", "Thu, 01 Jan 1970 01:02:03 -0700 (-25200)"},
        {"01 Jan 2010 00:00 +0099", "Fri, 01 Jan 2010 00:00:00 +0139 (5940)"},  // minutes beyond 59 add up
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeOutcome(c.text, std::string(c.text).size() + 1), c.outcome) << c.text;
        EXPECT_EQ(TimeOutcome(c.text, 1), c.outcome) << c.text << " fed one byte at a time";
    }
    const std::string withNul("01 Jan 2010\0 00:00 GMT", 22);
    EXPECT_EQ(TimeOutcome(withNul, withNul.size()), "class ParsingFailure");
    EXPECT_EQ(TimeOutcome(withNul, 1), "class ParsingFailure");
}

TEST(TimeParser, ReadsBackWhatTheWriterWrote) {
    for (std::int64_t seconds = -62'135'596'800; seconds < 253'402'300'800; seconds += 86'400 * 97 + 3'607) {
        for (std::int32_t zone : {0, -18'000, 19'800, 50'400}) {
            CalendarTime written(seconds * kMicrosecondsPerSecond, TimeZoneOffset(zone));
            CalendarTime read = ParseTimeText(ConstData(FormatCalendarTime(written).View()));
            ASSERT_TRUE(read.IsSameTime(written)) << FormatCalendarTime(written).View();
            ASSERT_EQ(read.zone.seconds, zone);
            ASSERT_EQ(TimeValue().SetFromCalendar(read), seconds * kMicrosecondsPerSecond);
        }
    }
}

TEST(IntervalParser, ReadsIntervalsAndRefusesOtherText) {
    const struct {
        const char* text;
        const char* outcome;
    } cases[] = {
        {"2 days", "172800000000"},
        {"1 day", "86400000000"},
        {"-1 day, 01:00:00", "-90000000000"},
        {"+1 DAY,01:00:00", "90000000000"},
        {"1.5 days", "129600000000"},
        {"01:02:03", "3723000000"},
        {"-00:00:00.5", "-500000"},
        {"90:00:00", "324000000000"},
        {".5 days", "43200000000"},
        {"0 days", "0"},
        {"0.0000001:0:0", "360"},
        {"99999999999999 days", "9223372036854775807"},
        {"-99999999999999 days", "-9223372036854775808"},
        {"01:30", "class ParsingFailure"},
        {"1 dayz", "class ParsingFailure"},
        {"1 dayss", "class ParsingFailure"},
        {"1 hour", "class ParsingFailure"},
        {"1.2.3 days", "class ParsingFailure"},
        {"1 day 01:00:00", "class ParsingFailure"},
        {"1 day,", "class ParsingFailure"},
        {"1:2:3 days", "class ParsingFailure"},
        {"--1 day", "class ParsingFailure"},
        {"1e3 days", "class ParsingFailure"},
        {"days", "class ParsingFailure"},
        {"", "class ParsingFailure"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IntervalOutcome(c.text, std::string(c.text).size() + 1), c.outcome) << c.text;
        EXPECT_EQ(IntervalOutcome(c.text, 1), c.outcome) << c.text << " fed one byte at a time";
    }
    EXPECT_EQ(ParseIntervalText(ConstData(std::string_view("2 days"))), 172'800'000'000);
}
