#include "relay/register/registration_request_parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> Forwarded(const RegistrationRequestParameters& parameters) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [name, value] : parameters.forwardList)
        pairs.emplace_back(name.GetCString(), value.GetCString());
    return pairs;
}

}  // namespace

TEST(RegistrationRequestParameters, AbsentParametersTakeTheirDefaults) {
    const RegistrationRequestParameters p = ReadRegistrationRequestParameters("", 17);
    EXPECT_EQ(p.requestType, "");
    EXPECT_FALSE(p.hasArgument1MV);
    EXPECT_TRUE(p.forwardToServers);
    EXPECT_FALSE(p.isRelay);
    EXPECT_EQ(p.destinationServer, 17u);
    EXPECT_EQ(p.minRelayVersion.count, 4u);
    EXPECT_EQ(p.minRelayVersion.parts, (std::array<std::uint16_t, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(p.forwardList.IsEmpty());
    EXPECT_TRUE(p.adapters.empty());
}

// Numbers that are not decimal numerals, or do not fit, read as 0 without an error.
TEST(RegistrationRequestParameters, NumbersAndFlagsReadAsZeroWhenMalformed) {
    const struct {
        const char* query;
        std::uint64_t computerID;
        std::uint32_t minHops;
        bool isRelay;
        bool forwardToServers;
    } cases[] = {
        {"ComputerID=18446744073709551615&MinHops=4294967295&IsRelay=2&ForwardToServers=1",
         18446744073709551615ull, 4294967295u, true, true},
        {"ComputerID=18446744073709551616&MinHops=4294967296&IsRelay=yes&ForwardToServers=no", 0, 0, false, false},
        {"ComputerID=-1&MinHops=&IsRelay=0&ForwardToServers=0", 0, 0, false, false},
        {"ComputerID=+7&MinHops= 3&IsRelay=00&ForwardToServers=", 0, 0, false, false},
        {"ComputerID=007&MinHops=3&IsRelay=01", 7, 3, true, true},
    };
    for (const auto& c : cases) {
        const RegistrationRequestParameters p = ReadRegistrationRequestParameters(c.query, 0);
        EXPECT_EQ(p.computerID, c.computerID) << c.query;
        EXPECT_EQ(p.minHops, c.minHops) << c.query;
        EXPECT_EQ(p.isRelay, c.isRelay) << c.query;
        EXPECT_EQ(p.forwardToServers, c.forwardToServers) << c.query;
    }
}

TEST(RegistrationRequestParameters, VersionsOfUpToFourPartsElseZeroWithFourParts) {
    const struct {
        const char* text;
        std::array<std::uint16_t, 4> parts;
        unsigned count;
    } cases[] = {
        {"9.5.2.60", {9, 5, 2, 60}, 4},
        {"9,5", {9, 5, 0, 0}, 2},
        {"65535.1", {65535, 1, 0, 0}, 2},
        {"", {0, 0, 0, 0}, 4},
        {"65536.1", {0, 0, 0, 0}, 4},
        {"1.2.3.4.5", {0, 0, 0, 0}, 4},
        {"1.2a", {0, 0, 0, 0}, 4},
    };
    for (const auto& c : cases) {
        const RegistrationRequestParameters p =
            ReadRegistrationRequestParameters(std::string("MinRelayVersion=") + c.text, 0);
        EXPECT_EQ(p.minRelayVersion.parts, c.parts) << c.text;
        EXPECT_EQ(p.minRelayVersion.count, c.count) << c.text;
    }
}

// A repeated name keeps its last value and both pairs go on; adapter values go only to their set.
TEST(RegistrationRequestParameters, TheForwardListKeepsEveryPairButTheAdapters) {
    const RegistrationRequestParameters p = ReadRegistrationRequestParameters(
        "RequestType=RegisterMe&ParentID=4;AdapterInfo=b%2C1&Custom=x+y&ParentID=9&AdapterIpv6=a&AdapterInfo=b,1"
        "&Argument1MV=zz&requesttype=Version",
        0);
    EXPECT_EQ(p.requestType, "RegisterMe");
    EXPECT_EQ(p.parentID, 9u);
    EXPECT_TRUE(p.hasArgument1MV);
    EXPECT_EQ(p.argument1MV, 0u);
    EXPECT_EQ(p.adapters, (std::set<std::string>{"a", "b,1"}));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"RequestType", "RegisterMe"}, {"ParentID", "4"},    {"Custom", "x y"},
        {"ParentID", "9"},             {"Argument1MV", "zz"}, {"requesttype", "Version"}};
    EXPECT_EQ(Forwarded(p), expected);
}

TEST(RegistrationRequestParameters, TextsAreDecodedAndDestinationServerOverridesTheDefault) {
    const RegistrationRequestParameters p = ReadRegistrationRequestParameters(
        "Body=Ping%20All&RelayPath=1%2C2&WOLSubnet=10.0.0.0%2F8&DestinationServer=3&Root=http%3A%2F%2Fr", 17);
    EXPECT_EQ(p.body, "Ping All");
    EXPECT_EQ(p.relayPath, "1,2");
    EXPECT_EQ(p.wolSubnet, "10.0.0.0/8");
    EXPECT_EQ(p.destinationServer, 3u);
    EXPECT_EQ(p.root, "http://r");
}
