// Test helper: blocking client sockets on the loopback addresses.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "net/socket_calls.h"

// A blocking TCP client connected to `address` (dotted IPv4 or IPv6 text) and the port.
inline SocketHandle ConnectTo(const char* address, std::uint16_t port) {
    sockaddr_storage target{};
    socklen_t length;
    int family;
    if (std::strchr(address, ':')) {
        auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&target);
        ipv6->sin6_family = family = AF_INET6;
        ipv6->sin6_port = htons(port);
        inet_pton(AF_INET6, address, &ipv6->sin6_addr);
        length = sizeof *ipv6;
    } else {
        auto* ipv4 = reinterpret_cast<sockaddr_in*>(&target);
        ipv4->sin_family = family = AF_INET;
        ipv4->sin_port = htons(port);
        inet_pton(AF_INET, address, &ipv4->sin_addr);
        length = sizeof *ipv4;
    }
    SocketHandle socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.IsValid() || ::connect(socket.Get(), reinterpret_cast<sockaddr*>(&target), length) != 0)
        throw std::runtime_error(std::string("connect failed: ") + std::strerror(errno));
    return socket;
}

// True when the kernel offers IPv6 on the loopback (::1 can be bound).
inline bool HasIPv6Loopback() {
    SocketHandle socket(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.IsValid()) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    return ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}
