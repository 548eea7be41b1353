#include "foundation/stopwatch.h"

#include "foundation/clocks.h"

void Stopwatch::Start() {
    m_start = static_cast<std::uint64_t>(GetMonotonicTime());
    m_running = true;
}

void Stopwatch::Stop() {
    m_accumulated += RunningSpan();
    m_running = false;
}

void Stopwatch::Reset() {
    m_accumulated = 0;
    m_running = false;
}

std::uint64_t Stopwatch::GetElapsed() const {
    return m_accumulated + RunningSpan();
}

std::uint64_t Stopwatch::RunningSpan() const {
    return m_running ? static_cast<std::uint64_t>(GetMonotonicTime()) - m_start : 0;
}
