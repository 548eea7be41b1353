// The server's listening socket.
//
// Not loopback-only, it is one dual-stack IPv6 socket that takes IPv4 peers too (reported by their
// IPv4 address, never as ::ffff:a.b.c.d); where the kernel has no IPv6 it falls back to IPv4. Loopback
// only, it listens on 127.0.0.1. Accepted connections are non-blocking and are closed gracefully
// through the listener's lingering closer, which the server pumps and counts (see
// net/lingering_closer.h). With a TLS context every accepted connection gets a TLS session.
//
// Used by the server's loop thread only; the closer it shares with its connections is thread-safe.
#pragma once

#include <cstdint>
#include <memory>

#include "net/lingering_closer.h"
#include "net/socket_calls.h"
#include "net/socket_connection.h"
#include "net/tls_hooks.h"

class ListeningSocket {
  public:
    ListeningSocket();

    // Binds to the port (0 for one the system chooses) and listens. Throws the socket error kind:
    // SocketAddrInUse when the port is taken.
    void Open(std::uint16_t port, bool loopbackOnly, std::shared_ptr<TLSServerContext> tls = nullptr);
    // Takes one pending connection; throws the socket error kind (a plain SocketError when none is
    // pending, so call it when the socket is readable).
    SocketConnection Accept();
    void Close() { m_socket = SocketHandle(); }

    int Handle() const { return m_socket.Get(); }
    bool IsOpen() const { return m_socket.IsValid(); }
    // The port bound (useful after Open with port 0).
    std::uint16_t LocalPort() const;
    LingeringCloser& ClosingConnections() { return *m_closer; }

  private:
    SocketHandle m_socket;
    std::shared_ptr<TLSServerContext> m_tls;
    std::shared_ptr<LingeringCloser> m_closer;
};
