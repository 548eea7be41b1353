#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/numerals.h"
#include "net/ip_subnet.h"
#include "net/mac_address.h"
#include "net/version_quad.h"

namespace {

// The name of the exception a call throws, or "" when it returns.
std::string Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

TEST(IPSubnet, ParseTable) {
    struct Case {
        const char* text;
        const char* thrown;
        const char* mask;
    } cases[] = {
        {"10.0.0.0/8", "", "255.0.0.0"},
        {"192.168.64.0/20", "", "255.255.240.0"},
        {"0.0.0.0/0", "", "0.0.0.0"},
        {"10.1.2.3/32", "", "255.255.255.255"},
        {"2001:db8::1/64", "", "ffff:ffff:ffff:ffff::"},
        {"::/128", "", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
        {"10.0.0.1/8", "class NonCanonicalSubnetAddress", nullptr},
        {"10.0.0.0/33", "class SubnetPrefixLengthTooLarge", nullptr},
        {"10.0.0.0/65544", "class SubnetPrefixLengthTooLarge", nullptr},
        {"::/129", "class SubnetPrefixLengthTooLarge", nullptr},
        {"10.0.0.0", "class NotAnIPSubnet", nullptr},
        {"2001:0db8:0000:0000:0000:0000:0000:0000%abcdefghijklmnopqr/64", "class NotAnIPSubnet", nullptr},
        {"2001:0db8:0000:0000:0000:0000:0000:0000%abcdefghijklmnopq/64", "", "ffff:ffff:ffff:ffff::"},
        {"10.0.0.0/", "class NotANumeral", nullptr},
        {"10.0.0.0/8x", "class NotANumeral", nullptr},
        {"10.0.0.0/99999999999", "class NumeralTooLarge", nullptr},
        {"10.0.0/8", "class NotAnIPAddress", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Thrown([&] { ParseIPSubnet(c.text); }), c.thrown);
        if (!c.mask) continue;
        IPSubnet subnet = ParseIPSubnet(c.text);
        EXPECT_EQ(subnet.Mask(), ParseIPAddress(c.mask));
        std::string text = c.text;
        EXPECT_EQ(subnet.Address(), ParseIPAddress(text.substr(0, text.find('/'))));
        EXPECT_EQ(subnet.PrefixLength(), std::stoul(text.substr(text.find('/') + 1)));
    }
    EXPECT_EQ(ParseIPSubnet("10.0.0.0/8"), IPSubnet(IPAddress(10, 0, 0, 0), 8));
    EXPECT_FALSE(ParseIPSubnet("10.0.0.0/8") == ParseIPSubnet("10.0.0.0/9"));
}

TEST(IPSubnet, TextFormRoundTrips) {
    struct Case {
        const char* text;
        const char* written;
    } cases[] = {
        {"10.0.0.0/8", "10.0.0.0/8"},
        {"192.168.064.000/20", "192.168.64.0/20"},
        {"2001:0db8:0:0:1:0:0:1/64", "2001:db8::1:0:0:1/64"},
        {"fe80::1%12/10", "fe80::1/10"},
        {"::/0", "::/0"},
        {"::ffff:10.0.0.0/104", "::ffff:a00:0/104"},
    };
    for (const Case& c : cases) {
        IPSubnet subnet = ParseIPSubnet(c.text);
        EXPECT_EQ(subnet.ToString().View(), c.written) << c.text;
        IPSubnet again = ParseIPSubnet(subnet.ToString().View());
        EXPECT_EQ(again.Address().Bytes(), subnet.Address().Bytes()) << c.text;
        EXPECT_EQ(again.PrefixLength(), subnet.PrefixLength()) << c.text;
    }
}

TEST(MACAddress, ParseAndFormatTable) {
    struct Case {
        const char* text;
        const char* thrown;
        const char* written;
    } cases[] = {
        {"00-11-22-33-44-55", "", "00-11-22-33-44-55"},
        {"AA-bb-Cc-dD-ee-FF", "", "aa-bb-cc-dd-ee-ff"},
        {"0-1-2-3-4-5", "", "00-01-02-03-04-05"},
        {"000-1-2-3-4-5", "", "00-01-02-03-04-05"},
        {"00-11-22-33-44", "class NotAMACAddress", nullptr},
        {"00-11-22-33-44-100", "class NotAMACAddress", nullptr},
        {"00-11-22-33-44-55-", "class NotAMACAddress", nullptr},
        {"0-1-2-3-4-5-6", "class NotANumeral", nullptr},
        {"00-11--33-44-55", "class NotANumeral", nullptr},
        {"00-11-22-33-44-5g", "class NotANumeral", nullptr},
        {"00:11:22:33:44:55", "class NotAMACAddress", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Thrown([&] { ParseMACAddress(c.text); }), c.thrown);
        if (c.written) EXPECT_EQ(ParseMACAddress(c.text).ToString().View(), c.written);
    }
    MACAddress address = ParseMACAddress("01-02-03-04-05-06");
    EXPECT_EQ(address.Bytes(), (std::array<Byte, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(address, MACAddress(address.Bytes()));
}

TEST(VersionQuad, ParseTable) {
    struct Case {
        const char* text;
        bool parsed;
        std::array<std::uint16_t, 4> parts;
        unsigned count;
    } cases[] = {
        {"9.5.2.60", true, {9, 5, 2, 60}, 4},
        {"8,0,627", true, {8, 0, 627, 0}, 3},
        {"65535", true, {65535, 0, 0, 0}, 1},
        {"", true, {0, 0, 0, 0}, 0},
        {"1..2", true, {1, 0, 2, 0}, 3},
        {"65536", false, {}, 0},
        {"1.2.3.4.5", false, {}, 0},
        {"1.2a", false, {}, 0},
        {" 1", false, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VersionQuad version;
        version.parts = {7, 7, 7, 7};
        EXPECT_EQ(ParseVersionQuad(c.text, version), c.parsed);
        EXPECT_EQ(version.parts, c.parts);
        EXPECT_EQ(version.count, c.count);
    }
}

TEST(VersionQuad, LessComparesTheCommonParts) {
    auto version = [](const char* text) {
        VersionQuad v;
        EXPECT_TRUE(ParseVersionQuad(text, v));
        return v;
    };
    struct Case {
        const char* a;
        const char* b;
        bool less;
    } cases[] = {
        {"9.5.1", "9.5.2", true}, {"9.5.2", "9.5.1", false}, {"9.5", "9.5.2", false}, {"9.5.2", "9.5", false},
        {"9.4.9", "9.5", true},   {"10", "9.9", false},      {"", "1", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionQuadLess(version(c.a), version(c.b)), c.less) << c.a << " < " << c.b;
}

}  // namespace
