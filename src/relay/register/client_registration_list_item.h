// ClientRegistrationListItem: one computer registered with this relay or below it, as the
// registration list keeps it in memory and in "RegistrationList.txt" (registration_list_file.h).
#pragma once

#include <cstdint>
#include <optional>

#include "net/ip_address.h"
#include "net/ip_subnet.h"
#include "net/mac_address.h"

struct ClientRegistrationListItem {
    std::uint64_t clientID = 0;  // never 0 in a stored item
    std::uint64_t parentID = 0;  // the relay it registered through; 0 when none is known
    bool isRelay = false;
    bool relayAddress = false;  // the address belongs to a relay
    IPAddress address{false, true};
    std::uint32_t slot = 0;
    std::uint32_t regTime = 0;  // seconds since 1970-01-01 UTC
    std::uint32_t regSequenceNumber = 0;
    bool resendPending = false;
    std::uint32_t updateSequence = 0;
    std::uint32_t resendMaximum = 0;
    std::uint32_t originServer = 0;    // ThisServerID of the server that recorded the registration
    std::uint64_t originSequence = 0;  // that server's sequence number then
    bool canHandleMVPings = false;
    std::optional<IPSubnet> subnet;  // reported for wake-on-LAN
    std::optional<MACAddress> macAddress;
    bool canForwardWoL = false;

    bool operator==(const ClientRegistrationListItem& other) const = default;
};
