#include "net/ip_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::array<Byte, 16> BytesOf(std::initializer_list<int> values) {
    std::array<Byte, 16> bytes{};
    std::size_t i = 0;
    for (int value : values) bytes[i++] = static_cast<Byte>(value);
    return bytes;
}

// What inet_pton makes of the text without its zone: nothing when it refuses the text.
std::optional<IPAddress> PlatformParse(const std::string& text) {
    std::string address = text.substr(0, text.find('%'));
    in_addr ipv4;
    if (inet_pton(AF_INET, address.c_str(), &ipv4) == 1) {
        const auto* b = reinterpret_cast<const Byte*>(&ipv4);
        return IPAddress(b[0], b[1], b[2], b[3]);
    }
    std::array<Byte, 16> ipv6;
    if (inet_pton(AF_INET6, address.c_str(), ipv6.data()) == 1) return IPAddress(ipv6);
    return std::nullopt;
}

struct ParseCase {
    const char* text;
    bool valid;
    bool isIPv6;
    std::array<Byte, 16> bytes;  // the whole 16 bytes; an IPv4 address in the last four
    bool platformAccepts;        // inet_pton takes the text too (its zone cut off)
};

const ParseCase kParseCases[] = {
    {"192.168.1.1", true, false, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 192, 168, 1, 1}), true},
    {"0.0.0.0", true, false, {}, true},
    {"255.255.255.255", true, false, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255}), true},
    {"010.001.1.1", true, false, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 1, 1, 1}), false},
    {"::", true, true, {}, true},
    {"::1", true, true, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true},
    {"1::", true, true, BytesOf({0, 1}), true},
    {"fe80::1%12", true, true, BytesOf({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true},
    {"2001:db8::1:0:0:1", true, true, BytesOf({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}),
     true},
    {"::ffff:1.2.3.4", true, true, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 1, 2, 3, 4}), true},
    {"::1.2.3.4", true, true, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}), true},
    {"1:2:3:4:5:6:7:8", true, true, BytesOf({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}), true},
    {"1:2:3:4:5:6:1.2.3.4", true, true, BytesOf({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 1, 2, 3, 4}), true},
    {"1:2:3:4:5:6:7::", true, true, BytesOf({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 0}), true},
    {"::2:3:4:5:6:7:8", true, true, BytesOf({0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}), true},
    {"ABCD:ef01::", true, true, BytesOf({0xab, 0xcd, 0xef, 0x01}), true},
    {"00001::", true, true, BytesOf({0, 1}), false},
    {"1:2:3:4:5:6:7:8::", true, true, BytesOf({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}), false},
    {"1.2.3.4%eth0", true, false, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}), true},
    {"192.168.1.256", false, false, {}, false},
    {"1.2.3", false, false, {}, false},
    {"1.2.3.4.5", false, false, {}, false},
    {"1..2.3", false, false, {}, false},
    {" 1.2.3.4", false, false, {}, false},
    {"0x1.2.3.4", false, false, {}, false},
    {"1:2:3:4:5:6:7:8:9", false, false, {}, false},
    {"1:2:3:4:5:6:7", false, false, {}, false},
    {"1::2::3", false, false, {}, false},
    {":1", false, false, {}, false},
    {"1:", false, false, {}, false},
    {":::", false, false, {}, false},
    {"1.2.3.4::", false, false, {}, false},
    {"::1.2.3", false, false, {}, false},
    {"::1.2.3.4:5", false, false, {}, false},
    {"1:2:3:4:5:6:7:1.2.3.4", false, false, {}, false},
    {"10000::", false, false, {}, false},
    {"g::", false, false, {}, false},
    {"%12", false, false, {}, false},
};

TEST(IPAddressParse, TableAndCrossCheckWithThePlatform) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.text);
        IPAddress parsed = TryParseIPAddress(c.text);
        ASSERT_EQ(parsed.IsValid(), c.valid);
        std::optional<IPAddress> platform = PlatformParse(c.text);
        EXPECT_EQ(platform.has_value(), c.platformAccepts);
        if (!c.valid) {
            EXPECT_THROW(ParseIPAddress(c.text), NotAnIPAddress);
            continue;
        }
        EXPECT_EQ(parsed.IsIPv6(), c.isIPv6);
        EXPECT_EQ(parsed.Bytes(), c.bytes);
        if (platform) {
            EXPECT_EQ(platform->IsIPv6(), parsed.IsIPv6());
            EXPECT_EQ(platform->Bytes(), parsed.Bytes());
        }
    }
}

TEST(IPAddressParse, EmptyTextAndZones) {
    EXPECT_THROW(ParseIPAddress(""), NotAnIPAddress);
    IPAddress empty = TryParseIPAddress("");
    EXPECT_TRUE(empty.IsValid());
    EXPECT_EQ(empty, IPAddress(0, 0, 0, 0));

    IPAddress zoned = ParseIPAddress("fe80::1%12");
    EXPECT_EQ(zoned.Zone(), "12");
    EXPECT_NE(zoned, ParseIPAddress("fe80::1"));
    EXPECT_EQ(zoned.ScopeId(), 12u);
    EXPECT_EQ(ParseIPAddress("fe80::1%abcdefghijkl").Zone(), "abcdefghi");
    EXPECT_EQ(ParseIPAddress("fe80::1%lo").ScopeId(), 1u);
    EXPECT_EQ(ParseIPAddress("fe80::1%nosuchif").ScopeId(), 0u);
}

