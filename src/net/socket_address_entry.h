// One candidate address to connect or send to: a socket address with its port, as the address
// resolution lists them.
//
// With `map` set and the socket system preferring IPv6 (outgoing sockets are then dual-stack IPv6
// sockets), an IPv4 address is kept as its IPv4-mapped IPv6 form (::ffff:a.b.c.d), the IPv4 form
// staying available as the alternate. Copies take the address and flags, never the list link.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "net/ip_address.h"
#include "net/iterator_safe_list.h"

class SocketAddressEntry : public IteratorSafeListElement {
  public:
    // The IPv4 any-address, port 0.
    SocketAddressEntry();
    // A result of getaddrinfo (AF_INET or AF_INET6; any other family gives the empty entry).
    SocketAddressEntry(const addrinfo& resolved, std::uint16_t port, bool map);
    // A known address; marked as a numeric host.
    SocketAddressEntry(const IPAddress& address, std::uint16_t port, bool map);

    int Family() const { return m_address.ss_family; }
    const sockaddr* Address() const { return reinterpret_cast<const sockaddr*>(&m_address); }
    socklen_t Length() const { return m_length; }
    bool IsNumericHost() const { return m_numericHost; }
    // The entry holds an IPv4 address in its IPv6-mapped form; Alternate() is its IPv4 form.
    bool IsMapped() const { return m_mapped; }
    const sockaddr_in& Alternate() const { return m_alternate; }
    std::uint16_t Port() const;

  private:
    void SetIPv4(const sockaddr_in& address, bool map);
    void SetIPv6(const sockaddr_in6& address);

    sockaddr_storage m_address{};
    sockaddr_in m_alternate{};
    socklen_t m_length = sizeof(sockaddr_in);
    bool m_numericHost = false;
    bool m_mapped = false;
};
