// The senders of notification packets (notification_packets.h).
//
// NotificationSender is what the dispatcher's worker sends through; UDPNotificationSender sends real
// datagrams. One datagram socket, opened on the first send: a dual-stack IPv6 socket (IPV6_V6ONLY
// off), which reaches IPv4 clients under their IPv4-mapped addresses; only where IPv6 sockets cannot
// be made, an IPv4 socket, which then refuses IPv6 destinations. Closed when the sender goes.
//
// One thread at a time.
#pragma once

#include <cstdint>

#include "base/exceptions.h"
#include "net/ip_address.h"
#include "net/socket_calls.h"
#include "relay/register/client_notification.h"

// Every failure of a send.
class UDPSocketError : public ExceptionPL {
  public:
    UDPSocketError() : ExceptionPL("Error: socket operation failed.") {}
};

// The copies of each packet that the setting PingRepetitionCount asks for: its low 8 bits, 0 taken
// as 1 and more than 8 as 8 (0 gives 1, 20 gives 8, 256 gives 1).
unsigned PingRepetitions(std::uint32_t setting);

class NotificationSender {
  public:
    virtual ~NotificationSender() = default;
    // Copies sent of each packet.
    virtual unsigned Repetitions() const = 0;
    // Sends the notification's packet to the destination Repetitions() times, adding one to `sent`
    // for each; answers the sequence number used (a random one for 0). UDPSocketError when a send
    // fails.
    virtual std::uint32_t Send(std::uint32_t type, const ClientNotification& notification,
                               const IPAddress& destination, std::uint32_t& sent, std::uint32_t sequence) = 0;
};

class UDPNotificationSender : public NotificationSender {
  public:
    // The socket is not opened yet.
    UDPNotificationSender(std::uint16_t port, std::uint32_t repetitionSetting);

    unsigned Repetitions() const override { return m_repetitions; }
    // Nothing is sent, and nothing counted, to 255.255.255.255, to an address of all zeros (no
    // route), or when the packet cannot be built (notification_packets.h). UDPSocketError also when
    // no socket can be opened; a failed or short send is logged at "critical" first.
    std::uint32_t Send(std::uint32_t type, const ClientNotification& notification, const IPAddress& destination,
                       std::uint32_t& sent, std::uint32_t sequence) override;

  private:
    void OpenSocket();
    void SendDatagramTo(ConstData packet, const IPAddress& destination);

    std::uint16_t m_port;
    unsigned m_repetitions;
    SocketHandle m_socket;
    bool m_dualStack = false;
};
