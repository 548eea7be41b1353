// ClientNotification: one notification as it travels through the relay: its type, its optional
// arguments, the one computer it is for, and for wake-on-LAN the subnet and payload. A value, copied
// deeply; an absent member stays absent.
//
// The types have names, used in requests and in forwarded requests (the "Body" parameter); the
// number is the value in the record and on the wire (notification_packets.h). Names compare whole,
// ignoring the case of ASCII letters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "net/ip_subnet.h"

namespace NotificationType {
inline constexpr std::uint32_t kGatherAction = 2;
inline constexpr std::uint32_t kForceRefresh = 4;
inline constexpr std::uint32_t kRegister = 7;
inline constexpr std::uint32_t kDownloadAvailable = 8;
inline constexpr std::uint32_t kGatherHash = 9;
inline constexpr std::uint32_t kResendReport = 12;
inline constexpr std::uint32_t kGatherActionMV = 13;
inline constexpr std::uint32_t kForceRefreshMV = 14;
inline constexpr std::uint32_t kGatherHashMV = 16;
inline constexpr std::uint32_t kWakeOnLanForward = 20;
inline constexpr std::uint32_t kDownloadCRC = 21;
inline constexpr std::uint32_t kWakeFromDeepSleep = 22;
}  // namespace NotificationType

// A name or number outside the table of notification types.
class UnknownClientCommand : public DebuggableException {};

// The number of a type name; UnknownClientCommand when no type has it.
std::uint32_t NotificationTypeFromName(std::string_view name);
// The name of a type number; UnknownClientCommand when the number has none.
const char* NotificationTypeName(std::uint32_t type);
// 2 becomes 13 and 9 becomes 16, the forms for clients that handle multi-value pings; other types
// stay.
std::uint32_t MultiValueType(std::uint32_t type);

struct ClientNotification {
    // The plain form; subnet and payload absent.
    explicit ClientNotification(std::uint32_t type, std::optional<std::uint32_t> argument = {},
                                std::optional<std::uint32_t> argument1MV = {},
                                std::optional<std::uint32_t> argument2 = {},
                                std::optional<std::uint64_t> computerID = {})
        : type(type), argument(argument), argument1MV(argument1MV), argument2(argument2), computerID(computerID) {}
    // A wake-on-LAN forward (type 20) for the subnet, with the payload text as received (Base64 of
    // the MAC addresses to wake).
    ClientNotification(IPSubnet subnet, std::string payload)
        : type(NotificationType::kWakeOnLanForward), wolSubnet(subnet), wolPayload(std::move(payload)) {}

    std::uint32_t type;
    std::optional<std::uint32_t> argument;
    std::optional<std::uint32_t> argument1MV;
    std::optional<std::uint32_t> argument2;
    std::optional<std::uint64_t> computerID;
    std::optional<IPSubnet> wolSubnet;
    std::optional<std::string> wolPayload;
};
