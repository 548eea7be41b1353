#include "net/address_resolver.h"

#include <gtest/gtest.h>

#include "started_socket_system.h"

namespace {

std::vector<IPAddress> AddressesOf(SocketAddressList& list) {
    std::vector<IPAddress> addresses;
    for (auto it = list.Begin(); !it.AtEnd(); it.Next()) {
        IPAddress address(it->Address());
        address.UnmapIPv4();
        addresses.push_back(address);
    }
    return addresses;
}

struct Step {
    int family;
    std::vector<IPAddress> addresses;
};

// Every family step of a resolver, in order.
std::vector<Step> Resolve(const std::string& host, int choice, int flags = 0) {
    AddressResolver resolver(host, 8080, choice, true, flags, IPPROTO_TCP, SOCK_STREAM);
    std::vector<Step> steps;
    while (std::uint32_t answer = resolver.NextFamily()) {
        EXPECT_EQ(answer >> 16, resolver.Results().Count());
        steps.push_back({static_cast<int>(answer & 0xFFFF), AddressesOf(resolver.Results())});
        for (auto it = resolver.Results().Begin(); !it.AtEnd(); it.Next()) EXPECT_EQ(it->Port(), 8080);
    }
    return steps;
}

TEST(AddressResolver, EmptyHostGivesLoopbackOrAnyAddresses) {
    if (!StartedSocketSystem().IsIPv6Available()) GTEST_SKIP() << "no IPv6 on this host";
    auto steps = Resolve("", 0);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].family, AF_INET);
    EXPECT_EQ(steps[0].addresses, std::vector<IPAddress>{IPAddress(127, 0, 0, 1)});
    EXPECT_EQ(steps[1].family, AF_INET6);
    EXPECT_EQ(steps[1].addresses, std::vector<IPAddress>{IPv6Loopback()});

    // Passive: one dual-stack any-address serves both families.
    steps = Resolve("", 0, AddressResolver::kPassive);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].family, AF_INET6);
    EXPECT_TRUE(steps[0].addresses.at(0).IsZero());
}

TEST(AddressResolver, LiteralsAndFamilyOrder) {
    bool ipv6 = StartedSocketSystem().IsIPv6Available();
    auto steps = Resolve("192.0.2.7", 3);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].addresses, std::vector<IPAddress>{IPAddress(192, 0, 2, 7)});

    steps = Resolve("192.0.2.7", 1);  // the IPv6 step takes an IPv4 literal too
    ASSERT_EQ(steps.size(), ipv6 ? 2u : 1u);
    if (ipv6) EXPECT_EQ(steps[0].family, AF_INET6);
    EXPECT_EQ(steps[0].addresses, std::vector<IPAddress>{IPAddress(192, 0, 2, 7)});

    if (!ipv6) return;
    steps = Resolve("2001:db8::5", 0);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].family, AF_INET6);
    EXPECT_EQ(steps[0].addresses, std::vector<IPAddress>{ParseIPAddress("2001:db8::5")});

    steps = Resolve("::ffff:192.0.2.8", 2);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].addresses, std::vector<IPAddress>{IPAddress(192, 0, 2, 8)});
}

TEST(AddressResolver, HostNamesAreLookedUp) {
    StartedSocketSystem();
    auto steps = Resolve("localhost", 3);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_NE(std::find(steps[0].addresses.begin(), steps[0].addresses.end(), IPAddress(127, 0, 0, 1)),
              steps[0].addresses.end());
    EXPECT_TRUE(Resolve("bad host name", 0).empty());
}

TEST(AddressResolver, LocalMachineUnderIPv6ListsAdaptersWithoutLoopback) {
    if (!StartedSocketSystem().IsIPv6Available()) GTEST_SKIP() << "no IPv6 on this host";
    SocketAddressList list;
    std::size_t added = AddLocalAdapterAddresses(list, 99);
    EXPECT_EQ(list.Count(), added);
    for (const IPAddress& address : AddressesOf(list)) {
        EXPECT_TRUE(address.IsIPv6());
        EXPECT_FALSE(address.IsLoopback());
    }
    if (added == 0) return;
    auto steps = Resolve("..localmachine", 2);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].addresses, AddressesOf(list));
}

TEST(AddressResolver, LocalMachineUnderIPv4IsTheMachinesOwnName) {
    StartedSocketSystem();
    char name[512];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    auto byName = Resolve(name, 3);
    auto special = Resolve("..localmachine", 3);
    ASSERT_EQ(special.size(), byName.size());
    if (!special.empty()) EXPECT_EQ(special[0].addresses, byName[0].addresses);
}

TEST(AddressFamilyChoice, ParsesIgnoringCase) {
    struct Case {
        const char* text;
        int choice;
    } cases[] = {{"Ipv6ThenIpv4", 1}, {"ipv6thenipv4", 1}, {"ONLYIPV4", 3}, {"Ipv6", 0}, {"", 0},
                 {"OnlyIpv4 ", 0}};
    for (const Case& c : cases) EXPECT_EQ(ParseAddressFamilyChoice(c.text), c.choice) << c.text;
}

TEST(LocalHostName, MatchesTheSpecialNameAndOptionallyTheMachine) {
    EXPECT_TRUE(IsLocalHostName("..localmachine", false));
    EXPECT_TRUE(IsLocalHostName("..LocalMachine", false));
    EXPECT_FALSE(IsLocalHostName("localhost", true));
    char name[512];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    EXPECT_TRUE(IsLocalHostName(name, true));
    EXPECT_FALSE(IsLocalHostName(name, false));
}

}  // namespace
