// BodyPace: how the body of one request has been arriving, and whether its client is too slow to
// keep.
//
// Two rules end a client that sends its body too slowly, so that a silent or trickling client can
// hold a socket and at most one plug-in thread only for a bounded time:
//   silent     no body byte for longer than the read time-out ("ReadTimeOut", the rule the server
//              applies to heads);
//   too slow   fewer than the minimum rate ("MinRequestBodyBytesPerSecond", 0 turns the rule off)
//              times the read time-out in one window: the time is cut into windows of at least the
//              read time-out each, from the end of the head on, and each window must bring its share.
// The record starts when the head is complete. The server loop judges it while it reads the body
// before the plug-in runs, the plug-in's interface while the plug-in reads the rest.
//
// Kept in the request record, so it is used by one thread at a time, as the record is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/ip_address.h"

class BodyPace {
  public:
    enum class Verdict { kKeep, kSilent, kTooSlow };

    // Starts the record at the monotonic time the head was complete.
    void Start(std::int64_t time, std::int64_t readTimeOut, std::uint32_t minimumBytesPerSecond);
    // `count` body bytes arrived at the monotonic time.
    void Received(std::size_t count, std::int64_t time);
    // Whether the client may go on sending. A window that is over and brought its share is followed
    // by a new one from `time` on. Keeps every client before Start.
    Verdict Judge(std::int64_t time);
    // The earliest monotonic time at which Judge can answer anything but kKeep.
    std::int64_t NextJudgement() const;
    // The "debug" line for a client judged silent or too slow: "Closing HTTP connection on <client>: "
    // and the reason.
    void LogDrop(Verdict verdict, const IPAddress& client) const;

  private:
    std::uint64_t WindowShare() const;

    bool m_started = false;
    std::int64_t m_readTimeOut = 0;
    std::uint32_t m_minimumBytesPerSecond = 0;
    std::int64_t m_lastArrival = 0;
    std::int64_t m_windowStart = 0;
    std::uint64_t m_windowBytes = 0;
};
