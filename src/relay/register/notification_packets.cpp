#include "relay/register/notification_packets.h"

#include <string_view>

#include "formats/base64_codec.h"
#include "foundation/endian.h"
#include "foundation/log_manager.h"

namespace {

using namespace NotificationType;

constexpr std::size_t kWakeOnLanPayloadCapacity = kMaxWakeOnLanAddresses * kMACAddressSize;

void AppendText(std::vector<Byte>& packet, std::string_view text) {
    packet.insert(packet.end(), text.begin(), text.end());
}

void AppendUInt32(std::vector<Byte>& packet, std::uint32_t value) {
    Byte bytes[4];
    PutUInt32BigEndian(OutputRange(bytes, sizeof bytes), value);
    packet.insert(packet.end(), bytes, bytes + sizeof bytes);
}

std::uint32_t PacketArgument(std::uint32_t type, const ClientNotification& notification) {
    if ((type == kGatherActionMV || type == kGatherHashMV) && notification.argument1MV)
        return *notification.argument1MV;
    return notification.argument.value_or(0);
}

std::optional<std::vector<Byte>> BuildWakeOnLanPacket(const ClientNotification& notification,
                                                      std::uint32_t sequence) {
    if (!notification.wolSubnet || !notification.wolPayload) {
        KVR_LOG("critical") << "WakeOnLanForward request without payload discarded.";
        return std::nullopt;
    }
    std::optional<std::vector<Byte>> addresses =
        DecodeWakeOnLanPayload(ConstData(std::string_view(*notification.wolPayload)));
    if (!addresses) return std::nullopt;

    const IPSubnet& subnet = *notification.wolSubnet;
    std::vector<Byte> packet;
    AppendText(packet, "KVR12");
    AppendUInt32(packet, sequence);
    AppendUInt32(packet, kWakeOnLanForward);
    const auto& bytes = subnet.Address().Bytes();
    packet.insert(packet.end(), subnet.Address().IsIPv6() ? bytes.begin() : bytes.end() - 4, bytes.end());
    packet.push_back(static_cast<Byte>(subnet.PrefixLength()));
    AppendUInt32(packet, static_cast<std::uint32_t>(addresses->size() / kMACAddressSize));
    packet.insert(packet.end(), addresses->begin(), addresses->end());
    packet.resize(packet.size() + kWakeOnLanPayloadCapacity - addresses->size(), 0);
    AppendText(packet, "DONE");
    return packet;
}

}  // namespace

std::optional<std::vector<Byte>> DecodeWakeOnLanPayload(ConstData payload) {
    std::vector<Byte> decoded(kWakeOnLanPayloadCapacity);
    Base64Decoder decoder;
    OutputRange output(decoded.data(), decoded.size());
    decoder.Filter(payload, output);
    // A full output with payload left over may still hold only characters outside the alphabet, or
    // leftover bits too few for a byte: a second look with one spare byte tells.
    if (output.IsFull() && !payload.IsEmpty()) {
        Byte spare = 0;
        OutputRange more(&spare, 1);
        decoder.Filter(payload, more);
        if (more.IsFull()) return std::nullopt;
    }
    std::size_t length = decoded.size() - output.Room();
    if (length % kMACAddressSize != 0) return std::nullopt;
    decoded.resize(length);
    return decoded;
}

std::optional<std::vector<Byte>> BuildNotificationPacket(std::uint32_t type, const ClientNotification& notification,
                                                         std::uint32_t sequence) {
    if (type == kWakeOnLanForward) return BuildWakeOnLanPacket(notification, sequence);
    bool withSecondArgument = type == kGatherHash || type == kGatherHashMV;
    std::vector<Byte> packet;
    AppendText(packet, withSecondArgument ? "KVR11" : "KVR10");
    AppendUInt32(packet, sequence);
    AppendUInt32(packet, type);
    AppendUInt32(packet, PacketArgument(type, notification));
    if (withSecondArgument) AppendUInt32(packet, notification.argument2.value_or(0));
    AppendText(packet, "DONE");
    return packet;
}
