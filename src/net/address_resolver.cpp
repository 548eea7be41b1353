#include "net/address_resolver.h"

#include <algorithm>
#include <string>

#include "net/socket_system.h"
#include "platform/host_name.h"
#include "platform/network_adapters.h"

namespace {

bool IsLocalMachine(std::string_view host) {
    return IsLocalHostName(host, false);
}

// The list can only grow at its front; entries found in order are therefore pushed last first.
void PushInOrder(SocketAddressList& results, std::vector<std::unique_ptr<SocketAddressEntry>>& entries) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        results.PushFront(std::move(*entry));
}

}  // namespace

AddressResolver::AddressResolver(std::string host, std::uint16_t port, int familyChoice, bool wantIPv6,
                                 int lookUpFlags, int protocol, int socketType)
    : m_host(std::move(host)),
      m_port(port),
      m_ipv6Usable(wantIPv6 && SocketSystem::Instance().IsIPv6Available()),
      m_lookUpFlags(lookUpFlags),
      m_protocol(protocol),
      m_socketType(socketType),
      m_results(std::make_unique<SocketAddressList>()) {
    // A dual-stack IPv6 socket bound to the any-address serves IPv4 as well.
    if (m_ipv6Usable && m_host.empty() && (m_lookUpFlags & kPassive)) familyChoice = 2;
    m_families = AddressFamilyOrder(familyChoice);
    if (!m_ipv6Usable) std::erase(m_families, AF_INET6);
}

std::uint32_t AddressResolver::NextFamily() {
    while (m_nextFamily < m_families.size()) {
        int family = m_families[m_nextFamily++];
        m_results = std::make_unique<SocketAddressList>();
        if (family == AF_INET)
            ResolveIPv4();
        else
            ResolveIPv6();
        if (m_results->Count() > 0) return static_cast<std::uint32_t>(family) | (m_results->Count() << 16);
    }
    return 0;
}

void AddressResolver::ResolveIPv4() {
    if (m_host.empty()) {
        Add(m_lookUpFlags & kPassive ? IPAddress(0, 0, 0, 0) : IPAddress(127, 0, 0, 1));
        return;
    }
    IPAddress dotted = TryParseIPAddress(m_host);
    if (dotted.IsValid() && !dotted.IsIPv6())
        Add(dotted);
    else
        AddLookUp(NameToLookUp(), AF_INET);
}

void AddressResolver::ResolveIPv6() {
    if (m_host.empty()) {
        Add(m_lookUpFlags & kPassive ? IPAddress(true, true) : IPv6Loopback());
        return;
    }
    if (IsLocalMachine(m_host) && AddLocalAdapterAddresses(*m_results, m_port) > 0) return;
    if (!AddLiteral()) AddLookUp(NameToLookUp(), AF_INET6);
}

bool AddressResolver::AddLiteral() {
    IPAddress literal = TryParseIPAddress(m_host);
    if (!literal.IsValid()) return false;
    literal.UnmapIPv4();
    Add(literal);
    return true;
}

// Each address found keeps the order getaddrinfo gives; an address of another family is skipped.
void AddressResolver::AddLookUp(const std::string& name, int family) {
    if (name.empty()) return;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = m_socketType;
    hints.ai_protocol = m_protocol;
    hints.ai_flags = m_lookUpFlags;
    std::string service = m_port == 0 ? std::string() : std::to_string(m_port);
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), service.empty() ? nullptr : service.c_str(), &hints, &found) != 0) return;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    std::vector<std::unique_ptr<SocketAddressEntry>> entries;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
        entries.push_back(std::make_unique<SocketAddressEntry>(*entry, m_port, m_ipv6Usable));
    }
    PushInOrder(*m_results, entries);
}

void AddressResolver::Add(const IPAddress& address) {
    m_results->PushFront(std::make_unique<SocketAddressEntry>(address, m_port, m_ipv6Usable));
}

std::string AddressResolver::NameToLookUp() const {
    if (!IsLocalMachine(m_host)) return m_host;
    return PosixPlatform::LocalHostName().value_or(std::string());
}

std::size_t AddLocalAdapterAddresses(SocketAddressList& results, std::uint16_t port) {
    if (!SocketSystem::Instance().IsIPv6Available()) return 0;
    std::vector<std::unique_ptr<SocketAddressEntry>> entries;
    try {
        for (const auto& adapter : PosixPlatform::ListAdapterAddresses(AF_INET6)) {
            if (adapter.kind != PosixPlatform::AdapterKind::Other) continue;
            IPAddress address(reinterpret_cast<const sockaddr*>(&adapter.address));
            entries.push_back(std::make_unique<SocketAddressEntry>(address, port, false));
        }
    } catch (...) {
        return 0;
    }
    std::size_t added = entries.size();
    PushInOrder(results, entries);
    return added;
}
