// A "critical" log sink for tests: installed for its lifetime, it keeps every entry written to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/critical_log.h"

class CapturingCriticalLog : public CriticalLogSink {
  public:
    explicit CapturingCriticalLog(bool enabled = true) : m_enabled(enabled) {
        m_previous = InstallCriticalLogSink(this);
    }
    ~CapturingCriticalLog() override { InstallCriticalLogSink(m_previous); }
    CapturingCriticalLog(const CapturingCriticalLog&) = delete;
    CapturingCriticalLog& operator=(const CapturingCriticalLog&) = delete;

    bool IsCriticalEnabled() override { return m_enabled; }
    void WriteCritical(std::string_view entry) override { entries.emplace_back(entry); }

    std::vector<std::string> entries;

  private:
    bool m_enabled;
    CriticalLogSink* m_previous;
};
