// BackgroundWorker: a thread that does one piece of work again and again (DoWork), each time waiting
// as long as the piece asks, and that its controller can pause, resume and stop.
//
// The worker thread starts paused or running (constructor) and, until a stop is requested, takes a
// pending pause or resume request (and acknowledges it), and, while running and once the delay that
// the last DoWork returned has passed, calls DoWork again. It looks at its requests at least every
// 100 ms, and at once when one comes. DoWork returns the delay in milliseconds before the next call;
// an InterruptWorkException out of it (the work noticed a stop or pause request) means no delay, and
// any other exception is logged at "critical" as "<name>: <text>" and costs kFailedWorkDelay, after
// which the worker goes on.
//
// Stop, Pause and Resume set their request and wait up to the given seconds for the worker to
// acknowledge it; the answer says whether it did. While a stop or pause is requested,
// IsInterruptRequested is true, so that long work (a transfer, a listing) breaks off.
//
// The derived class starts the thread at the end of its constructor (StartWorker) and stops and joins
// it first thing in its destructor (StopAndJoin), so DoWork never runs on a half-built or half-gone
// object. The base's destructor joins too, as a last resort.
//
// Threads: the controller's operations and IsInterruptRequested may be called from any thread; the
// requests are atomics and the waits use the worker's own lock and condition.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "base/exceptions.h"

// The work noticed a stop or pause request and broke off.
class InterruptWorkException : public DebuggableException, public NonDumpableException {};

class BackgroundWorker {
  public:
    static constexpr std::chrono::milliseconds kLongestSleep{100};
    static constexpr std::int64_t kFailedWorkDelay = 10'000;  // milliseconds

    // `failedWorkDelay` (milliseconds) is for tests.
    BackgroundWorker(std::string name, bool initiallyPaused, std::int64_t failedWorkDelay = kFailedWorkDelay);
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;
    virtual ~BackgroundWorker();

    // Each answers whether the worker acknowledged within the time.
    virtual bool Stop(unsigned seconds);
    virtual bool Pause(unsigned seconds);
    bool Resume(unsigned seconds);

    // A stop or pause is requested and not yet taken.
    bool IsInterruptRequested() const;
    // The worker has taken a pause and not yet a resume.
    bool IsPaused() const { return m_paused.load(); }
    // The worker thread has ended (or never started).
    bool HasEnded() const { return m_ended.load(); }

  protected:
    void StartWorker();
    // Stops the worker (with no limit on the wait) and joins its thread.
    void StopAndJoin();
    // Throws InterruptWorkException while IsInterruptRequested.
    void CheckForInterruption() const;

    virtual std::int64_t DoWork() = 0;

  private:
    void Loop();
    // Takes a pending pause or resume request.
    void TakeRequests();
    void RunWork(std::chrono::steady_clock::time_point& nextWork);
    // Sets the request and waits until `acknowledged` holds or the time runs out.
    template <class Condition>
    bool Request(std::atomic<bool>& request, unsigned seconds, Condition acknowledged);
    void Notify();

    const std::string m_name;
    const std::int64_t m_failedWorkDelay;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_pauseRequested{false};
    std::atomic<bool> m_resumeRequested{false};
    std::atomic<bool> m_paused;
    std::atomic<bool> m_ended{true};
    std::mutex m_lock;
    std::condition_variable m_changed;  // a request, or an acknowledgement
    std::thread m_thread;
};
