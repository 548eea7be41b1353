#include "platform/network_adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <cstring>
#include <map>
#include <memory>

#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

// The hardware type of each adapter comes with its link-layer (AF_PACKET) entry in the same list,
// so no second source is needed to tell tunnels and loopback apart.
AdapterKind KindOfHardwareType(unsigned short hardwareType) {
    switch (hardwareType) {
        case ARPHRD_LOOPBACK:
            return AdapterKind::Loopback;
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case 823:          // ARPHRD_IP6GRE, missing from the C library's header
        case ARPHRD_NONE:  // tun devices and WireGuard carry no link layer
            return AdapterKind::Tunnel;
        default:
            return AdapterKind::Other;
    }
}

std::size_t SocketAddressLength(int family) {
    return family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
}

}  // namespace

std::vector<AdapterAddress> ListAdapterAddresses(int family) {
    ifaddrs* first = nullptr;
    if (getifaddrs(&first) != 0) throw Posix::Error(errno);
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> list(first, &freeifaddrs);

    std::map<std::string, AdapterKind> kinds;
    for (const ifaddrs* entry = first; entry; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            kinds[entry->ifa_name] = KindOfHardwareType(link->sll_hatype);
        }
    }

    std::vector<AdapterAddress> addresses;
    for (const ifaddrs* entry = first; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        int entryFamily = entry->ifa_addr->sa_family;
        if (entryFamily != AF_INET && entryFamily != AF_INET6) continue;
        if (family != AF_UNSPEC && entryFamily != family) continue;
        AdapterAddress address;
        address.adapterName = entry->ifa_name;
        auto kind = kinds.find(address.adapterName);
        if (entry->ifa_flags & IFF_LOOPBACK)
            address.kind = AdapterKind::Loopback;
        else if (kind != kinds.end())
            address.kind = kind->second;
        std::memcpy(&address.address, entry->ifa_addr, SocketAddressLength(entryFamily));
        addresses.push_back(address);
    }
    return addresses;
}

}  // namespace PosixPlatform
