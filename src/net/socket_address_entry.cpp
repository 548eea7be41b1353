#include "net/socket_address_entry.h"

#include <cstring>

#include "net/socket_system.h"

SocketAddressEntry::SocketAddressEntry() {
    m_address.ss_family = AF_INET;
}

SocketAddressEntry::SocketAddressEntry(const addrinfo& resolved, std::uint16_t port, bool map)
    : SocketAddressEntry() {
    if (resolved.ai_family == AF_INET && resolved.ai_addrlen >= sizeof(sockaddr_in)) {
        sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(resolved.ai_addr);
        address.sin_port = htons(port);
        SetIPv4(address, map);
    } else if (resolved.ai_family == AF_INET6 && resolved.ai_addrlen >= sizeof(sockaddr_in6)) {
        sockaddr_in6 address = *reinterpret_cast<const sockaddr_in6*>(resolved.ai_addr);
        address.sin6_port = htons(port);
        SetIPv6(address);
    } else {
        return;
    }
    m_numericHost = (resolved.ai_flags & AI_NUMERICHOST) != 0;
}

SocketAddressEntry::SocketAddressEntry(const IPAddress& address, std::uint16_t port, bool map) {
    if (address.IsIPv6()) {
        sockaddr_in6 ipv6{};
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        std::memcpy(&ipv6.sin6_addr, address.Bytes().data(), 16);
        ipv6.sin6_scope_id = address.ScopeId();
        SetIPv6(ipv6);
        IPAddress unmapped = address;
        if (unmapped.UnmapIPv4()) {
            m_mapped = true;
            m_alternate.sin_family = AF_INET;
            m_alternate.sin_port = ipv6.sin6_port;
            std::memcpy(&m_alternate.sin_addr, &address.Bytes()[12], 4);
        }
    } else {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        std::memcpy(&ipv4.sin_addr, &address.Bytes()[12], 4);
        SetIPv4(ipv4, map);
    }
    m_numericHost = true;
}

void SocketAddressEntry::SetIPv4(const sockaddr_in& address, bool map) {
    if (!map || !SocketSystem::Instance().IsIPv6Preferred()) {
        std::memcpy(&m_address, &address, sizeof address);
        m_length = sizeof address;
        return;
    }
    m_alternate = address;
    sockaddr_in6 mapped{};
    mapped.sin6_family = AF_INET6;
    mapped.sin6_port = address.sin_port;
    mapped.sin6_addr.s6_addr[10] = 0xFF;
    mapped.sin6_addr.s6_addr[11] = 0xFF;
    std::memcpy(&mapped.sin6_addr.s6_addr[12], &address.sin_addr, 4);
    SetIPv6(mapped);
    m_mapped = true;
}

void SocketAddressEntry::SetIPv6(const sockaddr_in6& address) {
    m_address = {};
    std::memcpy(&m_address, &address, sizeof address);
    m_length = sizeof address;
}

std::uint16_t SocketAddressEntry::Port() const {
    if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&m_address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&m_address)->sin_port);
}
