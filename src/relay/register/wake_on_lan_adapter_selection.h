// SelectWoLAdapter: which of the adapters a registering client reported is the one through which it
// reached this relay, and so the one whose subnet, MAC address and forwarding ability the
// registration keeps for wake-on-LAN.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "net/ip_address.h"
#include "relay/register/wake_on_lan_adapter.h"

// Over the texts in their sorted order: the first whose address equals `clientAddress` (family,
// bytes and zone), or the only text when there is just one, whatever its address. A text that does
// not parse is logged at "critical" ("Bad adapter info in SelectWoLAdapter for <client> (<text>):
// <failure>") and skipped. None when no text qualifies. Works on its arguments only.
std::optional<WakeOnLANAdapter> SelectWoLAdapter(const IPAddress& clientAddress,
                                                 const std::set<std::string>& adapterTexts);
