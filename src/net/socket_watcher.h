// SocketWatcher: the sockets the server loop watches, kept from pass to pass, and what the last wait
// found ready.
//
// The interest list is an epoll set, level-triggered: a socket stays in it, watched for reading,
// writing or both, until Watch changes that or Forget takes it out, and a system call is made only
// when a socket's interest changes. So a pass costs time in proportion to the sockets that are ready,
// not to the sockets that are open, and two thousand idle connections cost nothing between their
// bytes. A socket watched for nothing is taken out of the set (epoll would still report it hung up).
//
// The owner must Forget a socket before it lets the descriptor go (closes it or hands it to another
// thread or to the lingering closer): a descriptor number the watcher still believes watched would
// otherwise be skipped when the system gives the number to a new socket.
//
// A socket in error or hung up counts as ready for what it is watched for, so the next call on it
// answers at once. Wait reports every ready socket at once (its buffer grows with the watched set).
//
// Built, changed and read by the loop thread only.
#pragma once

#include <sys/epoll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/socket_calls.h"

class SocketWatcher {
  public:
    // Throws the socket error kind when the system has no epoll set to give.
    SocketWatcher();
    SocketWatcher(const SocketWatcher&) = delete;
    SocketWatcher& operator=(const SocketWatcher&) = delete;

    // Sets what the socket is watched for from now on; nothing for both takes it out of the set.
    void Watch(int socket, bool read, bool write);
    void Forget(int socket) { Watch(socket, false, false); }
    // The socket's descriptor has been closed, and it was the only one open on that socket: the
    // system has taken the socket out of the set by itself, so only the record of it goes.
    void Closed(int socket);
    // The number of sockets watched.
    std::size_t Count() const { return m_watchedCount; }

    // Waits at most the time for a watched socket to become ready; throws the socket error kind
    // (SocketBusyError when a signal interrupted the wait).
    void Wait(int milliseconds);
    bool IsReadable(int socket) const { return IsReady(socket, kRead); }
    bool IsWritable(int socket) const { return IsReady(socket, kWrite); }
    // The sockets the last wait found ready, each once, in the order the system reported them.
    const std::vector<int>& ReadySockets() const { return m_readySockets; }

  private:
    static constexpr std::uint8_t kRead = 1;
    static constexpr std::uint8_t kWrite = 2;

    struct Entry {
        std::uint8_t watched = 0;  // kRead and kWrite as registered in the epoll set
        std::uint8_t ready = 0;    // what the last wait found, of what is watched
    };

    bool IsReady(int socket, std::uint8_t what) const;
    Entry& EntryOf(int socket);
    void ClearReady();

    SocketHandle m_set;
    std::vector<Entry> m_entries;  // by descriptor number
    std::size_t m_watchedCount = 0;
    std::vector<epoll_event> m_events;
    std::vector<int> m_readySockets;
};