TEST(IPAddress, LoopbackZeroAndMapping) {
    struct Case {
        const char* text;
        bool loopback;
        bool zero;
    } cases[] = {
        {"127.0.0.1", true, false},
        {"127.0.0.2", false, false},
        {"::1", true, false},
        {"::ffff:127.0.0.1", true, false},
        {"::ffff:127.0.0.2", false, false},
        {"0.0.0.0", false, true},
        {"::", false, true},
        {"::2", false, false},
    };
    for (const Case& c : cases) {
        IPAddress address = ParseIPAddress(c.text);
        EXPECT_EQ(address.IsLoopback(), c.loopback) << c.text;
        EXPECT_EQ(address.IsZero(), c.zero) << c.text;
    }

    IPAddress mapped = ParseIPAddress("::ffff:10.1.2.3%4");
    EXPECT_TRUE(mapped.UnmapIPv4());
    EXPECT_EQ(mapped, IPAddress(10, 1, 2, 3));
    EXPECT_EQ(mapped.Zone(), "");
    EXPECT_FALSE(mapped.UnmapIPv4());
    EXPECT_TRUE(mapped.MapToIPv6());
    EXPECT_EQ(mapped, ParseIPAddress("::ffff:10.1.2.3"));
    EXPECT_FALSE(mapped.MapToIPv6());
    IPAddress invalid;
    EXPECT_FALSE(invalid.MapToIPv6());
    IPAddress notMapped = ParseIPAddress("::fffe:10.1.2.3");
    EXPECT_FALSE(notMapped.UnmapIPv4());
}

TEST(IPAddress, OrderPutsIPv4FirstThenBytesThenZone) {
    const char* ascending[] = {
        "0.0.0.0", "9.255.255.255", "10.0.0.0", "::", "::1", "fe80::1", "fe80::1%1", "fe80::1%2"};
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        IPAddress lower = ParseIPAddress(ascending[i]), higher = ParseIPAddress(ascending[i + 1]);
        EXPECT_TRUE(lower < higher) << ascending[i] << " < " << ascending[i + 1];
        EXPECT_FALSE(higher < lower) << ascending[i + 1] << " < " << ascending[i];
    }
    EXPECT_FALSE(ParseIPAddress("::ffff:0.0.0.0") < ParseIPAddress("255.255.255.255"));
}

TEST(IPAddress, ConstructorsAndCopyBytes) {
    EXPECT_EQ(IPAddress(std::array<std::uint16_t, 8>{0x2001, 0xdb8, 0, 0, 0, 0, 0, 1}),
              ParseIPAddress("2001:db8::1"));
    EXPECT_EQ(IPv6Loopback(), ParseIPAddress("::1"));

    sockaddr_in6 ipv6{};
    ipv6.sin6_family = AF_INET6;
    inet_pton(AF_INET6, "fe80::2", &ipv6.sin6_addr);
    ipv6.sin6_scope_id = 3;
    EXPECT_EQ(IPAddress(reinterpret_cast<sockaddr*>(&ipv6)), ParseIPAddress("fe80::2%3"));
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    inet_pton(AF_INET, "10.9.8.7", &ipv4.sin_addr);
    EXPECT_EQ(IPAddress(reinterpret_cast<sockaddr*>(&ipv4)), IPAddress(10, 9, 8, 7));
    sockaddr other{};
    other.sa_family = AF_UNIX;
    EXPECT_FALSE(IPAddress(&other).IsValid());

    Byte out[6] = {};
    OutputRange range(out, sizeof out);
    IPAddress(1, 2, 3, 4).CopyBytes(range);
    EXPECT_EQ(range.Room(), 2u);
    EXPECT_EQ(std::memcmp(out, "\x01\x02\x03\x04", 4), 0);
    OutputRange small(out, 3);
    IPv6Loopback().CopyBytes(small);
    EXPECT_TRUE(small.IsFull());
}

TEST(IPAddress, MasksAndNetworkParts) {
    struct Case {
        const char* address;
        unsigned prefix;
        const char* mask;
        const char* network;
        const char* host;
    } cases[] = {
        {"10.1.2.3", 8, "255.0.0.0", "10.0.0.0", "0.1.2.3"},
        {"192.168.77.200", 20, "255.255.240.0", "192.168.64.0", "0.0.13.200"},
        {"10.1.2.3", 0, "0.0.0.0", "0.0.0.0", "10.1.2.3"},
        {"10.1.2.3", 40, "255.255.255.255", "10.1.2.3", "0.0.0.0"},
        {"2001:db8:abcd:1234::1", 52, "ffff:ffff:ffff:f000::", "2001:db8:abcd:1000::", "::234:0:0:0:1"},
        {"2001:db8::1", 200, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "2001:db8::1", "::"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + "/" + std::to_string(c.prefix));
        IPAddress address = ParseIPAddress(c.address);
        EXPECT_EQ(PrefixMask(address, c.prefix), ParseIPAddress(c.mask));
        EXPECT_EQ(NetworkPart(address, c.prefix, false), ParseIPAddress(c.network));
        EXPECT_EQ(NetworkPart(address, c.prefix, true), ParseIPAddress(c.host));
    }
    IPAddress ipv4(10, 1, 2, 3);
    EXPECT_EQ(ApplyMask(ipv4, PrefixMask(IPv6Loopback(), 8), false), ipv4);
}

}  // namespace
