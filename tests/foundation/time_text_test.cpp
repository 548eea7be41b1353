#include "foundation/time_text.h"

#include <gtest/gtest.h>

#include "foundation/endian.h"

TEST(TimeText, WritesTheOneTextForm) {
    const struct {
        std::int64_t value;
        std::int32_t zone;
        const char* text;
    } cases[] = {
        {0, 0, "Thu, 01 Jan 1970 00:00:00 +0000"},
        {0, -18'000, "Wed, 31 Dec 1969 19:00:00 -0500"},
        {0, 19'800, "Thu, 01 Jan 1970 05:30:00 +0530"},
        {0, 3'661, "Thu, 01 Jan 1970 01:01:01 +0101"},  // the zone's seconds are not shown
        {-1, 0, "Thu, 01 Jan 1970 00:00:00 +0000"},
        {-1'000'000, 0, "Wed, 31 Dec 1969 23:59:59 +0000"},
        {951'825'600'000'000, 0, "Tue, 29 Feb 2000 12:00:00 +0000"},
        {-62'135'596'800'000'000, 0, "Mon, 01 Jan 0001 00:00:00 +0000"},
        {253'402'300'799'000'000, 0, "Fri, 31 Dec 9999 23:59:59 +0000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTimeText(c.value, TimeZoneOffset(c.zone)).View(), c.text) << c.value;
}

TEST(TimeText, TooLongForTheRangeOverflows) {
    CalendarTime fiveDigitYear(CalendarDate{1, 1, 10'000}, TimeOfDay{}, TimeZoneOffset());
    EXPECT_THROW(FormatCalendarTime(fiveDigitYear), DataOverflow);

    char room[32];
    OutputRange output(room, sizeof room);
    WriteCalendarTime(output, fiveDigitYear);
    EXPECT_EQ(std::string_view(room, sizeof room), "Sat, 01 Jan 10000 00:00:00 +0000");

    OutputRange small(room, 10);
    EXPECT_THROW(WriteCalendarTime(small, CalendarTime()), DataOverflow);
    EXPECT_TRUE(small.IsFull());
}
