#include "relay/register/udp_notification_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "formats/hex_codec.h"
#include "support/loopback_sockets.h"

namespace {

using namespace NotificationType;

// The datagrams that arrive within 200 ms of each other, in hex.
std::vector<std::string> Received(UDPReceiver& receiver) {
    std::vector<std::string> datagrams;
    for (std::string datagram; !(datagram = receiver.Receive(std::chrono::milliseconds(200))).empty();)
        datagrams.push_back(HexEncodeText(ConstData(std::string_view(datagram))));
    return datagrams;
}

TEST(UDPNotificationSenderTest, SendsEachPacketRepetitionTimesThroughOneDualStackSocket) {
    UDPReceiver listener("127.0.0.1", 0);
    UDPNotificationSender sender(listener.Port(), 2);
    std::uint32_t sent = 5;
    EXPECT_EQ(sender.Send(kDownloadAvailable, ClientNotification(kDownloadAvailable, 9u), IPAddress(127, 0, 0, 1), sent, 0x42),
              0x42u);
    EXPECT_EQ(sent, 7u);
    std::string packet = "4b5652313000000042000000080000000944" "4f4e45";
    EXPECT_EQ(Received(listener), (std::vector<std::string>{packet, packet}));
}

TEST(UDPNotificationSenderTest, ASequenceOfZeroIsDrawnAtRandom) {
    UDPReceiver listener("127.0.0.1", 0);
    UDPNotificationSender sender(listener.Port(), 1);
    std::uint32_t sent = 0;
    std::uint32_t sequence = sender.Send(kRegister, ClientNotification(kRegister), IPAddress(127, 0, 0, 1), sent, 0);
    EXPECT_NE(sequence, 0u);
    EXPECT_NE(sequence, 0xFFFFFFFFu);
    ASSERT_EQ(Received(listener).size(), 1u);
}

TEST(UDPNotificationSenderTest, BroadcastAndAddressesWithoutRouteReceiveNothing) {
    UDPReceiver listener("127.0.0.1", 0);
    UDPNotificationSender sender(listener.Port(), 1);
    for (const IPAddress& destination : {IPAddress(255, 255, 255, 255), IPAddress(0, 0, 0, 0), IPAddress(true, true)}) {
        std::uint32_t sent = 0;
        EXPECT_NO_THROW(sender.Send(kRegister, ClientNotification(kRegister), destination, sent, 2));
        EXPECT_EQ(sent, 0u);
    }
    EXPECT_TRUE(Received(listener).empty());
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
