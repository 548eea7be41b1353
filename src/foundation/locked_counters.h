// LockedCounters: the numbers of a buffer directory (its entries, their total size, and the entries
// whose names begin with "_"), counted at most once every five seconds, and the answer whether the
// directory is over its limits. The post-results plug-in refuses new posts while it is; the
// diagnostics page shows the numbers.
//
// Shared by many threads: only one of them counts at a time, and the others answer from the last
// count instead of waiting for it. Every member may be called from any thread.
#pragma once

#include <cstdint>

#include "base/file_location.h"
#include "foundation/critical_section.h"
#include "foundation/stopwatch.h"

class LockedCounters {
  public:
    static constexpr std::uint64_t kRefreshPeriod = 5'000'000;  // microseconds

    // Nothing counted yet: the first IsOverLimits counts.
    LockedCounters() = default;
    LockedCounters(const LockedCounters&) = delete;
    LockedCounters& operator=(const LockedCounters&) = delete;

    std::uint64_t GetFileCount();
    std::uint64_t GetTotalBytes();
    std::uint64_t GetUnderscoreCount();

    // Whether the directory holds more than maxCount entries or more than maxBytes bytes, counting
    // afresh when the last count is older than kRefreshPeriod. Files and subdirectories count alike
    // (a subdirectory by its own size, not its content); a missing directory counts as empty.
    bool IsOverLimits(const FileLocation& directory, std::uint64_t maxCount, std::uint64_t maxBytes);
    // The same over the entries of both directories together; an empty second location is skipped.
    bool IsOverLimits(const FileLocation& first, const FileLocation& second, std::uint64_t maxCount,
                      std::uint64_t maxBytes);

  private:
    struct Counts {
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
        std::uint64_t underscored = 0;
    };
    static void CountEntries(const FileLocation& directory, Counts& counts);

    CriticalSection m_refreshLock;  // only ever tried: held by the one thread that counts
    // Used under m_refreshLock.
    bool m_counted = false;
    Stopwatch m_sinceRefresh;
    CriticalSection m_counterLock;  // guards m_counts
    Counts m_counts;
};
