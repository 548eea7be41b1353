#include "net/throttle_request.h"

#include <gtest/gtest.h>

namespace {

ThrottleRequest RequestOf(std::uint64_t rate, std::string_view group = {},
                          DynamicThrottleRequest dynamic = {}) {
    return ThrottleRequest(rate, ConstData(group), dynamic);
}

TEST(ThrottleRequest, PercentagesAboveNinetyNineMeanTheWholeLink) {
    EXPECT_EQ(DynamicThrottleRequest(true, 0, 0, 99).percentage, 99);
    EXPECT_EQ(DynamicThrottleRequest(true, 0, 0, 100).percentage, 100);
    EXPECT_EQ(DynamicThrottleRequest(true, 0, 0, 250).percentage, 100);
    EXPECT_EQ(DynamicThrottleRequest(true, 0, 0, 1ull << 40).percentage, 100);
}

TEST(ShareServerThrottle, DividesEachLimitAmongTheWritingConnections) {
    ServerThrottleShares alone = ShareServerThrottle(256, 1000, 10, 0.5, 0);
    EXPECT_EQ(alone.rate, 262'144u);
    EXPECT_EQ(alone.maximum, 1'024'000u);
    EXPECT_EQ(alone.minimum, 10'240u);
    EXPECT_DOUBLE_EQ(alone.fraction, 0.5);

    ServerThrottleShares four = ShareServerThrottle(256, 0, 1, 0.5, 4);
    EXPECT_EQ(four.rate, 65'536u);
    EXPECT_EQ(four.maximum, 0u);
    EXPECT_EQ(four.minimum, 256u);
    EXPECT_DOUBLE_EQ(four.fraction, 0.125);

    EXPECT_EQ(ShareServerThrottle(1, 0, 0, 0, 5000).rate, 1u);  // never below 1 byte per second
}

TEST(CombineThrottle, TheStricterOfServerAndRequestWins) {
    ServerThrottleShares server{100'000, 0, 0, 0};
    ThrottleGroupCounts noGroups;
    struct Case {
        std::uint64_t serverRate, requested, combined;
    };
    for (const Case& test : {Case{100'000, 0, 100'000}, Case{100'000, 50'000, 50'000},
                             Case{100'000, 200'000, 100'000}, Case{0, 200'000, 200'000}, Case{0, 0, 0}}) {
        server.rate = test.serverRate;
        EXPECT_EQ(CombineThrottle(RequestOf(test.requested), server, noGroups).rate, test.combined)
            << test.serverRate << " " << test.requested;
    }
}

TEST(CombineThrottle, ConnectionsOfOneGroupShareItsRate) {
    ThrottleGroupCounts groups{{"site-a", 2}, {"site-b", 1}};
    ServerThrottleShares server;
    EXPECT_EQ(CombineThrottle(RequestOf(300'000, "site-a"), server, groups).rate, 150'000u);
    EXPECT_EQ(CombineThrottle(RequestOf(300'000, "site-b"), server, groups).rate, 300'000u);
    EXPECT_EQ(CombineThrottle(RequestOf(300'000, "unknown"), server, groups).rate, 300'000u);
    EXPECT_EQ(CombineThrottle(RequestOf(300'000), server, groups).rate, 300'000u);
}

TEST(CombineThrottle, DynamicLimitsAndTheLinkShare) {
    ThrottleGroupCounts groups;
    ServerThrottleShares server{0, 500'000, 1000, 0.5};
    ConnectionThrottle combined =
        CombineThrottle(RequestOf(0, {}, DynamicThrottleRequest(true, 100'000, 5000, 25)), server, groups);
    EXPECT_EQ(combined.maximum, 100'000u);
    EXPECT_EQ(combined.minimum, 1000u);
    EXPECT_DOUBLE_EQ(combined.fraction, 0.25);

    // A larger share than the server's, or none, leaves the server's.
    EXPECT_DOUBLE_EQ(
        CombineThrottle(RequestOf(0, {}, DynamicThrottleRequest(true, 0, 0, 80)), server, groups).fraction,
        0.5);
    EXPECT_DOUBLE_EQ(CombineThrottle(RequestOf(0), server, groups).fraction, 0.5);
    server.fraction = 0;
    EXPECT_DOUBLE_EQ(
        CombineThrottle(RequestOf(0, {}, DynamicThrottleRequest(true, 0, 0, 80)), server, groups).fraction,
        0.8);
}

TEST(ConfigureThrottle, SetsThePolicyForPlainAndDynamicConnections) {
    ArrivalTimeMaker maker;
    ConfigureThrottle(maker, {262'144, 0, 0, 0}, false);
    EXPECT_DOUBLE_EQ(maker.GetPolicy().GetMaximumRate(), 0.262144);
    ConfigureThrottle(maker, {0, 0, 0, 0}, false);
    EXPECT_DOUBLE_EQ(maker.GetPolicy().GetMaximumRate(), 18446744073709551615.0 / 1e6);

    ConfigureThrottle(maker, {262'144, 1'000'000, 0, 0.25}, true);
    EXPECT_DOUBLE_EQ(maker.GetPolicy().GetMaximumRate(), 1.0);
    EXPECT_DOUBLE_EQ(maker.GetPolicy().GetRateFactor(), 0.25);
    ConfigureThrottle(maker, {0, 1'000'000, 0, 0}, true);
    EXPECT_DOUBLE_EQ(maker.GetPolicy().GetRateFactor(), 1.0);
}

}  // namespace
