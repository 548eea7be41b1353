// The log: one process-wide LogManager routes messages of named categories ("critical", "debug",
// "performance", "timing") to the writers that accept them.
//
// Code that logs asks first whether anyone takes the category, and composes the message only then:
//
//     KVR_LOG("debug") << "Fetched " << count << " files";
//
// The manager formats each posted message at once for every writer of its category, on the posting
// thread, and queues the result; its own thread hands each writer its queue once a second, and once
// more when the manager stops. While the manager is stopped (before StartLogging, after StopLogging)
// no category is enabled and posted messages are dropped.
//
// Writers are not owned by the manager: whoever adds one removes it before it dies (a
// LogWriterRegistration does both). Every member of LogManager may be called from any thread, except
// Stop from a writer; logging never throws into its caller. A running manager also serves as the
// "critical" sink of critical_log.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/critical_log.h"
#include "foundation/critical_section.h"
#include "foundation/event.h"
#include "foundation/thread.h"

class LogWriter {
  public:
    virtual ~LogWriter() = default;
    // Whether this writer takes messages of the category. Asked again every second, so an answer
    // may change over time.
    virtual bool AcceptsCategory(const std::string& category) = 0;
    // The text to queue for this writer; called on the posting thread under the manager's lock.
    virtual std::string FormatMessage(const std::string& category, const std::string& text) = 0;
    // Writes a batch of queued texts, in posting order; called on the manager's thread (or by Flush
    // or RemoveWriter), one batch at a time, without the manager's lock, so that posting threads
    // never wait for a writer. Exceptions are discarded by the caller.
    virtual void WriteMessages(std::vector<std::string>& messages) = 0;
};

class LogManager : public Callable, private CriticalLogSink {
  public:
    static constexpr std::int64_t kFlushPeriod = 1'000'000;  // microseconds

    // The process-wide manager, built on first use and never destroyed (threads may log while the
    // process exits).
    static LogManager& Instance();

    // A stopped manager without writers. Tests build their own; the relay uses Instance().
    LogManager() { m_stopEvent.Set(); }
    // Stops the thread if it still runs.
    ~LogManager() override;
    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

    // Starts the flushing thread (nothing when it already runs) and installs the manager as the
    // "critical" sink.
    void Start();
    // Removes the "critical" sink, stops the thread after its last flush and waits for it.
    void Stop();

    void AddWriter(LogWriter* writer);
    // Removes the writer after handing it the messages still queued for it.
    void RemoveWriter(LogWriter* writer);

    // False while stopped; else whether some writer takes the category.
    bool IsCategoryEnabled(const std::string& category);
    // Formats and queues the text for every writer of the category; dropped while stopped.
    void Post(const std::string& category, const std::string& text);
    // Hands every writer its queued messages now.
    void Flush();

    // The thread's body: flushes every kFlushPeriod until stopped, then once more.
    void Run() override;

  private:
    bool IsCriticalEnabled() override { return IsCategoryEnabled("critical"); }
    void WriteCritical(std::string_view entry) override { Post("critical", std::string(entry)); }

    bool IsStopped() { return m_stopEvent.Wait(0); }
    void NoteCategory(const std::string& category);
    void RebuildWriterMap();

    CriticalSection m_writeLock;        // one batch written at a time; taken before m_lock, never after
    CriticalSection m_lock;             // guards everything below except the event and the thread handle
    std::vector<LogWriter*> m_writers;  // in the order they were added
    std::map<std::string, std::vector<LogWriter*>> m_categoryMap;  // category -> writers taking it
    std::map<LogWriter*, std::vector<std::string>> m_queues;
    std::set<std::string> m_knownCategories;
    CriticalLogSink* m_previousCriticalSink = nullptr;

    Event m_stopEvent;          // set while stopped
    CriticalSection m_runLock;  // serialises Start and Stop
    ThreadHandle m_thread;
};

bool IsLogCategoryEnabled(const std::string& category);
// LogManager::Instance().Start() and Stop().
void StartLogging();
void StopLogging();

// Composes one message with stream insertion and posts it to the process-wide manager when it dies.
// Build it only after IsLogCategoryEnabled said yes (KVR_LOG does both).
class LogStream {
  public:
    explicit LogStream(std::string category) : m_category(std::move(category)) {}
    ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    template <class T>
    LogStream& operator<<(const T& value) {
        m_stream << value;
        return *this;
    }

  private:
    std::string m_category;
    std::ostringstream m_stream;
};

// A LogStream for the category when it is enabled; otherwise nothing after it is evaluated.
#define KVR_LOG(category)                                                                           \
    for (bool kvrLogEnabled = IsLogCategoryEnabled(category); kvrLogEnabled; kvrLogEnabled = false) \
    LogStream(category)

// Owns a writer and keeps it added to a manager for its own lifetime.
class LogWriterRegistration {
  public:
    LogWriterRegistration(LogManager& manager, std::unique_ptr<LogWriter> writer);
    // Removes the writer (its queued messages are written first) and deletes it.
    ~LogWriterRegistration();
    LogWriterRegistration(const LogWriterRegistration&) = delete;
    LogWriterRegistration& operator=(const LogWriterRegistration&) = delete;

  private:
    LogManager& m_manager;
    std::unique_ptr<LogWriter> m_writer;
};
