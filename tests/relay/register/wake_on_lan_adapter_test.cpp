#include "relay/register/wake_on_lan_adapter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

WakeOnLANAdapter Adapter(const char* mac, const char* subnet, const char* address, bool canForward) {
    WakeOnLANAdapter adapter;
    adapter.macAddress = ParseMACAddress(mac);
    adapter.subnet = ParseIPSubnet(subnet);
    adapter.address = ParseIPAddress(address);
    adapter.canForward = canForward;
    return adapter;
}

TEST(WakeOnLANAdapter, IPv4AdapterRoundTripsInThePlainLayout) {
    WakeOnLANAdapter adapter = Adapter("00-1a-2b-3c-4d-5e", "192.168.64.0/20", "192.168.70.12", true);
    std::string text(FormatWakeOnLANAdapter(adapter).View());
    EXPECT_EQ(text, "00-1a-2b-3c-4d-5e_192.168.64.0/20_192.168.70.12_1");
    EXPECT_EQ(ParseWakeOnLANAdapterInfo(text), adapter);
}

TEST(WakeOnLANAdapter, IPv6AdapterKeepsItsAddressAndReadsBackTheMaskedSubnet) {
    WakeOnLANAdapter adapter = Adapter("00-1a-2b-3c-4d-5e", "2001:db8:1::/48", "2001:db8:1:2::17", false);
    std::string text(FormatWakeOnLANAdapter(adapter).View());
    EXPECT_EQ(text, "00-1a-2b-3c-4d-5e^2001:db8:1:2::17/48_0");
    EXPECT_EQ(ParseWakeOnLANAdapterInfo(text), adapter);
}

TEST(WakeOnLANAdapter, LengthLimitsOfTheTwoLayouts) {
    // Leading zeros are read, so they pad a valid text to any length without changing its meaning.
    auto plain = [](std::size_t length) {
        std::string head = "00-1a-2b-3c-4d-5e_10.0.0.0/8_";
        std::string tail = "10.0.0.1_1";
        return head + std::string(length - head.size() - tail.size(), '0') + tail;
    };
    auto ipv6 = [](std::size_t length) {
        std::string head = "00-1a-2b-3c-4d-5e^0000:0000:0000:0000:0000:0000:0000:0001%abcdefghi/";
        std::string tail = "64_1";
        return head + std::string(length - head.size() - tail.size(), '0') + tail;
    };
    EXPECT_NO_THROW(ParseWakeOnLANAdapterInfo(plain(54)));
    EXPECT_THROW(ParseWakeOnLANAdapterInfo(plain(55)), NotAWakeOnLANAdapterInfo);
    EXPECT_EQ(ParseWakeOnLANAdapterInfo(ipv6(74)).subnet.PrefixLength(), 64u);
    EXPECT_THROW(ParseWakeOnLANAdapterInfo(ipv6(75)), NotAWakeOnLANAdapterInfo);
}

TEST(WakeOnLANAdapter, MalformedTextsAreRefused) {
    const char* texts[] = {
        "",
        "00-1a-2b-3c-4d-5e",
        "00-1a-2b-3c-4d-5e_",
        "00-1a-2b-3c-4d-5e:10.0.0.0/8_10.0.0.1_1",
        "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.1_true",
        "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.1_01",
        "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.1_",
        "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.1",
        "00-1a-2b-3c-4d-5e_10.0.0.1/8_10.0.0.1_1",
        "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.256_1",
        "00-1a-2b-3c-4d-zz_10.0.0.0/8_10.0.0.1_1",
        "00-1a-2b-3c-4d-5e^2001:db8::1_1",
        "00-1a-2b-3c-4d-5e^2001:db8::1/129_1",
        "00-1a-2b-3c-4d-5e^2001:db8::1/64_2",
    };
    for (const char* text : texts)
        EXPECT_THROW(ParseWakeOnLANAdapterInfo(text), NotAWakeOnLANAdapterInfo) << '"' << text << '"';
}

// The IPv4 text form has no zone, so a zone given there would vanish when the adapter is forwarded.
TEST(WakeOnLANAdapter, AZoneOnAnIPv4AddressIsRefused) {
    const char* texts[] = {
        "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.1%2_1",
        "00-1a-2b-3c-4d-5e_10.0.0.0%2/8_10.0.0.1_1",
        "00-1a-2b-3c-4d-5e^10.0.0.0%2/8_1",
    };
    for (const char* text : texts)
        EXPECT_THROW(ParseWakeOnLANAdapterInfo(text), NotAWakeOnLANAdapterInfo) << '"' << text << '"';
    EXPECT_EQ(ParseWakeOnLANAdapterInfo("00-1a-2b-3c-4d-5e^fe80::1%2/64_1").address.Zone(), "2");
}

}  // namespace
