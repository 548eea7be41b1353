#include "relay/gather/site_version.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const SiteVersion kUnset;

}  // namespace

TEST(SiteVersion, TextNamesTheKindAndValue) {
    EXPECT_EQ(kUnset.ToText(), "(no expected version)");
    EXPECT_EQ(SiteVersion::Integral(7).ToText(), "(Integral: 7)");
    EXPECT_EQ(SiteVersion::CRC(17).ToText(), "(CRC: 17)");
    EXPECT_THROW(kUnset.GetValue(), InvalidVersionORCRCUsed);
    EXPECT_EQ(SiteVersion::CRC(17).GetValue(), 17u);
}

TEST(SiteVersion, EqualsAndLessOverEveryPairing) {
    struct Case {
        SiteVersion a;
        SiteVersion b;
        bool equal;
        bool less;  // a before b
    };
    const Case cases[] = {
        {kUnset, kUnset, true, false},
        {kUnset, SiteVersion::Integral(0), false, true},
        {SiteVersion::Integral(0), kUnset, false, false},
        {SiteVersion::Integral(4'000'000'000u), SiteVersion::CRC(1), false, true},
        {SiteVersion::CRC(1), SiteVersion::Integral(4'000'000'000u), false, false},
        {SiteVersion::Integral(5), SiteVersion::Integral(6), false, true},
        {SiteVersion::CRC(6), SiteVersion::CRC(5), false, false},
        {SiteVersion::CRC(5), SiteVersion::CRC(5), true, false},
        {SiteVersion::Integral(5), SiteVersion::CRC(5), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a.ToText() + " vs " + c.b.ToText());
        EXPECT_EQ(SiteVersion::Equals(c.a, c.b), c.equal);
        EXPECT_EQ(SiteVersion::Less(c.a, c.b), c.less);
    }
}

TEST(SiteVersion, APendingSetHoldsOneUnsetVersionAndEachSetOne) {
    std::set<SiteVersion, SiteVersion::Order> pending{kUnset, SiteVersion::CRC(3), SiteVersion::Integral(3)};
    EXPECT_FALSE(pending.insert(SiteVersion()).second);
    EXPECT_FALSE(pending.insert(SiteVersion::CRC(3)).second);
    EXPECT_EQ(pending.size(), 3u);
    EXPECT_EQ(pending.erase(SiteVersion::Integral(3)), 1u);
}
