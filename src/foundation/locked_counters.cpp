#include "foundation/locked_counters.h"

#include "foundation/directory_iterator.h"

std::uint64_t LockedCounters::GetFileCount() {
    CriticalSectionGuard guard(m_counterLock);
    return m_counts.files;
}

std::uint64_t LockedCounters::GetTotalBytes() {
    CriticalSectionGuard guard(m_counterLock);
    return m_counts.bytes;
}

std::uint64_t LockedCounters::GetUnderscoreCount() {
    CriticalSectionGuard guard(m_counterLock);
    return m_counts.underscored;
}

bool LockedCounters::IsOverLimits(const FileLocation& directory, std::uint64_t maxCount, std::uint64_t maxBytes) {
    return IsOverLimits(directory, FileLocation(), maxCount, maxBytes);
}

bool LockedCounters::IsOverLimits(const FileLocation& first, const FileLocation& second, std::uint64_t maxCount,
                                  std::uint64_t maxBytes) {
    // A caller that finds another one counting answers from the previous count rather than wait for
    // a full listing of the directory.
    CriticalSectionLock refresh = TryLockCriticalSection(m_refreshLock);
    if (refresh && (!m_counted || m_sinceRefresh.GetElapsed() > kRefreshPeriod)) {
        Counts counts;
        CountEntries(first, counts);
        if (!second.IsEmpty()) CountEntries(second, counts);
        CriticalSectionGuard guard(m_counterLock);
        m_counts = counts;
        m_sinceRefresh.Reset();
        m_sinceRefresh.Start();
        m_counted = true;
    }
    CriticalSectionGuard guard(m_counterLock);
    return m_counts.files > maxCount || m_counts.bytes > maxBytes;
}

void LockedCounters::CountEntries(const FileLocation& directory, Counts& counts) {
    for (DirectoryScan scan(directory); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        ++counts.files;
        counts.bytes += entry.GetSize();
        if (entry.GetFileName().StartsWith("_", false)) ++counts.underscored;
    }
}
