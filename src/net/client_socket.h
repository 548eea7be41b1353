// The client socket of the outgoing HTTP clients and the UDP sender.
//
// Unlike the server's sockets, a Socket never throws: each operation answers success or failure and
// keeps the errno value of the last failure (LastError, ENOTSOCK before the socket is opened). When
// the socket prefers IPv6 and the socket system does too, it is one dual-stack IPv6 socket that
// reaches IPv4 peers through their IPv4-mapped addresses (see SocketAddressEntry). Used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "base/const_data.h"
#include "net/socket_address_entry.h"
#include "net/socket_calls.h"

class Socket;

// Builds a Socket. Defaults: IPv4, TCP stream, a 30-second send and receive time-out, IPv6 preferred.
class SocketOptions {
  public:
    SocketOptions& IPv4() { return m_family = AF_INET, *this; }
    // Microseconds; 0 or less leaves the system's (no time-out).
    SocketOptions& TimeOut(std::int64_t microseconds) { return m_timeOut = microseconds, *this; }
    SocketOptions& TCP() { return m_type = SOCK_STREAM, m_protocol = IPPROTO_TCP, *this; }
    SocketOptions& UDP() { return m_type = SOCK_DGRAM, m_protocol = 0, *this; }
    SocketOptions& PreferIPv6(bool prefer) { return m_preferIPv6 = prefer, *this; }

    std::unique_ptr<Socket> Make() const;

  private:
    friend class Socket;
    int m_family = AF_INET;
    std::int64_t m_timeOut = 30'000'000;
    int m_type = SOCK_STREAM;
    int m_protocol = IPPROTO_TCP;
    bool m_preferIPv6 = true;
};

// The socket of an outgoing HTTP request: IPv4 (dual-stack IPv6 when the system prefers IPv6),
// TCP, with the time-out (microseconds; 0 for none) on each connect, send and receive.
std::unique_ptr<Socket> MakeHTTPClientSocket(std::uint64_t timeOut);

// A socket of the family, type and protocol, with the time-out (microseconds) on sends and
// receives; IPv6 dual-stack instead when `preferIPv6` and the socket system prefers IPv6. Invalid
// when the system does not offer that kind of socket or it can't be made (errno says why).
SocketHandle CreateSocket(int family, int type, int protocol, std::int64_t timeOut, bool preferIPv6);

class Socket {
  public:
    explicit Socket(const SocketOptions& options);

    // Opens a new socket (closing an open one); answers whether it is open.
    bool Open();
    // Makes sure the socket can reach addresses of the family: already open with it, or dual-stack,
    // or reopened with it.
    bool EnsureFamily(int family);
    // Connects (opening the socket for the entry's family first when needed); answers whether
    // connected.
    bool Connect(const SocketAddressEntry& entry);
    // One sendto; answers the count, or -1.
    long SendTo(ConstData bytes, int flags, const SocketAddressEntry& entry);
    // Shuts both sides down and closes; answers whether the close succeeded.
    bool Close();

    int Handle() const { return m_socket.Get(); }
    int Family() const { return m_family; }
    bool IsDualStack() const { return m_dualStack; }
    bool IsConnected() const { return m_connected; }
    int LastError() const { return m_lastError; }

  private:
    int m_family;
    std::int64_t m_timeOut;
    int m_type;
    int m_protocol;
    bool m_preferIPv6;
    bool m_dualStack = false;
    SocketAddressEntry m_entry;
    SocketHandle m_socket;
    bool m_connected = false;
    int m_lastError = ENOTSOCK;
};
