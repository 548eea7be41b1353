#include "http/access_log.h"

#include <cstdio>
#include <cstdlib>

#include "base/numerals.h"
#include "foundation/calendar_time.h"
#include "foundation/clocks.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "platform/file_paths.h"

namespace {

constexpr std::size_t kDayFileNameLength = 12;  // "YYYYMMDD.log"

std::string DayFileName(std::uint32_t year, std::uint32_t month, std::uint32_t day) {
    char name[64];
    std::snprintf(name, sizeof name, "%04u%02u%02u.log", year, month, day);
    return name;
}

CalendarDate LocalDate(const AccessLogTime& time) {
    return CalendarTime(time.utc, time.zone).date;
}

// The date a day file's name stands for; an invalid date for any other name.
CalendarDate DateOfDayFile(std::string_view name) {
    CalendarDate date;
    date.month = 0;
    if (name.size() != kDayFileNameLength) return date;
    ConstData text(name);
    std::uint32_t year = DecimalToUInt32OrDefault({text.begin, text.begin + 4}, 0);
    std::uint32_t month = DecimalToUInt32OrDefault({text.begin + 4, text.begin + 6}, 0);
    std::uint32_t day = DecimalToUInt32OrDefault({text.begin + 6, text.begin + 8}, 0);
    if (DayFileName(year, month, day) != name) return date;
    date.year = year;
    date.month = month;
    date.day = static_cast<std::uint8_t>(day);
    return date;
}

void AppendLine(const FileLocation& file, const std::string& line) {
    PosixPlatform::FileWritingPath path;
    path.OpenAlways(file);
    auto text = reinterpret_cast<const Byte*>(line.data());
    path.WriteAt(path.GetSize(), text, text + line.size());
}

}  // namespace

AccessLogTime AccessLogTime::Now() {
    return {GetCurrentUTCTime(), GetLocalZoneOffset()};
}

AccessLogPurgeSchedule& AccessLogPurgeSchedule::Process() {
    static AccessLogPurgeSchedule schedule;
    return schedule;
}

bool AccessLogPurgeSchedule::IsDue(TimeValue now) {
    std::int64_t last = m_lastPurge.load();
    if (static_cast<std::int64_t>(now) - last <= kPurgePeriod) return false;
    return m_lastPurge.compare_exchange_strong(last, now);
}

std::string FormatAccessLogLine(const AccessLogRequest& request, const AccessLogTime& time) {
    CalendarTime local(time.utc, time.zone);
    std::int32_t offset = std::abs(time.zone.seconds);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u %c%02d%02d", local.date.year,
                  local.date.month, unsigned{local.date.day}, unsigned{local.time.hour},
                  unsigned{local.time.minute}, unsigned{local.time.second}, time.zone.seconds < 0 ? '-' : '+',
                  offset / 3600, offset % 3600 / 60);
    std::string line = stamp;
    line += " -- ";
    line += FormatIPAddress(request.client).View();
    line += ' ';
    line += request.method.View();
    line += ' ';
    line += request.url.View();
    line += '\n';
    return line;
}

void WriteAccessLogLine(const FileLocation& directory, const AccessLogExpirationReader& expirationDays,
                        const AccessLogRequest& request, const AccessLogTime& time,
                        AccessLogPurgeSchedule& schedule) {
    try {
        if (directory.IsEmpty() || !FileAttributes(directory).IsDirectory()) return;
        PurgeExpiredAccessLogs(directory, expirationDays, time, schedule);
        CalendarDate today = LocalDate(time);
        AppendLine(directory.MakeChild(DayFileName(today.year, today.month, today.day).c_str()),
                   FormatAccessLogLine(request, time));
    } catch (...) {
    }
}

void PurgeExpiredAccessLogs(const FileLocation& directory, const AccessLogExpirationReader& expirationDays,
                            const AccessLogTime& time, AccessLogPurgeSchedule& schedule) {
    try {
        if (!schedule.IsDue(time.utc)) return;
        std::uint32_t days = expirationDays();
        if (days == 0) return;
        CalendarDate today = LocalDate(time);
        for (DirectoryScan scan(directory); scan.IsValid(); scan.Next()) {
            const DirectoryEntry& entry = scan.Current();
            if (entry.IsDirectory()) continue;
            CalendarDate date = DateOfDayFile(entry.GetFileName().ToString());
            if (!date.IsValid()) continue;
            std::int64_t age = today.DaysSince(date);
            if (age > static_cast<std::int64_t>(days) || age < 0) {
                try {
                    RemoveFile(entry.GetLocation());
                } catch (...) {
                }
            }
        }
    } catch (...) {
    }
}
