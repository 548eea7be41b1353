// Closes accepted sockets gracefully, so that the end of a reply is never lost.
//
// Closing a socket while bytes from the peer lie unread makes the kernel reset the connection, and
// a reset throws away reply bytes still waiting in the send buffer. So a connection is not closed
// at once: its sending side is shut down (the peer reads every byte, then the end), and the socket
// lingers, its incoming bytes read and dropped, until the peer closes too, fails, or the linger
// time passes. Lingering sockets still hold descriptors: the server counts them against its
// connection limit.
//
// Thread-safe: connections are closed on the server's loop and on plug-in threads. The owner calls
// Pump regularly (the server loop does it on every pass); destroying the closer closes what is left.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "net/socket_calls.h"

class LingeringCloser {
  public:
    static constexpr std::int64_t kDefaultLingerMicroseconds = 2'000'000;

    explicit LingeringCloser(std::int64_t lingerMicroseconds = kDefaultLingerMicroseconds);

    // Takes the socket, whose sending side the caller has already shut down; drops what has arrived
    // and closes it at once when the peer has closed already, else keeps it lingering. Never blocks.
    void Close(SocketHandle socket);
    // Drops what arrived on every lingering socket and closes those whose peer closed or failed and
    // those past their linger time. Never blocks.
    void Pump();
    // The number of sockets lingering.
    std::size_t Count() const;

  private:
    struct Lingering {
        SocketHandle socket;
        std::chrono::steady_clock::time_point deadline;
    };

    const std::chrono::microseconds m_linger;
    mutable std::mutex m_lock;
    std::vector<Lingering> m_sockets;
};
