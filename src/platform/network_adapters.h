// The machine's network adapters and their unicast addresses, as the outgoing address resolution
// lists them for the special host "..localmachine".
#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

namespace PosixPlatform {

enum class AdapterKind { Loopback, Tunnel, Other };

struct AdapterAddress {
    std::string adapterName;
    AdapterKind kind = AdapterKind::Other;
    // An AF_INET or AF_INET6 socket address (port 0); IPv6 link-local addresses carry their scope id.
    sockaddr_storage address{};
};

// Every unicast address of the given family (AF_INET, AF_INET6, or AF_UNSPEC for both) on every
// adapter, in the order the kernel lists them. Throws Posix::Error when the list can't be read.
std::vector<AdapterAddress> ListAdapterAddresses(int family);

}  // namespace PosixPlatform
