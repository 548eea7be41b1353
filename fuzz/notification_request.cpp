// The notification requests over arbitrary queries: the notification each request asks for, its UDP
// packet and the URL that forwards it. Nothing may crash; the only failures are the named ones of a
// bad type name or subnet, and a packet, when there is one, has one of the four fixed sizes.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "relay/register/notification_packets.h"
#include "relay/register/notification_requests.h"
#include "relay/register/notification_routing.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckPacket(const ClientNotification& notification, std::uint32_t sequence) {
    for (std::uint32_t type : {notification.type, MultiValueType(notification.type)}) {
        std::optional<std::vector<Byte>> packet = BuildNotificationPacket(type, notification, sequence);
        if (!packet) {
            Check(type == NotificationType::kWakeOnLanForward);
            continue;
        }
        std::size_t size = packet->size();
        Check(size == 21 || size == 25 || size == 146 || size == 158);
    }
}

void Exercise(const ClientNotification& notification, const RegistrationRequestParameters& parameters) {
    CheckPacket(notification, parameters.pingSequenceNumber);
    MakeForwardedNotificationURL(notification, parameters.requestType, "127.0.0.1", 52311,
                                 parameters.pingSequenceNumber, parameters.relayPath, true,
                                 parameters.destinationServer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view query(reinterpret_cast<const char*>(data), size);
    const RegistrationRequestParameters parameters = ReadRegistrationRequestParameters(query, 0);
    try {
        Exercise(NotificationForAllClients(parameters), parameters);
    } catch (const UnknownClientCommand&) {
    } catch (const DebuggableException&) {
        // The subnet parser's failures.
    }
    try {
        Exercise(NotificationForOneClient(parameters), parameters);
    } catch (const UnknownClientCommand&) {
    }
    return 0;
}
