#include "http/body_pace.h"

#include <algorithm>

#include "base/time_value.h"
#include "foundation/log_manager.h"

void BodyPace::Start(std::int64_t time, std::int64_t readTimeOut, std::uint32_t minimumBytesPerSecond) {
    m_started = true;
    m_readTimeOut = readTimeOut;
    m_minimumBytesPerSecond = minimumBytesPerSecond;
    m_lastArrival = time;
    m_windowStart = time;
    m_windowBytes = 0;
}

void BodyPace::Received(std::size_t count, std::int64_t time) {
    if (count == 0) return;
    m_lastArrival = time;
    m_windowBytes += count;
}

// The window is judged when it is over, not before: a client may send its share in a burst at any
// moment of the window. Judged late (the plug-in did not read for a while), a window is longer than
// the read time-out and its share stays the same, which only favours the client.
BodyPace::Verdict BodyPace::Judge(std::int64_t time) {
    if (!m_started) return Verdict::kKeep;
    if (time - m_lastArrival > m_readTimeOut) return Verdict::kSilent;
    if (m_minimumBytesPerSecond == 0 || time - m_windowStart <= m_readTimeOut) return Verdict::kKeep;
    if (m_windowBytes < WindowShare()) return Verdict::kTooSlow;
    m_windowStart = time;
    m_windowBytes = 0;
    return Verdict::kKeep;
}

std::int64_t BodyPace::NextJudgement() const {
    const std::int64_t silentAfter = m_lastArrival + m_readTimeOut + 1;
    if (m_minimumBytesPerSecond == 0) return silentAfter;
    return std::min(silentAfter, m_windowStart + m_readTimeOut + 1);
}

// The rate times the window in whole seconds cannot overflow (both below 2^32), nor can the rest.
std::uint64_t BodyPace::WindowShare() const {
    const std::uint64_t window = static_cast<std::uint64_t>(std::max<std::int64_t>(m_readTimeOut, 0));
    return m_minimumBytesPerSecond * (window / kMicrosecondsPerSecond) +
           m_minimumBytesPerSecond * (window % kMicrosecondsPerSecond) / kMicrosecondsPerSecond;
}

void BodyPace::LogDrop(Verdict verdict, const IPAddress& client) const {
    if (verdict == Verdict::kSilent) {
        KVR_LOG("debug") << "Closing HTTP connection on " << FormatIPAddress(client).View()
                         << ": no request body bytes for longer than the read time-out";
    } else {
        KVR_LOG("debug") << "Closing HTTP connection on " << FormatIPAddress(client).View()
                         << ": request body slower than " << m_minimumBytesPerSecond << " bytes per second";
    }
}
