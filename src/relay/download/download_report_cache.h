// DownloadReportCache: the XML download report (xml_download_report.h) as the mirror-request plug-in
// serves it, built at most once per refresh interval however often it is asked for.
//
// The refresh interval is 5 seconds, or twice the last build's duration when that took longer, so a
// large store is not read over and over. The first request builds the report itself, holding the
// lock, so requests that come meanwhile wait for it; a build that fails leaves the cache empty and
// fails the request. Afterwards a request that finds the report older than the interval starts one
// rebuild on a thread of the cache's own, unless one is running, and is answered with the report it
// found; the rebuild replaces the report when it is done. A rebuild that fails is logged at
// "critical" ("Download report rebuild failed: " and its text; a stop is not logged) and the old
// report stays. Ages and durations are taken on a clock that never goes back.
//
// Threads: any number of request threads call Text at once; one lock guards every field. The builder
// runs without the lock on the rebuild thread, and must stop promptly once the relay stops (the
// builders of xml_download_report.h stop between actions). The destructor waits for a running
// rebuild; the builder's objects must outlive the cache.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "foundation/clocks.h"
#include "foundation/critical_section.h"
#include "foundation/thread_group.h"
#include "http/cgi_response.h"
#include "relay/download/xml_download_report.h"

class DownloadReportCache {
  public:
    static constexpr std::int64_t kMinimumRefreshInterval = 5'000'000;

    using Builder = std::function<XMLDownloadReport()>;
    // Microseconds of a clock that never goes back.
    using Clock = std::function<std::int64_t()>;

    explicit DownloadReportCache(Builder builder, Clock clock = GetMonotonicTime);
    DownloadReportCache(const DownloadReportCache&) = delete;
    DownloadReportCache& operator=(const DownloadReportCache&) = delete;

    enum class Form { Plain, Compressed };
    // The cached report in the form, built first when there is none (the builder's exceptions pass),
    // with a rebuild started when it is due.
    std::string Text(Form form);

  private:
    std::int64_t RefreshInterval() const;
    void Store(XMLDownloadReport report, std::int64_t buildStart);
    void Rebuild();

    Builder m_builder;
    Clock m_clock;

    CriticalSection m_lock;
    std::optional<XMLDownloadReport> m_report;
    std::int64_t m_builtAt = 0;
    std::int64_t m_buildDuration = 0;
    bool m_rebuilding = false;

    ThreadGroup m_rebuilds;  // last, so that destruction waits for a rebuild before the fields go
};

// The text report reply: the report head with "text/plain" (DownloadReportHead, download_report.h),
// then the cached report in the form. The cache is asked before anything is written, so a failed
// first build writes nothing.
void SendTextDownloadReport(ClientWriter& writer, DownloadReportCache::Form form, DownloadReportCache& cache);
