// WakeOnLANAdapter: one network adapter of a client, as the client reports it for wake-on-LAN, and
// the short text form in which clients report it and the relay forwards it to its parent.
//
// Two layouts, chosen by the family of the adapter address:
//
//   IPv4:  <MAC> "_" <subnet> "_" <address> "_" <flag>          at most 54 characters
//   IPv6:  <MAC> "^" <address> "/" <prefix length> "_" <flag>   at most 74 characters
//
// <MAC> is the 17-character MACAddress text, <subnet> the IPSubnet text, <address> the IPAddress
// text and <flag> "1" when the computer can forward wake-on-LAN packets, else "0". The IPv6 layout
// keeps the adapter address whole; its subnet is that address cut to the prefix length. An IPv4
// address never carries a zone ("%..."): a text that gives one is refused, so that an IPv4 adapter is
// written back as it was read.
#pragma once

#include "base/const_data_buffer.h"
#include "base/exceptions.h"
#include "net/ip_address.h"
#include "net/ip_subnet.h"
#include "net/mac_address.h"

class NotAWakeOnLANAdapterInfo : public DebuggableException {};

struct WakeOnLANAdapter {
    MACAddress macAddress;
    IPSubnet subnet{IPAddress(false, true), 0};
    IPAddress address{false, true};
    bool canForward = false;

    bool operator==(const WakeOnLANAdapter& other) const = default;
};

// The text of the adapter in the layout of its address family; ConstDataCapacityExceeded when it
// would not fit in 74 characters.
ConstDataBuffer<74> FormatWakeOnLANAdapter(const WakeOnLANAdapter& adapter);

// The adapter a text describes; NotAWakeOnLANAdapterInfo for any text not of the form above (too
// long for its layout, a part that does not parse, a flag other than "1" or "0").
WakeOnLANAdapter ParseWakeOnLANAdapterInfo(std::string_view text);
