// The daily HTTP access log: one line per dispatched request, appended to the file
// "%04u%02u%02u.log" of the local date in the access log directory,
//
//     2024-03-09 14:05:31 +0100 -- 192.0.2.7 GET /cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=...
//
// (local time with its offset from UTC, client address, method, the URL as received), and the purge
// of the day files older than the expiration, once a day at most.
//
// The directory and the expiration are the live settings "HttpLogDirectoryPath" (empty or not an
// existing directory: no log) and "HttpLogExpirationDays" (0: never purge), read by the caller at
// each use; the expiration only when a purge is due, once a day. Writing a line never throws and never holds
// a file open between lines: a failing log never fails a request. Called on the server's loop thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/const_data.h"
#include "base/file_location.h"
#include "base/time_value.h"
#include "net/ip_address.h"

// An instant and the local zone's offset at it, as the log dates its lines and files.
struct AccessLogTime {
    TimeValue utc;
    TimeZoneOffset zone;

    static AccessLogTime Now();
};

// When the directory was last purged. The process has one, which every server shares; tests make
// their own.
class AccessLogPurgeSchedule {
  public:
    static constexpr std::int64_t kPurgePeriod = 86'400'000'000;  // one day, in microseconds

    static AccessLogPurgeSchedule& Process();

    // True, and `now` becomes the last purge, when more than a purge period has passed since the last
    // one (always at the first call).
    bool IsDue(TimeValue now);

  private:
    std::atomic<std::int64_t> m_lastPurge{0};
};

// Reads the expiration in days.
using AccessLogExpirationReader = std::function<std::uint32_t()>;

struct AccessLogRequest {
    ConstData method;
    ConstData url;
    IPAddress client;
};

// The line for the request at the time, with its line end.
std::string FormatAccessLogLine(const AccessLogRequest& request, const AccessLogTime& time);

// Purges the directory when due, then appends the request's line to the day's file, creating it
// when missing. Nothing when `directory` is unset or not an existing directory; failures are
// swallowed.
void WriteAccessLogLine(const FileLocation& directory, const AccessLogExpirationReader& expirationDays,
                        const AccessLogRequest& request, const AccessLogTime& time = AccessLogTime::Now(),
                        AccessLogPurgeSchedule& schedule = AccessLogPurgeSchedule::Process());

// When the schedule says a purge is due and the expiration is not 0 days, deletes every day file of the
// directory (a name that "%04u%02u%02u.log" of a valid date rebuilds exactly) dated more than
// that many days before the local date, or after it. Other files are never touched.
// Failures are swallowed.
void PurgeExpiredAccessLogs(const FileLocation& directory, const AccessLogExpirationReader& expirationDays,
                            const AccessLogTime& time, AccessLogPurgeSchedule& schedule);
