#include "relay/register/udp_notification_sender.h"

#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "foundation/log_manager.h"
#include "net/socket_errors.h"
#include "relay/register/notification_packets.h"

namespace {

constexpr unsigned kMaxRepetitions = 8;
constexpr std::uint32_t kNoSequence = 0xFFFFFFFF;

std::uint32_t RandomSequence() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    std::uint32_t value = 0;
    do {
        value = static_cast<std::uint32_t>(generator());
    } while (value == kNoSequence || value == 0);
    return value;
}

bool IsLimitedBroadcast(const IPAddress& address) {
    const auto& bytes = address.Bytes();
    return !address.IsIPv6() && std::all_of(bytes.end() - 4, bytes.end(), [](Byte b) { return b == 255; });
}

}  // namespace

unsigned PingRepetitions(std::uint32_t setting) {
    unsigned low = setting & 0xFF;
    return std::clamp(low, 1u, kMaxRepetitions);
}

UDPNotificationSender::UDPNotificationSender(std::uint16_t port, std::uint32_t repetitionSetting)
    : m_port(port), m_repetitions(PingRepetitions(repetitionSetting)) {}

std::uint32_t UDPNotificationSender::Send(std::uint32_t type, const ClientNotification& notification,
                                          const IPAddress& destination, std::uint32_t& sent,
                                          std::uint32_t sequence) {
    if (sequence == 0) sequence = RandomSequence();
    IPAddress target = destination;
    target.UnmapIPv4();
    // Records that came through replication carry 0.0.0.0 for "no route"; on Linux a datagram to it
    // would reach this host.
    if (IsLimitedBroadcast(target) || target.IsZero()) return sequence;
    std::optional<std::vector<Byte>> packet = BuildNotificationPacket(type, notification, sequence);
    if (!packet) return sequence;
    if (type == NotificationType::kWakeOnLanForward) {
        KVR_LOG("performance") << "Sending out WoLF packet to " << FormatIPAddress(target).View();
    }
    if (!m_socket.IsValid()) OpenSocket();
    for (unsigned copy = 0; copy < m_repetitions; ++copy) {
        SendDatagramTo(ConstData(packet->data(), packet->size()), target);
        ++sent;
    }
    return sequence;
}

void UDPNotificationSender::OpenSocket() {
    try {
        m_socket = ::OpenSocket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
        SetSocketOption(m_socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, 0);
        m_dualStack = true;
        return;
    } catch (const DebuggableException&) {
        m_socket = SocketHandle();
    }
    try {
        m_socket = ::OpenSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        m_dualStack = false;
    } catch (const DebuggableException&) {
        throw UDPSocketError();
    }
}

void UDPNotificationSender::SendDatagramTo(ConstData packet, const IPAddress& destination) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (m_dualStack) {
        IPAddress mapped = destination;
        mapped.MapToIPv6();
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(m_port);
        std::memcpy(&in6.sin6_addr, mapped.Bytes().data(), 16);
        in6.sin6_scope_id = mapped.ScopeId();
        length = sizeof in6;
    } else {
        if (destination.IsIPv6()) throw UDPSocketError();
        auto& in4 = reinterpret_cast<sockaddr_in&>(address);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(m_port);
        std::memcpy(&in4.sin_addr, destination.Bytes().data() + 12, 4);
        length = sizeof in4;
    }
    std::size_t count = 0;
    try {
        count = SendDatagram(m_socket.Get(), packet, reinterpret_cast<const sockaddr*>(&address), length);
    } catch (const SocketError& error) {
        KVR_LOG("critical") << "ERROR: unable to send packet (Error #" << error.Code() << ").\n";
        throw UDPSocketError();
    } catch (const DebuggableException&) {
        KVR_LOG("critical") << "ERROR: unable to send packet (Error #" << errno << ").\n";
        throw UDPSocketError();
    }
    if (count < packet.Length()) {
        KVR_LOG("critical") << "Error: " << count << " bytes of message sent, " << packet.Length()
                            << " expected.\n";
        throw UDPSocketError();
    }
}
