// The log file: LogFileStatusUpdater writes time-stamped lines, and status lines, to a size-limited
// file that rolls over to ten numbered files; LogFileStatusUpdaterLogWriter is the log writer that
// feeds it from the log manager.
//
// A line is "<time text> - <text>" (the time as 'Thu, 01 Jan 1970 00:00:00 +0000', UTC with the
// local zone's offset) and ends with CR LF; a status line is the same after "STATUS:". Each line is
// flushed to the disk before the call returns. Without a file (no path, or it cannot be opened) lines
// go to standard error instead, ending with a line feed.
//
// Rotation: when the bytes counted for the file (its size when opened, plus each message line's
// length without its CR LF) reach the size limit, the file becomes "<path>_<d>", d counting 0 to 9
// and round again, and a new, empty file is started. The first rotation of a writer whose "<path>_0"
// already exists continues where an earlier run left off: at the first of "<path>_1" to
// "<path>_9" that is missing, or else at the oldest of the ten.
//
// Logging never throws: a line that cannot be written is lost. Every member may be called from any
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/data_pipeline.h"
#include "foundation/critical_section.h"
#include "foundation/file_writer.h"
#include "foundation/log_manager.h"
#include "platform/file_paths.h"

// The sink of log lines and status lines.
class StatusUpdater {
  public:
    virtual ~StatusUpdater() = default;
    virtual void LogMessage(const char* text) = 0;
    virtual void LogStatus(const char* text) = 0;
};

class LogFileStatusUpdater : public StatusUpdater, public DataReceiver {
  public:
    static constexpr unsigned kRotatedFiles = 10;
    static constexpr std::size_t kLineBufferSize = 256;

    // Opens `path` (null or empty: no file); a limit of 0 never rotates.
    LogFileStatusUpdater(const char* path, unsigned limit);
    LogFileStatusUpdater(const LogFileStatusUpdater&) = delete;
    LogFileStatusUpdater& operator=(const LogFileStatusUpdater&) = delete;

    // Closes the file and opens the new path (null or empty: no file).
    void SetPath(const char* path);
    void SetSizeLimit(unsigned limit);
    // Closes the file and opens its path again, appending to what is there.
    void Reopen();

    void LogMessage(const char* text) override;
    void LogStatus(const char* text) override;

    // The receiver face collects bytes into messages: a chunk that holds a line feed ends the
    // message (which is written whole, line feed and any text after it included); a chunk that
    // does not fit the 256-byte buffer first writes what is buffered, and a chunk longer than the
    // buffer is written on its own.
    void Begin() override {}
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override {}

  private:
    void WriteLine(std::string_view text, bool status);
    void OpenLog();
    void CloseLog();
    void RotateIfFull();
    // Where the first rotation of a writer goes when "<path>_0" already exists.
    unsigned ResumedRotationTarget() const;
    std::string RotatedPath(unsigned number) const;

    CriticalSection m_lock;
    std::string m_path;
    PosixPlatform::FileWritingPath m_file;
    FileWriter m_writer;
    std::uint64_t m_sizeLimit = 0;
    std::uint64_t m_countedSize = 0;
    std::uint64_t m_rotations = 0;
    char m_lineBuffer[kLineBufferSize];
    std::size_t m_lineFill = 0;
};

// The log manager's writer for the file: it takes "critical" always and every other category only
// when verbose.
class LogFileStatusUpdaterLogWriter : public LogWriter {
  public:
    // The updater is not owned and must outlive the writer.
    LogFileStatusUpdaterLogWriter(LogFileStatusUpdater* updater, bool verbose)
        : m_updater(updater), m_verbose(verbose) {}

    bool AcceptsCategory(const std::string& category) override { return category == "critical" || m_verbose; }
    std::string FormatMessage(const std::string& category, const std::string& text) override { return text; }
    void WriteMessages(std::vector<std::string>& messages) override;

  private:
    LogFileStatusUpdater* m_updater;
    bool m_verbose;
};

// The relay's "Verbose" setting (the named client setting "_KVRRelay_Log_Verbose", default 0): true
// when it is not 0.
bool ReadVerboseLogSetting();
