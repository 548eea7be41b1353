// The relay's one layer over the POSIX socket calls. Every wrapper checks the call's result and
// throws the socket error kind of errno (net/socket_errors.h) when it failed. Descriptors are made
// close-on-exec; sends never raise SIGPIPE.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cstddef>

#include "foundation/const_data.h"

// An owned socket descriptor (-1 when none), closed when destroyed; moved, never copied.
class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(int descriptor) : m_descriptor(descriptor) {}
    SocketHandle(SocketHandle&& other) noexcept : m_descriptor(other.Release()) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept;
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    // Closes the descriptor; a failure of close() is ignored here (use Close to see it).
    ~SocketHandle();

    int Get() const { return m_descriptor; }
    bool IsValid() const { return m_descriptor >= 0; }
    // Gives up ownership and answers the descriptor.
    int Release();
    // Closes the descriptor now (it is given up even when close() fails); throws the error kind.
    void Close();

private:
    int m_descriptor = -1;
};

SocketHandle OpenSocket(int family, int type, int protocol);
// accept4 into a non-blocking, close-on-exec socket; `peer` receives the peer's address.
SocketHandle AcceptConnection(int listener, sockaddr_storage& peer);
void SetSocketOption(int socket, int level, int name, int value);
void BindSocket(int socket, const sockaddr* address, socklen_t length);
void ListenOnSocket(int socket, int backlog);
// One recv into the range; advances its begin and answers the count (0 when the peer has closed).
std::size_t ReceiveFromSocket(int socket, OutputRange& range);
// One send from the range; advances its begin and answers the count.
std::size_t SendOnSocket(int socket, ConstData& range);
// `how`: 0 the receiving side, 1 the sending side, anything else both.
void ShutdownSocket(int socket, int how);
void SetNonBlocking(int socket);
// poll over the given entries; answers the number of entries with events.
int PollSockets(pollfd* entries, std::size_t count, int timeoutMilliseconds);
// True when the socket is readable (writable) within the time; a negative time waits without limit.
bool WaitReadable(int socket, int timeoutMilliseconds);
bool WaitWritable(int socket, int timeoutMilliseconds);
