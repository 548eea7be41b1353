#include "net/listening_socket.h"

#include <netinet/in.h>

#include <cerrno>
#include <climits>

#include "net/socket_errors.h"

namespace {

// One IPv6 socket with IPV6_V6ONLY off serves both families; an invalid handle when the kernel has
// no IPv6.
SocketHandle OpenDualStackSocket() {
    try {
        SocketHandle socket = OpenSocket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
        SetSocketOption(socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, 0);
        return socket;
    } catch (const SocketError& error) {
        if (error.Code() == EAFNOSUPPORT) return SocketHandle();
        throw;
    }
}

}  // namespace

ListeningSocket::ListeningSocket() : m_closer(std::make_shared<LingeringCloser>()) {}

// No SO_LINGER here or on accepted sockets: a zero linger time turns every close into a reset that
// discards reply bytes still in the send buffer. SO_REUSEADDR lets a restarted relay bind while
// connections of its predecessor sit in TIME_WAIT; a port that another socket listens on still fails.
void ListeningSocket::Open(std::uint16_t port, bool loopbackOnly, std::shared_ptr<TLSServerContext> tls) {
    m_socket = SocketHandle();
    m_tls = std::move(tls);
    SocketHandle socket;
    if (!loopbackOnly) socket = OpenDualStackSocket();
    if (socket.IsValid()) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = in6addr_any;
        SetSocketOption(socket.Get(), SOL_SOCKET, SO_REUSEADDR, 1);
        BindSocket(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } else {
        socket = OpenSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
        SetSocketOption(socket.Get(), SOL_SOCKET, SO_REUSEADDR, 1);
        BindSocket(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    SetNonBlocking(socket.Get());
    ListenOnSocket(socket.Get(), INT_MAX);  // the kernel caps it at net.core.somaxconn
    m_socket = std::move(socket);
}

SocketConnection ListeningSocket::Accept() {
    sockaddr_storage peerAddress{};
    SocketHandle socket = AcceptConnection(m_socket.Get(), peerAddress);
    IPAddress peer(reinterpret_cast<const sockaddr*>(&peerAddress));
    peer.UnmapIPv4();
    std::unique_ptr<TLSConnection> session;
    if (m_tls) session = m_tls->CreateConnection(socket.Get());
    return SocketConnection(std::move(socket), std::move(session), peer, m_closer);
}

std::uint16_t ListeningSocket::LocalPort() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        ThrowLastSocketError();
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}
