#include "foundation/many_versions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Version = std::vector<std::uint32_t>;

}  // namespace

TEST(ManyVersions, MissingComponentsCountAsZero) {
    struct Case {
        Version a;
        Version b;
        bool aCoversB;
        int order;  // sign of CompareManyVersions(a, b)
    };
    const Case cases[] = {
        {{5, 0}, {5}, true, 0},
        {{}, {}, true, 0},
        {{}, {0, 0, 1}, false, -1},
        {{5, 9}, {5, 8}, true, 1},
        {{5, 7}, {6, 7}, false, -1},
        {{6, 1}, {5, 2}, false, 1},  // the first difference decides the order, not coverage
        {{3, 4, 5}, {3, 4}, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.a) + " vs " + ::testing::PrintToString(c.b));
        EXPECT_EQ(ManyVersionCovers(c.a, c.b), c.aCoversB);
        const int order = CompareManyVersions(c.a, c.b);
        EXPECT_EQ((order > 0) - (order < 0), c.order);
    }
    EXPECT_TRUE(IsManyVersionEmpty(Version{0, 0}));
    EXPECT_FALSE(IsManyVersionEmpty(Version{0, 2}));
    EXPECT_EQ(TrimmedManyVersion(Version{4, 0, 7, 0, 0}), (Version{4, 0, 7}));
    EXPECT_EQ(TrimmedManyVersion(Version{0, 0}), Version{});
}

TEST(ManyVersions, RaisingTakesTheGreaterComponent) {
    ManyVersionList merged{};
    merged[0] = 5;
    merged[1] = 2;
    RaiseManyVersion(merged, Version{3, 9, 1});
    EXPECT_EQ(merged[0], 5u);
    EXPECT_EQ(merged[1], 9u);
    EXPECT_EQ(merged[2], 1u);
    EXPECT_EQ(merged[3], 0u);
}
