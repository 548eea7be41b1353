// SocketSet: the sockets one pass of the server loop watches, and what poll found ready.
//
// A socket is added for reading, for writing or both, at most once each; Poll waits until one is
// ready or the time passes. A socket in error or hung up counts as ready for what it was added for,
// so the next call on it answers at once. poll has no limit on descriptor numbers or counts.
//
// Built and read by the loop thread only; Clear keeps the memory for the next pass.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class SocketSet {
  public:
    void Clear();
    void AddRead(int socket) { Add(socket, POLLIN); }
    void AddWrite(int socket) { Add(socket, POLLOUT); }
    bool IsEmpty() const { return m_entries.empty(); }
    std::size_t Count() const { return m_entries.size(); }

    // Waits at most the time for a socket to become ready; throws the socket error kind
    // (SocketBusyError when a signal interrupted the wait).
    void Poll(int milliseconds);
    bool IsReadable(int socket) const { return IsReady(socket, POLLIN); }
    bool IsWritable(int socket) const { return IsReady(socket, POLLOUT); }

  private:
    void Add(int socket, short events);
    bool IsReady(int socket, short events) const;

    std::vector<pollfd> m_entries;
    std::vector<std::uint32_t> m_entryOfSocket;  // by descriptor: index into m_entries + 1, 0 for none
};
