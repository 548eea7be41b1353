#include "foundation/time_text.h"

#include <cstdlib>

#include "base/numerals.h"
#include "foundation/endian.h"

namespace {

void WriteText(OutputRange& output, std::string_view text) {
    for (char c : text) ThrowIfFull(output, static_cast<Byte>(c));
}

void WriteNumber(OutputRange& output, std::uint64_t value, unsigned minWidth) {
    WriteText(output, FormatDecimalDigits(value, minWidth).View());
}

}  // namespace

void WriteCalendarTime(OutputRange& output, const CalendarTime& time) {
    const CalendarDate& date = time.date;
    WriteText(output, kWeekdayNames[date.DayOfWeek()]);
    WriteText(output, ", ");
    WriteNumber(output, date.day, 2);
    WriteText(output, " ");
    // A date built member-wise may hold any month; the text must not read outside the name table.
    WriteText(output, date.month >= 1 && date.month <= 12 ? kShortMonthNames[date.month] : "???");
    WriteText(output, " ");
    WriteNumber(output, date.year, 4);
    WriteText(output, " ");
    WriteNumber(output, time.time.hour, 2);
    WriteText(output, ":");
    WriteNumber(output, time.time.minute, 2);
    WriteText(output, ":");
    WriteNumber(output, time.time.second, 2);
    WriteText(output, time.zone.seconds < 0 ? " -" : " +");
    const std::uint64_t zoneMinutes = std::llabs(time.zone.seconds) / 60;
    WriteNumber(output, zoneMinutes / 60, 2);
    WriteNumber(output, zoneMinutes % 60, 2);
}

ConstDataBuffer<kTimeTextLength> FormatCalendarTime(const CalendarTime& time) {
    char text[kTimeTextLength];
    OutputRange output(text, sizeof text);
    WriteCalendarTime(output, time);
    return ConstDataBuffer<kTimeTextLength>(ConstData(text, output.begin - reinterpret_cast<Byte*>(text)));
}

ConstDataBuffer<kTimeTextLength> FormatTimeText(TimeValue value, const TimeZoneOffset& zone) {
    return FormatCalendarTime(CalendarTime(value, zone));
}
