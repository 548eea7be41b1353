#include "net/lingering_closer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

// A peer that keeps sending is not allowed to hold the caller up: each visit drops at most this much
// of its data, and the linger time ends it in any case.
constexpr std::size_t kMostBytesDroppedPerVisit = 64 * 1024;

// Reads and drops what is waiting; answers true while the socket should linger on (nothing more
// to read now, and the peer has neither closed nor failed).
bool DrainWithoutBlocking(int socket) {
    char scratch[16 * 1024];
    for (std::size_t dropped = 0; dropped < kMostBytesDroppedPerVisit;) {
        ssize_t count = ::recv(socket, scratch, sizeof scratch, MSG_DONTWAIT);
        if (count > 0) {
            dropped += static_cast<std::size_t>(count);
            continue;
        }
        if (count == -1 && errno == EINTR) continue;
        return count == -1 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

}  // namespace

LingeringCloser::LingeringCloser(std::int64_t lingerMicroseconds) : m_linger(lingerMicroseconds) {}

void LingeringCloser::Close(SocketHandle socket) {
    if (!socket.IsValid() || !DrainWithoutBlocking(socket.Get())) return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_sockets.push_back({std::move(socket), std::chrono::steady_clock::now() + m_linger});
}

void LingeringCloser::Pump() {
    auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> guard(m_lock);
    std::erase_if(m_sockets, [now](Lingering& entry) {
        return !DrainWithoutBlocking(entry.socket.Get()) || now >= entry.deadline;
    });
}

std::size_t LingeringCloser::Count() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sockets.size();
}
