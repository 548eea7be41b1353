#include "net/socket_calls.h"

#include <fcntl.h>

#include <cerrno>

#include "net/socket_errors.h"

namespace {

int Checked(int result) {
    if (result == -1) ThrowLastSocketError();
    return result;
}

// As with select, a socket in error or hung up counts as ready: the next call on it answers at once.
bool WaitFor(int socket, short events, int timeoutMilliseconds) {
    pollfd entry{socket, events, 0};
    return PollSockets(&entry, 1, timeoutMilliseconds) == 1 &&
           (entry.revents & (events | POLLERR | POLLHUP | POLLNVAL)) != 0;
}

}  // namespace

SocketHandle OpenSocket(int family, int type, int protocol) {
    return SocketHandle(Checked(::socket(family, type | SOCK_CLOEXEC, protocol)));
}

SocketHandle AcceptConnection(int listener, sockaddr_storage& peer) {
    socklen_t length = sizeof peer;
    return SocketHandle(Checked(
        ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC)));
}

void SetSocketOption(int socket, int level, int name, int value) {
    Checked(::setsockopt(socket, level, name, &value, sizeof value));
}

void BindSocket(int socket, const sockaddr* address, socklen_t length) {
    Checked(::bind(socket, address, length));
}

void ListenOnSocket(int socket, int backlog) {
    Checked(::listen(socket, backlog));
}

std::size_t ReceiveFromSocket(int socket, OutputRange& range) {
    ssize_t count = ::recv(socket, range.begin, range.Room(), 0);
    if (count == -1) ThrowLastSocketError();
    range.begin += count;
    return static_cast<std::size_t>(count);
}

bool ReceiveIfArrived(int socket, OutputRange& range, std::size_t& count) {
    ssize_t received = ::recv(socket, range.begin, range.Room(), 0);
    if (received == -1) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
        ThrowLastSocketError();
    }
    range.begin += received;
    count = static_cast<std::size_t>(received);
    return true;
}

std::size_t SendOnSocket(int socket, ConstData& range, bool moreFollows) {
    ssize_t count = ::send(socket, range.begin, range.Length(), MSG_NOSIGNAL | (moreFollows ? MSG_MORE : 0));
    if (count == -1) ThrowLastSocketError();
    range.begin += count;
    return static_cast<std::size_t>(count);
}

std::size_t SendDatagram(int socket, ConstData datagram, const sockaddr* address, socklen_t length) {
    ssize_t count = ::sendto(socket, datagram.begin, datagram.Length(), MSG_NOSIGNAL, address, length);
    if (count == -1) ThrowLastSocketError();
    return static_cast<std::size_t>(count);
}

void ShutdownSocket(int socket, int how) {
    int side = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    Checked(::shutdown(socket, side));
}

void SetNonBlocking(int socket) {
    int flags = Checked(::fcntl(socket, F_GETFL));
    Checked(::fcntl(socket, F_SETFL, flags | O_NONBLOCK));
}

int PollSockets(pollfd* entries, std::size_t count, int timeoutMilliseconds) {
    return Checked(::poll(entries, count, timeoutMilliseconds));
}

bool WaitReadable(int socket, int timeoutMilliseconds) {
    return WaitFor(socket, POLLIN, timeoutMilliseconds);
}

bool WaitWritable(int socket, int timeoutMilliseconds) {
    return WaitFor(socket, POLLOUT, timeoutMilliseconds);
}
