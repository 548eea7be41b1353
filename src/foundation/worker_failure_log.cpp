#include "foundation/worker_failure_log.h"

#include <exception>
#include <typeinfo>
#include <utility>

#include "foundation/log_manager.h"

WorkerFailureLog::WorkerFailureLog(std::string prefix, std::int64_t intervalMicroseconds, Clock clock)
    : m_prefix(std::move(prefix)), m_interval(intervalMicroseconds), m_clock(std::move(clock)) {}

// The exception in flight is thrown again only to learn its class; it is handled here.
bool WorkerFailureLog::LogCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        return Log(typeid(error), error.what());
    } catch (...) {
        return Log(typeid(void), "No diagnostic message available");
    }
}

bool WorkerFailureLog::Log(std::type_index kind, std::string_view text) {
    const std::int64_t now = m_clock();
    auto last = m_lastLogged.find(kind);
    if (last != m_lastLogged.end() && now - last->second < m_interval) return false;
    m_lastLogged.insert_or_assign(kind, now);
    KVR_LOG("critical") << m_prefix << text;
    return true;
}
