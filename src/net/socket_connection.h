// One accepted server connection: its socket, its TLS session when the listener has TLS, and the
// peer's address. Moved, never copied; used by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>

#include "base/const_data.h"
#include "net/ip_address.h"
#include "net/lingering_closer.h"
#include "net/socket_calls.h"
#include "net/tls_hooks.h"

class SocketConnection {
  public:
    SocketConnection() = default;
    SocketConnection(SocketHandle socket, std::unique_ptr<TLSConnection> tls, const IPAddress& peer,
                     std::shared_ptr<LingeringCloser> closer);
    SocketConnection(SocketConnection&&) noexcept = default;
    SocketConnection& operator=(SocketConnection&& other) noexcept;
    // Closes the connection (see Close).
    ~SocketConnection();

    int Handle() const { return m_socket.Get(); }
    bool IsOpen() const { return m_socket.IsValid(); }
    const IPAddress& Peer() const { return m_peer; }
    bool HasTLS() const { return m_tls != nullptr; }

    // True when the TLS session holds decrypted bytes that can be read without waiting.
    bool HasPendingTLSData() const;
    // Reads once into the range, advancing its begin; answers the count (0 for an empty range, and
    // over TLS when nothing could be decrypted yet). A peer that has closed throws SocketClosedError.
    std::size_t Read(OutputRange& range);
    // The same on a plain socket that may have nothing yet: false, and nothing read, then. Not for a
    // TLS connection, whose bytes are not the socket's.
    bool ReadIfArrived(OutputRange& range, std::size_t& count);
    // Writes once from the range, advancing its begin; answers the count (0 for an empty range, and
    // over TLS when the socket takes nothing now: then call again with the same first bytes). On a
    // plain socket `moreFollows` lets the bytes wait for the next write to go out with it; that
    // write must come.
    std::size_t Write(ConstData& range, bool moreFollows = false);
    // Says that the peer has sent all it will send (a request read whole, with no body to follow):
    // then Close may end the connection at once.
    void ExpectNothingMore() { m_nothingMoreExpected = true; }
    // Ends the TLS session, shuts the sending side down and hands the socket to the lingering
    // closer, so the peer receives every byte written before the end. After ExpectNothingMore, a
    // plain socket with nothing unread is closed at once instead: no reset can follow (nothing lies
    // unread and nothing more is coming), and the system still sends every written byte before the
    // end. Never throws; does nothing when already closed.
    void Close() noexcept;
    // Closes at once when Close would (after ExpectNothingMore, a plain socket with nothing unread)
    // and answers whether it did; otherwise changes nothing. The descriptor is closed by then: the
    // system has taken it out of every epoll set.
    bool CloseIfDone() noexcept;

  private:
    SocketHandle m_socket;
    std::unique_ptr<TLSConnection> m_tls;
    IPAddress m_peer;
    std::shared_ptr<LingeringCloser> m_closer;
    bool m_nothingMoreExpected = false;
};
