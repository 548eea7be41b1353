#include "relay/register/notification_packets.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/base64_codec.h"
#include "formats/hex_codec.h"

namespace {

using namespace NotificationType;

std::string Hex(const std::optional<std::vector<Byte>>& packet) {
    if (!packet) return "none";
    return HexEncodeText(ConstData(packet->data(), packet->size()));
}

std::string Zeros(std::size_t bytes) {
    return std::string(bytes * 2, '0');
}

// "KVR10" is 4b56523130, "KVR11" 4b56523131, "KVR12" 4b56523132, "DONE" 444f4e45.
struct PacketCase {
    const char* what;
    std::uint32_t type;
    ClientNotification notification;
    std::uint32_t sequence;
    std::string hex;
};

TEST(NotificationPacketsTest, LaysOutEachPacketByteForByte) {
    std::string macs = Base64EncodeText(ConstData(std::string_view("\x00\x11\x22\x33\x44\x55\xaa\xbb\xcc\xdd\xee\xff", 12)));
    const PacketCase cases[] = {
        {"KVR10 with Argument", kDownloadAvailable, ClientNotification(kDownloadAvailable, 0x01020304u), 0x0a0b0c0e,
         "4b56523130" "0a0b0c0e" "00000008" "01020304" "444f4e45"},
        {"KVR10 without arguments", kRegister, ClientNotification(kRegister), 6,
         "4b56523130" "00000006" "00000007" "00000000" "444f4e45"},
        {"KVR10 type 13 takes Argument1MV", kGatherActionMV, ClientNotification(kGatherAction, 4u, 9u), 0x11,
         "4b56523130" "00000011" "0000000d" "00000009" "444f4e45"},
        {"KVR10 type 2 keeps Argument", kGatherAction, ClientNotification(kGatherAction, 4u, 9u), 0x10,
         "4b56523130" "00000010" "00000002" "00000004" "444f4e45"},
        {"KVR11 type 16 with Argument1MV 9, Argument 4, Argument2 8", kGatherHashMV,
         ClientNotification(kGatherHashMV, 4u, 9u, 8u), 0xfffffffd,
         "4b56523131" "fffffffd" "00000010" "00000009" "00000008" "444f4e45"},
        {"KVR11 type 9 without Argument2", kGatherHash, ClientNotification(kGatherHash, 5u), 2,
         "4b56523131" "00000002" "00000009" "00000005" "00000000" "444f4e45"},
        {"KVR12 IPv4 subnet, two addresses", kWakeOnLanForward,
         ClientNotification(ParseIPSubnet("192.168.1.0/24"), macs), 0x21,
         "4b56523132" "00000021" "00000014" "c0a80100" "18" "00000002" "001122334455" "aabbccddeeff" +
             Zeros(18 * 6) + "444f4e45"},
        {"KVR12 IPv6 subnet, no address", kWakeOnLanForward, ClientNotification(ParseIPSubnet("fd00::/64"), ""), 0x23,
         "4b56523132" "00000023" "00000014" "fd000000000000000000000000000000" "40" "00000000" + Zeros(20 * 6) +
             "444f4e45"},
    };
    for (const PacketCase& c : cases) {
        EXPECT_EQ(Hex(BuildNotificationPacket(c.type, c.notification, c.sequence)), c.hex) << c.what;
    }
}

TEST(NotificationPacketsTest, WakeOnLanPacketsAre146And158Bytes) {
    std::string twenty = Base64EncodeText(ConstData(std::string(120, '\x01')));
    EXPECT_EQ(BuildNotificationPacket(kWakeOnLanForward, ClientNotification(ParseIPSubnet("10.0.0.0/8"), twenty), 1)->size(),
              146u);
    EXPECT_EQ(BuildNotificationPacket(kWakeOnLanForward, ClientNotification(ParseIPSubnet("fe80::/10"), twenty), 1)->size(),
              158u);
}

struct PayloadCase {
    const char* what;
    std::string payload;
    std::optional<std::size_t> addresses;
};

TEST(NotificationPacketsTest, PayloadMustDecodeToWholeAddressesAndAtMostTwenty) {
    auto encoded = [](std::size_t bytes) { return Base64EncodeText(ConstData(std::string(bytes, '\x42'))); };
    const PayloadCase cases[] = {
        {"empty", "", 0},
        {"one address", encoded(6), 1},
        {"seven bytes", encoded(7), std::nullopt},
        {"twenty addresses", encoded(120), 20},
        {"twenty addresses with line breaks and padding", encoded(120) + "\r\n==", 20},
        {"twenty-one addresses", encoded(126), std::nullopt},
        {"characters outside the alphabet are skipped", "QkJC QkJC\n", 1},
    };
    for (const PayloadCase& c : cases) {
        std::optional<std::vector<Byte>> decoded = DecodeWakeOnLanPayload(ConstData(std::string_view(c.payload)));
        ASSERT_EQ(decoded.has_value(), c.addresses.has_value()) << c.what;
        if (decoded) {
            EXPECT_EQ(decoded->size(), *c.addresses * kMACAddressSize) << c.what;
        }
    }
}

TEST(NotificationPacketsTest, WakeOnLanWithoutSubnetOrPayloadBuildsNothing) {
    ClientNotification bare(kWakeOnLanForward);
    EXPECT_FALSE(BuildNotificationPacket(kWakeOnLanForward, bare, 1));
    ClientNotification malformed(ParseIPSubnet("10.0.0.0/8"), Base64EncodeText(ConstData(std::string(7, 'x'))));
    EXPECT_FALSE(BuildNotificationPacket(kWakeOnLanForward, malformed, 1));
}

}  // namespace
