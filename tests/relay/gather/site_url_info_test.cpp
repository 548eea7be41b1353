#include "relay/gather/site_url_info.h"

#include <gtest/gtest.h>

#include "base/numerals.h"

TEST(SiteURLInfo, ClassifiesBySiteName) {
    struct Case {
        const char* url;
        const char* name;
        bool integral;
        bool action;
        bool custom;
        bool operatorSite;
    };
    const Case cases[] = {
        {"http://p:52311/cgi-bin/vtgather.exe/actionsite", "actionsite", false, true, false, false},
        {"http://p/cgi-bin/vtgather.exe/ActionSite", "ActionSite", true, false, false, false},
        {"http://p/cgi-bin/vtgather.exe/CustomSite_Test", "CustomSite_Test", false, false, true, false},
        {"http://p/cgi-bin/vtgather.exe/opsite12", "opsite12", false, false, false, true},
        {"http://p/cgi-bin/vtgather.exe/Updates", "Updates", true, false, false, false},
        {"http://p/cgi-bin/vtgather.exe/Updates?x=1#y", "Updates", true, false, false, false},
        {"http://p/cgi-bin/vtgather.exe/", "", false, false, false, false},
        {"http://p", "", false, false, false, false},
        {"not a url", "", false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const SiteURLInfo site(c.url);
        EXPECT_EQ(site.GetSiteName(), c.name);
        EXPECT_EQ(site.IsIntegralVersionSite(), c.integral);
        EXPECT_EQ(site.IsActionSite(), c.action);
        EXPECT_EQ(site.IsCustomSite(), c.custom);
        EXPECT_EQ(site.IsOperatorSite(), c.operatorSite);
    }
    EXPECT_EQ(SiteURLInfo("http://p/x/opsite12").GetOperatorSiteNumber(), 12u);
    EXPECT_THROW(SiteURLInfo("http://p/x/opsiteA").GetOperatorSiteNumber(), NotANumeral);
}

TEST(SiteURLInfo, ActionSiteURLOfTheSameServer) {
    EXPECT_EQ(MakeActionSiteURL("http://p:52311/cgi-bin/vtgather.exe/CustomSite_A?x=1"),
              "http://p:52311/cgi-bin/vtgather.exe/actionsite");
    EXPECT_EQ(MakeActionSiteURL("https://u@p/opsite3"), "https://u@p/actionsite");
    EXPECT_EQ(MakeActionSiteURL("http://p"), "http://p/actionsite");
    EXPECT_THROW(MakeActionSiteURL("opsite3"), InvalidURLInfoUse);
}
