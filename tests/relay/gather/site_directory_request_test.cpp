#include "relay/gather/site_directory_request.h"

#include <gtest/gtest.h>

#include "crypto/openssl_startup.h"
#include "relay/gather/many_version_list.h"

namespace {

constexpr const char* kEmptyListSHA1 = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

class SiteDirectoryRequestTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }
};

TEST_F(SiteDirectoryRequestTest, TheQueryTellsWhatTheRelayHoldsAndExpects) {
    const std::string site = "http://root:52311/cgi-bin/vtdaruravidu.exe/actionsite";
    const std::string listSHA1 = ManyVersionDigestText(ManyVersionFromText("5,3"));
    struct Case {
        std::uint32_t localVersion;
        SiteVersion expected;
        const char* manyVersion;
        std::string query;
    };
    const Case cases[] = {
        {0, SiteVersion(), "", std::string("&ManyVersionSHA1=") + kEmptyListSHA1 + "&Expect404Flag=true"},
        {0, SiteVersion::Integral(0), "", std::string("&ManyVersionSHA1=") + kEmptyListSHA1 + "&Expect404Flag=true"},
        {0, SiteVersion::Integral(5), "", std::string("&ManyVersionSHA1=") + kEmptyListSHA1 + "&ExpectedVersion=5"},
        {4, SiteVersion(), "", std::string("&ManyVersionSHA1=") + kEmptyListSHA1},
        {0, SiteVersion::CRC(77), "5,3", "&ManyVersionSHA1=" + listSHA1 + "&ExpectedManyVersionCRC=77"},
        {0, SiteVersion::CRC(0), "5,3", "&ManyVersionSHA1=" + listSHA1},
    };
    for (const Case& c : cases) {
        SiteGatherParams request;
        request.localVersion = c.localVersion;
        request.expectedVersion = c.expected;
        request.localManyVersion = ManyVersionFromText(c.manyVersion);
        request.siteURL = site;
        EXPECT_EQ(SiteDirectoryRequestURL("http://parent/gather", request), "http://parent/gather?url=" + site + c.query);
    }
}

// The parent decodes the query: what would end the value or change its bytes is escaped.
TEST_F(SiteDirectoryRequestTest, TheSiteURLKeepsItsBytesThroughTheParentsDecoding) {
    struct Case {
        std::string siteURL;
        std::string escaped;
    };
    const Case cases[] = {
        {"http://root/site", "http://root/site"},
        {"http://root/s?a=1&b=2#top", "http://root/s?a=1%26b=2%23top"},
        {"http://root/a b+c%41", "http://root/a%20b%2bc%2541"},
        {std::string("http://root/\x01\x7f\xc3\xa9"), "http://root/%01%7f\xc3\xa9"},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeSiteURLForQuery(c.siteURL), c.escaped) << c.siteURL;
}

}  // namespace
