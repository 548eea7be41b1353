#include "support/scripted_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kPollMilliseconds = 50;

// Waits for the socket to be readable while the server runs; false when it stops.
bool WaitReadable(int socket, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd entry{socket, POLLIN, 0};
        if (::poll(&entry, 1, kPollMilliseconds) > 0) return true;
    }
    return false;
}

bool SendAll(int socket, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t ContentLengthOf(const std::string& head) {
    for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
        std::size_t at = head.find(name);
        if (at != std::string::npos) return std::stoul(head.substr(at + std::strlen(name)));
    }
    return 0;
}

}  // namespace

ScriptedHTTPServer::ScriptedHTTPServer(Responder responder) : m_responder(std::move(responder)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 64) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("ScriptedHTTPServer: cannot listen");
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread(&ScriptedHTTPServer::Accept, this);
}

ScriptedHTTPServer::~ScriptedHTTPServer() {
    m_stop = true;
    m_acceptor.join();
    for (std::thread& connection : m_connections) connection.join();
    ::close(m_listener);
}

std::vector<ScriptedHTTPServer::Exchange> ScriptedHTTPServer::Exchanges() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_exchanges;
}

bool ScriptedHTTPServer::WaitForClosedConnections(std::size_t count) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_closedConnections >= count) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::size_t ScriptedHTTPServer::AcceptedConnections() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connections.size();
}

void ScriptedHTTPServer::Accept() {
    while (WaitReadable(m_listener, m_stop)) {
        int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        std::lock_guard<std::mutex> guard(m_lock);
        m_connections.emplace_back(&ScriptedHTTPServer::Serve, this, socket);
    }
}

bool ScriptedHTTPServer::ReadRequest(int socket, std::string& buffer, std::string& request) {
    char chunk[65536];
    for (;;) {
        std::size_t headEnd = buffer.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            std::size_t total = headEnd + 4 + ContentLengthOf(buffer.substr(0, headEnd + 2));
            if (buffer.size() >= total) {
                request = buffer.substr(0, total);
                buffer.erase(0, total);
                return true;
            }
        }
        if (!WaitReadable(socket, m_stop)) return false;
        ssize_t n = ::recv(socket, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

void ScriptedHTTPServer::Serve(int socket) {
    std::string buffer;
    std::string request;
    while (ReadRequest(socket, buffer, request)) {
        Reply reply = m_responder(request);
        std::size_t index;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            index = m_exchanges.size();
            m_exchanges.push_back({request, {}});
        }
        bool sent = SendAll(socket, reply.bytes);
        if (sent && reply.keepOpen) continue;
        if (sent && !reply.closeAtOnce) {
            ::shutdown(socket, SHUT_WR);
            char chunk[65536];
            ssize_t n;
            while (WaitReadable(socket, m_stop) && (n = ::recv(socket, chunk, sizeof chunk, 0)) > 0) {
                std::lock_guard<std::mutex> guard(m_lock);
                m_exchanges[index].afterReply.append(chunk, static_cast<std::size_t>(n));
            }
        }
        break;
    }
    ::close(socket);
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_closedConnections;
}

std::string MakeHTTPReply(const std::string& body, const std::string& extraHeaders,
                          const std::string& statusLine) {
    return statusLine + "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::uint16_t ClosedLoopbackPort() {
    ScriptedHTTPServer gone([](const std::string&) { return ScriptedHTTPServer::Reply{}; });
    return gone.Port();
}
