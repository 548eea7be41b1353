// The gather status report plug-in of a running relay, against a scripted parent that publishes signed
// sites (support/site_parent.h): sites queued by hand are gathered and listed by how their gather
// ended, and "-gatherall" asks the parent again for every site the relay knows.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e/relay_process.h"
#include "support/site_parent.h"

using namespace std::chrono_literals;

namespace {

const std::string kReportPath = "/cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe";
// A site the parent does not publish.
const std::string kMissingSiteURL = "http://relay.example:52311/cgi-bin/bfgather.exe/missing";

class GatherStatusReportRelay : public ::testing::Test {
  protected:
    GatherStatusReportRelay() {
        m_relay.SetClientSetting("_KVRGather_Comm_ParentRelayURL", m_sites.GatherURL());
        m_relay.SetClientSetting("_KVRRelay_Crypto_BuiltInCertificatePath", MastheadRootsFolder());
        m_relay.SetClientSetting("_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "200");
        PlaceSiteMastheads(m_relay.Folder() + "/storage/MerivantData/gather");
        m_relay.Start();
        EXPECT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }

    // True once the report shows both sites where the test expects them.
    bool AwaitReport(const std::string& readyBlockEnd, const std::string& failedURL) {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            m_report = m_relay.Get(kReportPath + "/-report");
            const std::size_t failed = m_report.find("Failed:</b>");
            const std::size_t ready = m_report.find("Ready:</b>");
            const std::size_t inProcess = m_report.find("In Process:</b>");
            const std::size_t failedSite = m_report.find("\r\nUrl: " + failedURL + "\r\nError Message: ");
            const std::size_t readySite = m_report.find(readyBlockEnd);
            if (failed < failedSite && failedSite < ready && ready < readySite && readySite < inProcess) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    ScriptedParent m_parent;
    SiteParent m_sites{m_parent};
    RelayProcess m_relay;
    std::string m_report;
};

}  // namespace

TEST_F(GatherStatusReportRelay, SitesQueuedByHandAreGatheredAndReported) {
    m_sites.PublishVersion(kDemoSiteURL, 1, {{"a.txt", "one", 100}}, DemoSiteSigner());
    for (const std::string& site : {std::string(kDemoSiteURL), kMissingSiteURL}) {
        const std::string reply = m_relay.Get(kReportPath + "/-gatherlatest?url=" + site);
        EXPECT_NE(reply.find("\r\nx-kvr-gather-mirror-status: 1,0\r\n"), std::string::npos) << reply;
    }
    const std::string readyBlockEnd = "\tVersion: 1\r\nUrl: " + std::string(kDemoSiteURL) + "\r\n</pre>";
    ASSERT_TRUE(AwaitReport(readyBlockEnd, kMissingSiteURL)) << m_report << m_relay.Log();
    EXPECT_EQ(m_report.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    const std::size_t asked = m_parent.RequestsFor(kParentGatherPath);
    const std::string all = m_relay.Get(kReportPath + "/-gatherall");
    EXPECT_EQ(all.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << all;
    EXPECT_NE(all.find("Starting gather of site \"" + std::string(kDemoSiteURL) + "\" (site id: "), std::string::npos)
        << all;
    EXPECT_NE(all.find("Starting gather of site \"" + kMissingSiteURL + "\" (site id: "), std::string::npos) << all;
    EXPECT_TRUE(m_parent.AwaitArrivals(kParentGatherPath, asked + 2)) << m_relay.Log();
    EXPECT_TRUE(AwaitReport(readyBlockEnd, kMissingSiteURL)) << m_report;
    EXPECT_EQ(m_relay.Stop(), 0);
}
