#include "crypto/site_names.h"

#include <gtest/gtest.h>

#include "base/numerals.h"

namespace {

TEST(SiteNamesTest, KindsAreToldBySpellingAlone) {
    struct Case {
        const char* name;
        bool operatorSite, customSite, actionSite;
    };
    const Case cases[] = {
        {"opsite7", true, false, false},
        {"opsite", true, false, false},
        {"Opsite7", false, false, false},
        {"CustomSite_Patches", false, true, false},
        {"customsite_Patches", false, false, false},
        {"CustomSite", false, false, false},
        {"actionsite", false, false, true},
        {"actionsite1", false, false, false},
        {"ActionSite", false, false, false},
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsOperatorSiteName(c.name), c.operatorSite);
        EXPECT_EQ(IsCustomSiteName(c.name), c.customSite);
        EXPECT_EQ(IsActionSiteName(c.name), c.actionSite);
    }
    EXPECT_TRUE(IsActionSiteName(ActionSiteName()));
}

TEST(SiteNamesTest, TheOperatorNumberFollowsTheFirstSixCharacters) {
    EXPECT_EQ(OperatorSiteNumber("opsite7"), 7u);
    EXPECT_EQ(OperatorSiteNumber("opsite4294967295"), 4294967295u);
    EXPECT_THROW(OperatorSiteNumber("opsite4294967296"), NumeralTooLarge);
    for (const char* bad : {"opsite", "opsite7a", "opsite-7", "op"}) EXPECT_THROW(OperatorSiteNumber(bad), NotANumeral) << bad;
}

}  // namespace
