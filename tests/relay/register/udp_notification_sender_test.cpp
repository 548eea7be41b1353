#include "relay/register/udp_notification_sender.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "formats/hex_codec.h"

namespace {

using namespace NotificationType;

// A UDP socket on 127.0.0.1, on a port of the system's choosing.
class UDPListener {
  public:
    UDPListener() {
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        timeval wait{0, 200'000};
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~UDPListener() { ::close(m_socket); }

    std::uint16_t Port() const { return m_port; }
    // The datagrams that arrive within 200 ms of each other, in hex.
    std::vector<std::string> Received() {
        std::vector<std::string> datagrams;
        char buffer[512];
        for (;;) {
            ssize_t count = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (count < 0) return datagrams;
            datagrams.push_back(HexEncodeText(ConstData(buffer, static_cast<std::size_t>(count))));
        }
    }

  private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
};

TEST(UDPNotificationSenderTest, SendsEachPacketRepetitionTimesThroughOneDualStackSocket) {
    UDPListener listener;
    UDPNotificationSender sender(listener.Port(), 2);
    std::uint32_t sent = 5;
    EXPECT_EQ(sender.Send(kDownloadAvailable, ClientNotification(kDownloadAvailable, 9u), IPAddress(127, 0, 0, 1), sent, 0x42),
              0x42u);
    EXPECT_EQ(sent, 7u);
    std::string packet = "4b5652313000000042000000080000000944" "4f4e45";
    EXPECT_EQ(listener.Received(), (std::vector<std::string>{packet, packet}));
}

TEST(UDPNotificationSenderTest, ASequenceOfZeroIsDrawnAtRandom) {
    UDPListener listener;
    UDPNotificationSender sender(listener.Port(), 1);
    std::uint32_t sent = 0;
    std::uint32_t sequence = sender.Send(kRegister, ClientNotification(kRegister), IPAddress(127, 0, 0, 1), sent, 0);
    EXPECT_NE(sequence, 0u);
    EXPECT_NE(sequence, 0xFFFFFFFFu);
    ASSERT_EQ(listener.Received().size(), 1u);
}

TEST(UDPNotificationSenderTest, BroadcastAndAddressesWithoutRouteReceiveNothing) {
    UDPListener listener;
    UDPNotificationSender sender(listener.Port(), 1);
    for (const IPAddress& destination : {IPAddress(255, 255, 255, 255), IPAddress(0, 0, 0, 0), IPAddress(true, true)}) {
        std::uint32_t sent = 0;
        EXPECT_NO_THROW(sender.Send(kRegister, ClientNotification(kRegister), destination, sent, 2));
        EXPECT_EQ(sent, 0u);
    }
    EXPECT_TRUE(listener.Received().empty());
}

TEST(UDPNotificationSenderTest, AFailedSendThrowsUDPSocketError) {
    UDPNotificationSender sender(9, 1);
    std::uint32_t sent = 0;
    // A link-local address on an interface that does not exist: the send fails (ENETUNREACH).
    EXPECT_THROW(sender.Send(kRegister, ClientNotification(kRegister), ParseIPAddress("fe80::1%999"), sent, 2),
                 UDPSocketError);
    EXPECT_EQ(sent, 0u);
}

}  // namespace
