#include "relay/post/background_worker.h"

#include <algorithm>

#include "foundation/log_manager.h"

using Clock = std::chrono::steady_clock;

BackgroundWorker::BackgroundWorker(std::string name, bool initiallyPaused, std::int64_t failedWorkDelay)
    : m_name(std::move(name)), m_failedWorkDelay(failedWorkDelay), m_paused(initiallyPaused) {}

BackgroundWorker::~BackgroundWorker() {
    StopAndJoin();
}

void BackgroundWorker::StartWorker() {
    m_ended = false;
    m_thread = std::thread([this] { Loop(); });
}

void BackgroundWorker::StopAndJoin() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopRequested = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool BackgroundWorker::Stop(unsigned seconds) {
    return Request(m_stopRequested, seconds, [this] { return m_ended.load(); });
}

bool BackgroundWorker::Pause(unsigned seconds) {
    return Request(m_pauseRequested, seconds, [this] { return m_paused && !m_pauseRequested; });
}

bool BackgroundWorker::Resume(unsigned seconds) {
    return Request(m_resumeRequested, seconds, [this] { return !m_paused && !m_resumeRequested; });
}

bool BackgroundWorker::IsInterruptRequested() const {
    return m_stopRequested.load() || m_pauseRequested.load();
}

void BackgroundWorker::CheckForInterruption() const {
    if (IsInterruptRequested()) throw InterruptWorkException();
}

// The flags change under the lock, so a waiter never misses the notification that follows.
template <class Condition>
bool BackgroundWorker::Request(std::atomic<bool>& request, unsigned seconds, Condition acknowledged) {
    std::unique_lock<std::mutex> lock(m_lock);
    request = true;
    m_changed.notify_all();
    return m_changed.wait_for(lock, std::chrono::seconds(seconds), acknowledged);
}

void BackgroundWorker::Notify() {
    m_changed.notify_all();
}

void BackgroundWorker::TakeRequests() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pauseRequested.exchange(false)) {
        m_paused = true;
    } else if (m_resumeRequested.exchange(false)) {
        m_paused = false;
    }
    Notify();
}

void BackgroundWorker::RunWork(Clock::time_point& nextWork) {
    std::int64_t delay = 0;
    try {
        delay = DoWork();
    } catch (const InterruptWorkException&) {
        delay = 0;
    } catch (...) {
        KVR_LOG("critical") << m_name << ": " << CurrentExceptionText();
        delay = m_failedWorkDelay;
    }
    nextWork = Clock::now() + std::chrono::milliseconds(std::max<std::int64_t>(delay, 0));
}

void BackgroundWorker::Loop() {
    Clock::time_point nextWork = Clock::now();
    while (!m_stopRequested) {
        TakeRequests();
        if (!m_paused && !m_stopRequested && Clock::now() >= nextWork) RunWork(nextWork);
        const Clock::time_point sleepEnd = Clock::now() + kLongestSleep;
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_until(lock, m_paused ? sleepEnd : std::min(sleepEnd, nextWork), [this] {
            return m_stopRequested || m_pauseRequested || m_resumeRequested;
        });
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_ended = true;
    Notify();
}
