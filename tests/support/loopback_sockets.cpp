#include "support/loopback_sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::uint16_t BoundPort(int socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace

SilentTCPListener::SilentTCPListener() {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_socket, 16);
    m_port = BoundPort(m_socket);
}

SilentTCPListener::~SilentTCPListener() {
    ::close(m_socket);
}

UDPReceiver::UDPReceiver(const char* address, std::uint16_t port) {
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &local.sin_addr);
    m_bound = ::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    m_port = BoundPort(m_socket);
}

UDPReceiver::~UDPReceiver() {
    ::close(m_socket);
}

std::string UDPReceiver::Receive(std::chrono::milliseconds limit) {
    timeval wait{static_cast<time_t>(limit.count() / 1000), static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buffer[512];
    ssize_t count = ::recv(m_socket, buffer, sizeof buffer, 0);
    return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : "";
}
