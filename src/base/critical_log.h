// The process-wide seam for the "critical" log category, for code below the log manager (the
// requirement check, catch-all handlers of the foundation).
//
// The log manager installs a sink when it starts and removes it when it stops; until then "critical"
// is disabled and entries are dropped. The sink is not owned: it must stay alive while installed.
// Installing and the calls below may happen on any thread.
#pragma once

#include <string_view>

class CriticalLogSink {
  public:
    virtual ~CriticalLogSink() = default;
    virtual bool IsCriticalEnabled() = 0;
    // One complete entry, without a line end.
    virtual void WriteCritical(std::string_view entry) = 0;
};

// Installs `sink` (nullptr removes it) and returns the sink installed before.
CriticalLogSink* InstallCriticalLogSink(CriticalLogSink* sink);

// True when a sink is installed and has "critical" enabled. Compose an entry only when it is.
bool CriticalLogEnabled();
// Hands one entry to the installed sink when "critical" is enabled; otherwise drops it.
void WriteCriticalLog(std::string_view entry);
