#include "net/socket_connection.h"

#include <sys/socket.h>

#include <cerrno>

#include "net/socket_errors.h"

namespace {

// Whether nothing from the peer waits to be read: a close then sends the end after the written
// bytes, where unread bytes would turn it into a reset.
bool NothingUnread(int socket) {
    char byte;
    for (;;) {
        const ssize_t count = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (count == 0) return true;
        if (count > 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

}  // namespace

SocketConnection::SocketConnection(SocketHandle socket, std::unique_ptr<TLSConnection> tls,
                                   const IPAddress& peer, std::shared_ptr<LingeringCloser> closer)
    : m_socket(std::move(socket)), m_tls(std::move(tls)), m_peer(peer), m_closer(std::move(closer)) {}

SocketConnection& SocketConnection::operator=(SocketConnection&& other) noexcept {
    if (this != &other) {
        Close();
        m_socket = std::move(other.m_socket);
        m_tls = std::move(other.m_tls);
        m_peer = other.m_peer;
        m_closer = std::move(other.m_closer);
        m_nothingMoreExpected = other.m_nothingMoreExpected;
    }
    return *this;
}

SocketConnection::~SocketConnection() {
    Close();
}

bool SocketConnection::HasPendingTLSData() const {
    return m_tls && m_tls->PendingBytes() > 0;
}

std::size_t SocketConnection::Read(OutputRange& range) {
    if (range.IsFull()) return 0;
    if (m_tls) return m_tls->Read(range);
    std::size_t count = ReceiveFromSocket(m_socket.Get(), range);
    if (count == 0) throw SocketClosedError();
    return count;
}

bool SocketConnection::ReadIfArrived(OutputRange& range, std::size_t& count) {
    count = 0;
    if (range.IsFull()) return true;
    if (!ReceiveIfArrived(m_socket.Get(), range, count)) return false;
    if (count == 0) throw SocketClosedError();
    return true;
}

std::size_t SocketConnection::Write(ConstData& range, bool moreFollows) {
    if (range.IsEmpty()) return 0;
    if (m_tls) return m_tls->Write(range);
    return SendOnSocket(m_socket.Get(), range, moreFollows);
}

bool SocketConnection::CloseIfDone() noexcept {
    if (!m_nothingMoreExpected || m_tls || !m_socket.IsValid() || !NothingUnread(m_socket.Get())) return false;
    m_socket = SocketHandle();
    return true;
}

// A failed shutdown (the peer reset the connection, say) changes nothing about what must follow:
// the socket is given up either way, and closed at once when it can't linger.
void SocketConnection::Close() noexcept {
    if (CloseIfDone()) return;
    try {
        if (m_tls) m_tls->Shutdown();
        if (m_socket.IsValid()) ShutdownSocket(m_socket.Get(), 1);
    } catch (...) {
    }
    m_tls.reset();
    try {
        if (m_closer && m_socket.IsValid()) m_closer->Close(std::move(m_socket));
    } catch (...) {
    }
    m_socket = SocketHandle();
}
