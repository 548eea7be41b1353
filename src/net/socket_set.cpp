#include "net/socket_set.h"

#include "net/socket_calls.h"

void SocketSet::Clear() {
    for (const pollfd& entry : m_entries) m_entryOfSocket[static_cast<std::size_t>(entry.fd)] = 0;
    m_entries.clear();
}

void SocketSet::Add(int socket, short events) {
    const std::size_t descriptor = static_cast<std::size_t>(socket);
    if (descriptor >= m_entryOfSocket.size()) m_entryOfSocket.resize(descriptor + 1, 0);
    std::uint32_t& index = m_entryOfSocket[descriptor];
    if (index == 0) {
        m_entries.push_back({socket, 0, 0});
        index = static_cast<std::uint32_t>(m_entries.size());
    }
    m_entries[index - 1].events |= events;
}

void SocketSet::Poll(int milliseconds) {
    for (pollfd& entry : m_entries) entry.revents = 0;
    PollSockets(m_entries.data(), m_entries.size(), milliseconds);
}

bool SocketSet::IsReady(int socket, short events) const {
    const std::size_t descriptor = static_cast<std::size_t>(socket);
    if (socket < 0 || descriptor >= m_entryOfSocket.size() || m_entryOfSocket[descriptor] == 0) return false;
    const pollfd& entry = m_entries[m_entryOfSocket[descriptor] - 1];
    return (entry.events & events) != 0 && (entry.revents & (events | POLLERR | POLLHUP | POLLNVAL)) != 0;
}
