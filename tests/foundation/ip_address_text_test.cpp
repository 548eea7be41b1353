#include "foundation/ip_address_text.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

IPAddressTextSource IPv6(std::string_view text, std::string_view zone = {}) {
    IPAddressTextSource address{true, {}, zone};
    EXPECT_EQ(inet_pton(AF_INET6, std::string(text).c_str(), address.bytes.data()), 1) << text;
    return address;
}

IPAddressTextSource IPv4(Byte a, Byte b, Byte c, Byte d) {
    IPAddressTextSource address;
    address.bytes[12] = a;
    address.bytes[13] = b;
    address.bytes[14] = c;
    address.bytes[15] = d;
    return address;
}

}  // namespace

TEST(FormatIPAddressText, CompressedIPv6Table) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"::1", "::1"},
        {"::", "::"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},    // the first of two equally long runs
        {"2001:db8:0:1:1:1:1:1", "2001:db8::1:1:1:1:1"},  // a single zero group is compressed too
        {"2001:db8::", "2001:db8::"},
        {"fe80::1:2", "fe80::1:2"},
        {"1:0:0:2:0:0:0:3", "1:0:0:2::3"},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8"},
        {"ABCD:00ef:0:0::F", "abcd:ef::f"},
        {"::ffff:1.2.3.4", "::ffff:102:304"},
    };
    for (const auto& [input, text] : cases) EXPECT_EQ(FormatIPAddressText(IPv6(input)).View(), text) << input;
}

TEST(FormatIPAddressText, StylesSeparatorsAndZones) {
    struct Case {
        IPAddressTextSource address;
        IPv6TextStyle style;
        char separator;
        bool withZone;
        std::string_view text;
    };
    const Case cases[] = {
        {IPv6("::1"), IPv6TextStyle::Full, 0, false, "0000:0000:0000:0000:0000:0000:0000:0001"},
        {IPv6("::ffff:1.2.3.4"), IPv6TextStyle::DottedTail, 0, false, "0:0:0:0:0:ffff:1.2.3.4"},
        {IPv6("::ffff:1.2.3.4"), IPv6TextStyle::CompressedDottedTail, 0, false, "::ffff:1.2.3.4"},
        {IPv6("::1.2.3.4"), IPv6TextStyle::CompressedDottedTail, 0, false, "::1.2.3.4"},
        {IPv6("1::1.2.3.4"), IPv6TextStyle::CompressedDottedTail, 0, false, "1::1.2.3.4"},
        {IPv6("1::"), IPv6TextStyle::CompressedDottedTail, 0, false, "1::0.0.0.0"},
        {IPv6("fe80::1"), IPv6TextStyle::Compressed, '-', false, "fe80-0-0-0-0-0-0-1"},
        {IPv6("fe80::1", "eth0"), IPv6TextStyle::Compressed, 0, true, "fe80::1%eth0"},
        {IPv6("fe80::1", "eth0"), IPv6TextStyle::Compressed, 0, false, "fe80::1"},
        {IPv6("fe80::1"), IPv6TextStyle::Compressed, 0, true, "fe80::1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatIPAddressText(c.address, false, c.style, c.separator, c.withZone).View(), c.text);
    EXPECT_EQ(
        FormatIPAddressText(IPv6("fe80::1", "7"), false, IPv6TextStyle::Compressed, 0, true, 's').View(),
        "fe80::1s7");
}

TEST(FormatIPAddressText, IPv4) {
    EXPECT_EQ(FormatIPAddressText(IPv4(10, 0, 0, 255)).View(), "10.0.0.255");
    EXPECT_EQ(FormatIPAddressText(IPv4(0, 0, 0, 0)).View(), "0.0.0.0");
    EXPECT_EQ(FormatIPAddressText(IPv4(192, 168, 0, 1), false, IPv6TextStyle::Compressed, '-').View(),
              "192-168-0-1");
    EXPECT_EQ(FormatIPAddressText(IPv4(127, 0, 0, 1), true).View(), "::7f00:1");
}

TEST(FormatIPAddressText, RefusesTextBeyondSixtyCharacters) {
    std::string zone(30, 'z');
    EXPECT_THROW(FormatIPAddressText(IPv6("1:2:3:4:5:6:7:8", zone), false, IPv6TextStyle::Full, 0, true),
                 ConstDataCapacityExceeded);
}

// Where the rule here and RFC 5952 agree (a zero run of at least two groups, no IPv4-style address),
// the text matches the C library's.
TEST(FormatIPAddressText, AgreesWithInetNtopOutsideItsDifferences) {
    std::mt19937 random(52311);
    int compared = 0;
    for (int round = 0; round < 5000; ++round) {
        IPAddressTextSource address{true, {}, {}};
        for (int group = 0; group < 8; ++group) {
            std::uint16_t value =
                random() % 3 == 0 ? 0 : static_cast<std::uint16_t>(random() >> (random() % 16));
            address.bytes[2 * group] = static_cast<Byte>(value >> 8);
            address.bytes[2 * group + 1] = static_cast<Byte>(value);
        }
        bool firstFiveZero =
            std::all_of(address.bytes.begin(), address.bytes.begin() + 10, [](Byte b) { return b == 0; });
        int longest = 0;
        for (int group = 0, run = 0; group < 8; ++group) {
            run = (address.bytes[2 * group] | address.bytes[2 * group + 1]) == 0 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        if (firstFiveZero || longest == 1) continue;
        char expected[INET6_ADDRSTRLEN];
        ASSERT_NE(inet_ntop(AF_INET6, address.bytes.data(), expected, sizeof expected), nullptr);
        EXPECT_EQ(FormatIPAddressText(address).View(), expected);
        ++compared;
    }
    EXPECT_GT(compared, 1000);
}
