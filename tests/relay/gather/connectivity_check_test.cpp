// The connectivity test against scripted servers on loopback: the result bits it stores and answers.
#include "relay/gather/connectivity_check.h"

#include <gtest/gtest.h>

#include "relay/gather/site_gather_run_fixture.h"

namespace {

class ConnectivityCheckTest : public SiteGatherRunTest {
  protected:
    void SetFlags(bool parent, bool internet) {
        SetClientSetting("_KVRGather_Download_CheckParentFlag", parent ? "1" : "0");
        SetClientSetting("_KVRGather_Download_CheckInternetFlag", internet ? "1" : "0");
    }
    void SetDownloadMirrorURL(const std::string& url) {
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\Daruravidu Server\\GatherService]\n\"DownloadMirror URL\"=\"" + url +
                         "\"\n");
    }
};

TEST_F(ConnectivityCheckTest, TheResultBitsOfEachTest) {
    m_parent.Serve("/mirror/ConnectivityTest", "ok");
    m_parent.Serve("/internet", "ok");
    SetClientSetting("_KVRGather_ConnectivityTest_InternetTestURL", m_parent.URL("/internet"));
    struct Case {
        const char* title;
        bool parent;
        bool internet;
        std::string mirrorURL;
        std::uint32_t bits;
    };
    const Case cases[] = {
        {"both off", false, false, m_parent.URL("/mirror"), 0},
        {"parent without a mirror URL", true, false, "", 1},
        {"parent not reached", true, false, m_parent.URL("/elsewhere"), 3},
        {"parent reached", true, false, m_parent.URL("/mirror"), 7},
        {"a mirror URL ending in a slash", true, false, m_parent.URL("/mirror/"), 7},
        {"internet reached", false, true, "", 24},
        {"both reached", true, true, m_parent.URL("/mirror"), 31},
    };
    for (const Case& c : cases) {
        SetFlags(c.parent, c.internet);
        SetDownloadMirrorURL(c.mirrorURL);
        EXPECT_EQ(CheckConnectivity(m_options, m_stop), c.internet) << c.title;
        EXPECT_EQ(m_options.GetConnectivityTestResult(), c.bits) << c.title;
    }
    EXPECT_EQ(m_parent.RequestsFor("/mirror//ConnectivityTest"), 0u);
}

TEST_F(ConnectivityCheckTest, AnInternetTestThatFailsOrIsStoppedIsFalse) {
    SetFlags(false, true);
    SetClientSetting("_KVRGather_ConnectivityTest_InternetTestURL", m_parent.URL("/missing"));
    EXPECT_FALSE(CheckConnectivity(m_options, m_stop));
    EXPECT_EQ(m_options.GetConnectivityTestResult(), kConnectivityInternetChecked);

    m_parent.Serve("/internet", "ok");
    m_stop.Set();
    EXPECT_FALSE(TestConnectivityURL(m_parent.URL("/internet"), m_options, m_stop));
    EXPECT_FALSE(TestConnectivityURL("", m_options, m_stop));
}

}  // namespace
