// The relay's one layer over the POSIX socket calls. Every wrapper checks the call's result and
// throws the socket error kind of errno (net/socket_errors.h) when it failed. Descriptors are made
// close-on-exec; sends never raise SIGPIPE.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cstddef>

#include "base/const_data.h"
#include "platform/file_descriptor.h"

// An owned socket descriptor (-1 when none), closed when destroyed; moved, never copied.
using SocketHandle = PosixPlatform::FileDescriptor;

SocketHandle OpenSocket(int family, int type, int protocol);
// accept4 into a non-blocking, close-on-exec socket; `peer` receives the peer's address.
SocketHandle AcceptConnection(int listener, sockaddr_storage& peer);
void SetSocketOption(int socket, int level, int name, int value);
void BindSocket(int socket, const sockaddr* address, socklen_t length);
void ListenOnSocket(int socket, int backlog);
// One recv into the range; advances its begin and answers the count (0 when the peer has closed).
std::size_t ReceiveFromSocket(int socket, OutputRange& range);
// The same for a non-blocking socket that may have nothing yet: false, and the range untouched, then.
bool ReceiveIfArrived(int socket, OutputRange& range, std::size_t& count);
// One send from the range; advances its begin and answers the count. With `moreFollows` the system
// may hold the bytes back until the next send without it, to go out with what follows (MSG_MORE).
std::size_t SendOnSocket(int socket, ConstData& range, bool moreFollows = false);
// One datagram to the address; answers the count sent.
std::size_t SendDatagram(int socket, ConstData datagram, const sockaddr* address, socklen_t length);
// `how`: 0 the receiving side, 1 the sending side, anything else both.
void ShutdownSocket(int socket, int how);
void SetNonBlocking(int socket);
// poll over the given entries; answers the number of entries with events.
int PollSockets(pollfd* entries, std::size_t count, int timeoutMilliseconds);
// True when the socket is readable (writable) within the time; a negative time waits without limit.
bool WaitReadable(int socket, int timeoutMilliseconds);
bool WaitWritable(int socket, int timeoutMilliseconds);
