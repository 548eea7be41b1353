// Test helper: the process log started with a recording writer, for tests that check logged lines.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/log_manager.h"
#include "support/recording_log_writer.h"

// The process log started with a recording writer of the "critical" and "debug" categories.
class CapturedLog {
  public:
    CapturedLog()
        : m_writer(new RecordingLogWriter({"critical", "debug"})),
          m_registration(LogManager::Instance(), std::unique_ptr<LogWriter>(m_writer)) {
        StartLogging();
    }
    ~CapturedLog() { StopLogging(); }

    std::vector<std::string> Lines() {
        LogManager::Instance().Flush();
        return m_writer->Written();
    }
    // The lines that start with the text.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) {
        std::vector<std::string> found;
        for (const std::string& line : Lines())
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        return found;
    }

  private:
    RecordingLogWriter* m_writer;
    LogWriterRegistration m_registration;
};
