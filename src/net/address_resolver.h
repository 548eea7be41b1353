// Outgoing address resolution: turns a host text and a port into the socket addresses to try, one
// address family at a time, in the order of the address-family choice.
//
// The host may be empty (the loopback address, or the any-address for a passive look-up), dotted
// IPv4 text, an IPv6 literal, a host name, or the special name "..localmachine" (the machine's own
// name for IPv4, its adapters' addresses for IPv6). Used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/iterator_safe_list.h"
#include "net/socket_address_entry.h"

using SocketAddressList = IteratorSafeList<SocketAddressEntry>;

class AddressResolver {
  public:
    // The look-up flag for addresses to bind to rather than connect to.
    static constexpr int kPassive = AI_PASSIVE;

    // `familyChoice` as ParseAddressFamilyChoice gives it, tried in the order of AddressFamilyOrder
    // (the families the started socket system offers); IPv6 only when `wantIPv6` too.
    // `lookUpFlags` are getaddrinfo flags; protocol and socket type are the hints of the look-up.
    AddressResolver(std::string host, std::uint16_t port, int familyChoice, bool wantIPv6, int lookUpFlags,
                    int protocol, int socketType);

    // Moves on to the next family that yields addresses, freeing the previous family's; answers that
    // family (AF_INET, AF_INET6) in the low 16 bits and the number of addresses above them, or 0
    // when no family is left.
    std::uint32_t NextFamily();
    // The current family's addresses, in the order found.
    SocketAddressList& Results() { return *m_results; }

  private:
    void ResolveIPv4();
    void ResolveIPv6();
    // A literal address of either family (an IPv4-mapped IPv6 one counts as IPv4); false when the
    // host is none.
    bool AddLiteral();
    void AddLookUp(const std::string& name, int family);
    void Add(const IPAddress& address);
    std::string NameToLookUp() const;

    std::string m_host;
    std::uint16_t m_port;
    bool m_ipv6Usable;
    int m_lookUpFlags;
    int m_protocol;
    int m_socketType;
    std::vector<int> m_families;
    std::size_t m_nextFamily = 0;
    std::unique_ptr<SocketAddressList> m_results;
};

// Adds every unicast address of every adapter except tunnels and the loopback, with the port, and
// answers how many; nothing when IPv6 is not available. Never throws.
std::size_t AddLocalAdapterAddresses(SocketAddressList& results, std::uint16_t port);
