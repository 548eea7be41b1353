#include "foundation/log_manager.h"

#include <algorithm>

LogManager& LogManager::Instance() {
    static LogManager* const manager = new LogManager;
    return *manager;
}

LogManager::~LogManager() {
    try {
        Stop();
    } catch (...) {
    }
}

void LogManager::Start() {
    CriticalSectionGuard run(m_runLock);
    if (!m_thread.IsEmpty() && !IsStopped()) return;
    // A thread left from an earlier run has ended (Stop waited for it); the handle is closed by the
    // assignment below.
    m_stopEvent.Reset();
    try {
        m_thread = StartCallableThread(*this);
    } catch (...) {
        m_stopEvent.Set();
        throw;
    }
    CriticalSectionGuard guard(m_lock);
    m_previousCriticalSink = InstallCriticalLogSink(this);
}

void LogManager::Stop() {
    CriticalSectionGuard run(m_runLock);
    {
        CriticalSectionGuard guard(m_lock);
        if (!IsStopped()) InstallCriticalLogSink(m_previousCriticalSink);
        // Set under the lock, so that a Post either queues before the thread's last flush or sees
        // the manager stopped: nothing is left queued behind a stopped thread.
        m_stopEvent.Set();
    }
    WaitAndCloseThreadHandle(m_thread);
}

void LogManager::AddWriter(LogWriter* writer) {
    CriticalSectionGuard guard(m_lock);
    if (std::find(m_writers.begin(), m_writers.end(), writer) != m_writers.end()) return;
    m_writers.push_back(writer);
    RebuildWriterMap();
}

// No flush is writing to the writer when it goes: the write lock is taken first.
void LogManager::RemoveWriter(LogWriter* writer) {
    CriticalSectionGuard writing(m_writeLock);
    std::vector<std::string> messages;
    {
        CriticalSectionGuard guard(m_lock);
        m_writers.erase(std::remove(m_writers.begin(), m_writers.end(), writer), m_writers.end());
        RebuildWriterMap();
        auto queue = m_queues.find(writer);
        if (queue == m_queues.end()) return;
        messages = std::move(queue->second);
        m_queues.erase(queue);
    }
    try {
        writer->WriteMessages(messages);
    } catch (...) {
    }
}

bool LogManager::IsCategoryEnabled(const std::string& category) {
    // The zero-time wait first: a stopped manager answers without taking the lock.
    try {
        if (IsStopped()) return false;
        CriticalSectionGuard guard(m_lock);
        NoteCategory(category);
        auto writers = m_categoryMap.find(category);
        return writers != m_categoryMap.end() && !writers->second.empty();
    } catch (...) {
        return false;
    }
}

void LogManager::Post(const std::string& category, const std::string& text) {
    try {
        CriticalSectionGuard guard(m_lock);
        if (IsStopped()) return;
        // A category posted without being asked for first is still mapped, so its message is not lost.
        NoteCategory(category);
        auto writers = m_categoryMap.find(category);
        if (writers == m_categoryMap.end()) return;
        for (LogWriter* writer : writers->second) {
            try {
                m_queues[writer].push_back(writer->FormatMessage(category, text));
            } catch (...) {
            }
        }
    } catch (...) {
        // Logging never throws into its caller; the message is lost.
    }
}

// The queues are taken under the manager's lock and written without it: a writer that waits for
// its disk keeps no posting thread waiting. The write lock keeps the batches in posting order.
void LogManager::Flush() {
    CriticalSectionGuard writing(m_writeLock);
    std::map<LogWriter*, std::vector<std::string>> queues;
    {
        CriticalSectionGuard guard(m_lock);
        queues.swap(m_queues);
    }
    for (auto& [writer, messages] : queues) {
        try {
            writer->WriteMessages(messages);
        } catch (...) {
            // One failing writer does not keep the others from their messages.
        }
    }
}

void LogManager::Run() {
    for (;;) {
        // A wait that fails counts as the stop: a thread spinning on a broken event would be worse
        // than a log that is written only at the next start.
        bool stopped = true;
        try {
            stopped = m_stopEvent.Wait(kFlushPeriod);
            if (!stopped) {
                Flush();
                // Writers whose acceptance changed (the verbose switch) are asked again.
                CriticalSectionGuard guard(m_lock);
                RebuildWriterMap();
            }
        } catch (...) {
        }
        if (stopped) break;
    }
    try {
        Flush();
    } catch (...) {
    }
}

void LogManager::NoteCategory(const std::string& category) {
    if (m_knownCategories.insert(category).second) RebuildWriterMap();
}

void LogManager::RebuildWriterMap() {
    std::map<std::string, std::vector<LogWriter*>> map;
    for (const std::string& category : m_knownCategories) {
        std::vector<LogWriter*>& writers = map[category];
        for (LogWriter* writer : m_writers)
            if (writer->AcceptsCategory(category)) writers.push_back(writer);
    }
    m_categoryMap.swap(map);
}

bool IsLogCategoryEnabled(const std::string& category) {
    return LogManager::Instance().IsCategoryEnabled(category);
}

void StartLogging() {
    LogManager::Instance().Start();
}

void StopLogging() {
    LogManager::Instance().Stop();
}

LogStream::~LogStream() {
    try {
        LogManager::Instance().Post(m_category, m_stream.str());
    } catch (...) {
        // The text could not be taken out of the stream; the message is lost, the caller goes on.
    }
}

LogWriterRegistration::LogWriterRegistration(LogManager& manager, std::unique_ptr<LogWriter> writer)
    : m_manager(manager), m_writer(std::move(writer)) {
    m_manager.AddWriter(m_writer.get());
}

LogWriterRegistration::~LogWriterRegistration() {
    m_manager.RemoveWriter(m_writer.get());
}
