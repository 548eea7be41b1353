#include "net/client_socket.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "net/socket_system.h"

namespace {

bool WillBeDualStack(bool preferIPv6) {
    return preferIPv6 && SocketSystem::Instance().IsIPv6Preferred();
}

bool SetTimeOut(int socket, int option, std::int64_t microseconds) {
    timeval value{static_cast<time_t>(microseconds / 1'000'000),
                  static_cast<suseconds_t>(microseconds % 1'000'000)};
    return ::setsockopt(socket, SOL_SOCKET, option, &value, sizeof value) == 0;
}

}  // namespace

std::unique_ptr<Socket> SocketOptions::Make() const {
    return std::make_unique<Socket>(*this);
}

std::unique_ptr<Socket> MakeHTTPClientSocket(std::uint64_t timeOut) {
    return SocketOptions().IPv4().TimeOut(static_cast<std::int64_t>(timeOut)).TCP().PreferIPv6(true).Make();
}

// On Linux SO_SNDTIMEO also bounds a blocking connect.
SocketHandle CreateSocket(int family, int type, int protocol, std::int64_t timeOut, bool preferIPv6) {
    const SocketSystem& system = SocketSystem::Instance();
    if (!system.IsAvailable(family, protocol, type)) {
        errno = EAFNOSUPPORT;
        return SocketHandle();
    }
    bool dualStack = WillBeDualStack(preferIPv6);
    if (dualStack) family = AF_INET6;
    SocketHandle socket(::socket(family, type | SOCK_CLOEXEC, protocol));
    if (!socket.IsValid()) return socket;
    bool configured = true;
    if (timeOut > 0)
        configured =
            SetTimeOut(socket.Get(), SO_RCVTIMEO, timeOut) && SetTimeOut(socket.Get(), SO_SNDTIMEO, timeOut);
    if (configured && dualStack) {
        int off = 0;
        configured = ::setsockopt(socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) == 0;
    }
    if (!configured) return SocketHandle();
    return socket;
}

Socket::Socket(const SocketOptions& options)
    : m_family(options.m_family),
      m_timeOut(options.m_timeOut),
      m_type(options.m_type),
      m_protocol(options.m_protocol),
      m_preferIPv6(options.m_preferIPv6) {}

bool Socket::Open() {
    if (m_socket.IsValid()) Close();
    int family = WillBeDualStack(m_preferIPv6) ? AF_INET6 : m_family;
    m_socket = CreateSocket(family, m_type, m_protocol, m_timeOut, m_preferIPv6);
    if (!m_socket.IsValid()) {
        m_lastError = errno;
        return false;
    }
    m_family = family;
    m_dualStack = WillBeDualStack(m_preferIPv6);
    m_lastError = 0;
    return true;
}

bool Socket::EnsureFamily(int family) {
    if (m_socket.IsValid() && (m_family == family || m_dualStack)) return true;
    m_family = family;
    return Open();
}

bool Socket::Connect(const SocketAddressEntry& entry) {
    if (!m_socket.IsValid() && !EnsureFamily(entry.Family())) return false;
    m_entry = entry;
    m_connected = ::connect(m_socket.Get(), m_entry.Address(), m_entry.Length()) == 0;
    m_lastError = m_connected ? 0 : errno;
    return m_connected;
}

long Socket::SendTo(ConstData bytes, int flags, const SocketAddressEntry& entry) {
    if (!m_socket.IsValid()) {
        m_lastError = ENOTSOCK;
        return -1;
    }
    ssize_t count = ::sendto(m_socket.Get(), bytes.begin, bytes.Length(), flags | MSG_NOSIGNAL,
                             entry.Address(), entry.Length());
    m_lastError = count == -1 ? errno : 0;
    return count;
}

bool Socket::Close() {
    m_lastError = ENOTSOCK;
    bool closed = true;
    if (m_socket.IsValid()) {
        ::shutdown(m_socket.Get(), SHUT_RDWR);
        closed = ::close(m_socket.Release()) == 0;
        m_lastError = closed ? 0 : errno;
    }
    m_connected = false;
    return closed;
}
