#include "foundation/timing_log.h"

#include <cstdint>

#include "foundation/log_manager.h"

namespace {

// The number of timed scopes the thread is inside.
thread_local std::uint32_t timingDepth = 0;

std::string Indent() {
    return std::string(static_cast<std::size_t>(timingDepth) * 2, ' ');
}

}  // namespace

TimingScope::TimingScope(const char* name) : m_name(name ? name : "") {
    KVR_LOG("timing") << Indent() << "Entering " << m_name;
    m_stopwatch.Start();
    ++timingDepth;
}

TimingScope::~TimingScope() {
    --timingDepth;
    try {
        KVR_LOG("timing") << Indent() << "Exiting " << m_name << " ("
                          << static_cast<std::int64_t>(m_stopwatch.GetElapsed()) / 1000 << " ms)";
    } catch (...) {
        // Out of memory for the line: the line is lost, the scope still ends.
    }
}
