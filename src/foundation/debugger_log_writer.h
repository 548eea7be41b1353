// OutputDebugStringLogWriter: a log writer for one category that sends each message to the
// debugger's channel (platform/debugger_output.h) at once, on the posting thread, as
// "<thread id> -- <message>" ending in a line feed. It queues nothing.
//
// AddDebuggerLogWriters gives a process run under a debugger its "debug", "critical" and
// "performance" writers. Thread-safe as the log manager's writers are (called under its lock).
#pragma once

#include <string>
#include <vector>

#include "foundation/log_manager.h"

class OutputDebugStringLogWriter : public LogWriter {
  public:
    explicit OutputDebugStringLogWriter(std::string category) : m_category(std::move(category)) {}

    // Exactly its own category.
    bool AcceptsCategory(const std::string& category) override { return category == m_category; }
    // Sends the message to the debugger and returns it with a line feed at the end.
    std::string FormatMessage(const std::string& category, const std::string& text) override;
    // Nothing: the messages went out when they were posted.
    void WriteMessages(std::vector<std::string>& messages) override {}

  private:
    std::string m_category;
};

// When a debugger is attached, and only the first time in the process, adds to the process-wide
// manager one writer for each of "debug", "critical" and "performance"; they stay until the process
// exits. Returns whether the writers are in place.
bool AddDebuggerLogWriters();
