// Event: a manual-reset event, the one way the relay tells waiting work to go on or to stop.
//
// Once Set, every wait returns true at once until Reset; one Set wakes every waiter. Waits take a
// time-out in microseconds: 0 only looks, kWaitWithoutLimit waits until the event is set, and other
// values are cut to whole milliseconds as MicrosecondsToWaitMilliseconds says. WaitWithHandle also
// ends when another descriptor (an inotify descriptor, a pipe, a socket) becomes ready.
//
// Set, Reset and every wait may be called from any thread at any time; what a thread wrote before
// Set is visible to a waiter whose wait returned true. An Event is not copied: it is shared by
// reference, and must outlive every Set and wait on it. A platform failure throws Posix::Error.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <span>

#include "platform/event_descriptor.h"

constexpr std::int64_t kWaitWithoutLimit = std::numeric_limits<std::int64_t>::max();
// The longest wait that still has a limit, in milliseconds (about 49.7 days).
constexpr std::uint32_t kLongestLimitedWaitMilliseconds = 4'294'967'294;

// The platform wait for a time-out in microseconds: kWaitWithoutLimit gives
// PosixPlatform::kInfiniteWait; otherwise the microseconds divided by 1000, truncated toward zero,
// with negative results waiting 0 and results beyond kLongestLimitedWaitMilliseconds waiting that.
std::uint32_t MicrosecondsToWaitMilliseconds(std::int64_t microseconds);

class Event {
  public:
    // A clear event.
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when the event is set or becomes set within the time; false on time-out.
    bool Wait(std::int64_t microseconds);
    // True when the event is set, or the other descriptor becomes ready, within the time.
    bool WaitWithHandle(int descriptor, std::int64_t microseconds);
    // Looks without a system call. True proves the event set; false may lag a Set made at the same
    // moment as a Reset, which only the descriptor shows (a caller that waits on it sees it ready).
    bool IsSetWithoutWaiting() const { return m_isSet.load(std::memory_order_acquire); }
    // The descriptor that is readable exactly while the event is set, for a caller that waits on many
    // descriptors at once (the HTTP server's epoll set). Never read from or written to.
    int Descriptor() const { return m_descriptor.Get(); }

  private:
    bool WaitForDescriptors(std::span<const int> descriptors, std::int64_t microseconds);

    PosixPlatform::EventDescriptor m_descriptor;  // readable exactly while the event is set
    std::atomic<bool> m_isSet{false};
};

// The same as event.Wait(microseconds).
bool WaitOnEvent(Event& event, std::int64_t microseconds);
