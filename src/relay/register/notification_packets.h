// The UDP notification packets ("pings") that clients receive, byte for byte. Numbers are unsigned
// 32-bit, most significant byte first; the magic texts are five ASCII bytes, "DONE" four, with no
// terminators.
//
// "KVR10" (21 bytes), every type but 9, 16 and 20:
//   0 "KVR10" | 5 sequence | 9 type | 13 argument | 17 "DONE"
// "KVR11" (25 bytes), types 9 and 16:
//   0 "KVR11" | 5 sequence | 9 type | 13 argument | 17 Argument2 (0 when absent) | 21 "DONE"
// The argument is Argument1MV for types 13 and 16 when present, else Argument, else 0.
// "KVR12", type 20 (wake-on-LAN forward), with a = 4 for an IPv4 subnet and 16 for IPv6, and n the
// number of MAC addresses the payload decodes to (0 to 20):
//   0 "KVR12" | 5 sequence | 9 type 20 | 13 subnet address (a bytes) | 13+a prefix length (1 byte)
//   | 14+a n | 18+a n MAC addresses of 6 bytes, then zero bytes up to 20 entries | 138+a "DONE"
// so 146 bytes for an IPv4 subnet and 158 for IPv6.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/const_data.h"
#include "relay/register/client_notification.h"

inline constexpr std::size_t kMaxWakeOnLanAddresses = 20;
inline constexpr std::size_t kMACAddressSize = 6;

// The packet of the type for the notification with the sequence number. None for a wake-on-LAN
// forward without subnet or payload (logged at "critical": "WakeOnLanForward request without
// payload discarded."), and, silently, for one whose payload does not decode to whole MAC addresses
// or decodes to more than 20.
std::optional<std::vector<Byte>> BuildNotificationPacket(std::uint32_t type, const ClientNotification& notification,
                                                         std::uint32_t sequence);

// The MAC addresses of a wake-on-LAN payload, decoded from Base64 (characters outside the alphabet
// skipped); none when they are not a whole number of addresses or more than 20.
std::optional<std::vector<Byte>> DecodeWakeOnLanPayload(ConstData payload);
