#include "net/socket_watcher.h"

#include <algorithm>
#include <cerrno>

#include "net/socket_errors.h"

namespace {

std::uint32_t EpollEventsOf(std::uint8_t read, std::uint8_t write) {
    return (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u);
}

}  // namespace

SocketWatcher::SocketWatcher() {
    const int set = ::epoll_create1(EPOLL_CLOEXEC);
    if (set == -1) ThrowLastSocketError();
    m_set = SocketHandle(set);
}

SocketWatcher::Entry& SocketWatcher::EntryOf(int socket) {
    const std::size_t descriptor = static_cast<std::size_t>(socket);
    if (descriptor >= m_entries.size()) m_entries.resize(descriptor + 1);
    return m_entries[descriptor];
}

// A descriptor number the set still holds under another socket cannot happen while every owner forgets
// before it lets go; should it happen all the same, ADD and MOD fall back on each other, so the new
// socket is watched rather than silently left out. A socket already closed has left the set by itself.
void SocketWatcher::Watch(int socket, bool read, bool write) {
    if (socket < 0) return;
    Entry& entry = EntryOf(socket);
    const std::uint8_t wanted = static_cast<std::uint8_t>((read ? kRead : 0) | (write ? kWrite : 0));
    if (wanted == entry.watched) return;
    epoll_event event{};
    event.events = EpollEventsOf(wanted & kRead, wanted & kWrite);
    event.data.fd = socket;
    if (wanted == 0) {
        ::epoll_ctl(m_set.Get(), EPOLL_CTL_DEL, socket, nullptr);
    } else {
        int operation = entry.watched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        int result = ::epoll_ctl(m_set.Get(), operation, socket, &event);
        if (result == -1 && (errno == EEXIST || errno == ENOENT)) {
            operation = operation == EPOLL_CTL_ADD ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
            result = ::epoll_ctl(m_set.Get(), operation, socket, &event);
        }
        if (result == -1) ThrowLastSocketError();
    }
    if (entry.watched == 0)
        ++m_watchedCount;
    else if (wanted == 0)
        --m_watchedCount;
    entry.watched = wanted;
    entry.ready &= wanted;
}

void SocketWatcher::Closed(int socket) {
    if (socket < 0) return;
    Entry& entry = EntryOf(socket);
    if (entry.watched != 0) --m_watchedCount;
    entry.watched = 0;
    entry.ready = 0;
}

void SocketWatcher::ClearReady() {
    for (int socket : m_readySockets) m_entries[static_cast<std::size_t>(socket)].ready = 0;
    m_readySockets.clear();
}

void SocketWatcher::Wait(int milliseconds) {
    ClearReady();
    m_events.resize(std::max<std::size_t>(m_watchedCount, 1));
    int count = ::epoll_wait(m_set.Get(), m_events.data(), static_cast<int>(m_events.size()), milliseconds);
    if (count == -1) ThrowLastSocketError();
    for (int i = 0; i < count; ++i) {
        const epoll_event& event = m_events[static_cast<std::size_t>(i)];
        const int socket = event.data.fd;
        Entry& entry = EntryOf(socket);
        std::uint8_t ready = 0;
        if (event.events & (EPOLLIN | EPOLLERR | EPOLLHUP)) ready |= kRead;
        if (event.events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) ready |= kWrite;
        ready &= entry.watched;
        if (ready == 0 || entry.ready != 0) continue;
        entry.ready = ready;
        m_readySockets.push_back(socket);
    }
}

bool SocketWatcher::IsReady(int socket, std::uint8_t what) const {
    const std::size_t descriptor = static_cast<std::size_t>(socket);
    return socket >= 0 && descriptor < m_entries.size() && (m_entries[descriptor].ready & what) != 0;
}
