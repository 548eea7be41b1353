// The one text form of a time, as HTTP headers, logs and stored state carry it:
// 'Thu, 01 Jan 1970 00:00:00 +0000' (weekday, day, month, year of at least four digits, time,
// and the zone as hours and minutes east of UTC; the zone's seconds are not shown). ParseTimeText
// (time_parser.h) reads it back. All functions are thread-safe.
#pragma once

#include "base/const_data.h"
#include "base/const_data_buffer.h"
#include "foundation/calendar_time.h"

// The length of the text of a time with a four-digit year.
constexpr std::size_t kTimeTextLength = 31;

// Writes the text into the output range and advances it; DataOverflow when the range is full first
// (what fitted is written).
void WriteCalendarTime(OutputRange& output, const CalendarTime& time);
// The text of the calendar time; a year above 9999 or a zone of 100 hours or more does not fit
// (DataOverflow).
ConstDataBuffer<kTimeTextLength> FormatCalendarTime(const CalendarTime& time);
// The text of the value in the zone.
ConstDataBuffer<kTimeTextLength> FormatTimeText(TimeValue value, const TimeZoneOffset& zone);
