// Sites served to clients and child relays through real relays: a scripted root publishes signed
// sites (support/site_parent.h), relay A gathers from it and relay B gathers from A. Both relays
// serve their mirror files from their served root, and hand out URLs on their own port ("Hostname").
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/download_relays.h"
#include "e2e/relay_process.h"
#include "support/eventually.h"
#include "support/file_bytes.h"
#include "support/reply_fields.h"
#include "support/scripted_parent.h"
#include "support/site_parent.h"

using namespace std::chrono_literals;

namespace {

const std::string kMirrorPath = "/cgi-bin/vtdaruravidu/KVRGatherMirror.exe";
const std::string kStatusPath = "/cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe";
const std::string kSiteVersionPath = "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion";
const std::string kAgent = "Veltra KVRClient 8.0";
const std::vector<SiteFile> kVersion1 = {{"a.txt", "one", 100}, {"b.txt", "unchanged", 200}};

// The path and query of a URL on loopback.
std::string TargetOf(const std::string& url) {
    return url.substr(url.find('/', std::string("http://").size()));
}

class GatherMirrorTest : public ::testing::Test {
  protected:
    GatherMirrorTest() {
        m_parent.Serve(kSiteVersionPath, "", "x-kvr-siteversion: 1\r\n");
        Prepare(m_relayA, m_parent.Base(), m_sites.GatherURL());
        Prepare(m_relayB, LoopbackURL(m_relayA.Port()), LoopbackURL(m_relayA.Port()) + kMirrorPath);
    }

    // The relay gathers from the parent's gather URL and asks the parent base for site versions.
    static void Prepare(RelayProcess& relay, const std::string& parentBase, const std::string& gatherURL) {
        UseParent(relay, parentBase);
        KeepAccessLog(relay);
        relay.SetClientSetting("_KVRGather_Comm_ParentRelayURL", gatherURL);
        relay.SetClientSetting("_KVRRelay_Crypto_BuiltInCertificatePath", MastheadRootsFolder());
        relay.SetClientSetting("_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "200");
        relay.SetClientSetting("_KVRRelay_Log_Verbose", "1");
        PlaceSiteMastheads(relay.Folder() + "/storage/MerivantData/gather");
    }
    static void Start(RelayProcess& relay) {
        relay.Start();
        ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    }

    // A directory request as a client sends it.
    static std::string AskForSite(const RelayProcess& relay, const std::string& headers = "",
                                  const std::string& userAgent = kAgent) {
        return relay.Get(kMirrorPath + "?url=" + kDemoSiteURL, "User-Agent: " + userAgent + "\r\n" + headers);
    }
    // Asks until the relay serves the site (each refusal queues a gather again); the last reply.
    static std::string AwaitServedSite(const RelayProcess& relay) {
        std::string reply;
        Eventually(
            [&] {
                reply = AskForSite(relay);
                if (StatusLineOf(reply) == "HTTP/1.1 200") return true;
                std::this_thread::sleep_for(300ms);
                return false;
            },
            90s);
        return reply;
    }
    // The site directory requests A answered.
    std::size_t DirectoryRequestsAtA() const {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_relayA.Folder() + "/accesslog")) {
            std::istringstream lines(ReadWholeFile(entry.path()));
            for (std::string line; std::getline(lines, line);)
                count += line.find(" GET " + kMirrorPath + "?url=" + kDemoSiteURL) != std::string::npos;
        }
        return count;
    }
    // The site version queries a relay answered.
    static std::size_t SiteVersionQueries(const RelayProcess& relay) {
        return CountRequests(relay, "GET", kSiteVersionPath + "?url=" + kDemoSiteURL + "&useCRC=0");
    }

    ScriptedParent m_parent;
    SiteParent m_sites{m_parent};
    RelayProcess m_relayA;
    RelayProcess m_relayB;
};

}  // namespace

// A site is asked for at A and B before either holds it; A gathers it from the root, B from A, and
// each serves its directory and files from its own root.
TEST_F(GatherMirrorTest, AChildRelayGathersASiteFromItsParentRelay) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kVersion1, DemoSiteSigner());
    Start(m_relayA);
    Start(m_relayB);

    // The first request starts a gather: the product's agents get a 404, browsers the page.
    const std::string first = AskForSite(m_relayA);
    EXPECT_EQ(StatusLineOf(first), "HTTP/1.1 404") << first;
    EXPECT_EQ(ReplyHeaderValue(first, "x-kvr-gather-mirror-status"), "19");
    const std::string browser = AskForSite(m_relayB, "", "Mozilla/5.0");
    EXPECT_EQ(StatusLineOf(browser), "HTTP/1.1 200") << browser;
    EXPECT_NE(browser.find("Site not yet available: initiating first gather of site.(19)"),
              std::string::npos);

    const std::string fromA = AwaitServedSite(m_relayA);
    ASSERT_EQ(StatusLineOf(fromA), "HTTP/1.1 200") << fromA << m_relayA.Log();
    EXPECT_EQ(ReplyHeaderValue(fromA, "x-kvr-gather-mirror-status"), "1,1");
    const std::string folderA = ReplyHeaderValue(fromA, "x-kvr-http-local-addr");
    EXPECT_EQ(folderA, LoopbackURL(m_relayA.Port()) + "/vtmirror/vtsites/daruravidumirror_1_1/");
    EXPECT_EQ(ReplyHeaderValue(fromA, "content-length"), std::to_string(BodyOf(fromA).size()));
    EXPECT_FALSE(BodyOf(fromA).empty());
    // The folder's URL reaches A's mirror files.
    EXPECT_EQ(BodyOf(m_relayA.Get(TargetOf(folderA) + "a.txt")), "one");
    EXPECT_EQ(BodyOf(m_relayA.Get(TargetOf(folderA) + "b.txt")), "unchanged");
    EXPECT_EQ(BodyOf(m_relayA.Get(TargetOf(folderA) + "__sdirlist")), BodyOf(fromA));

    // A current client gets no list.
    const std::string current =
        AskForSite(m_relayA, "x-veltra-client-valid: true\r\nx-veltra-client-site-version: 1\r\n");
    EXPECT_EQ(ReplyHeaderValue(current, "content-length"), "0");
    EXPECT_EQ(BodyOf(current), "");

    // B gathered from A, with A's signed list and files.
    const std::string fromB = AwaitServedSite(m_relayB);
    ASSERT_EQ(StatusLineOf(fromB), "HTTP/1.1 200") << fromB << m_relayB.Log() << m_relayA.Log();
    EXPECT_EQ(ReplyHeaderValue(fromB, "x-kvr-gather-mirror-status"), "1,1");
    const std::string folderB = ReplyHeaderValue(fromB, "x-kvr-http-local-addr");
    EXPECT_EQ(folderB.rfind(LoopbackURL(m_relayB.Port()) + "/vtmirror/vtsites/daruravidumirror_", 0), 0u)
        << folderB;
    EXPECT_EQ(BodyOf(m_relayB.Get(TargetOf(folderB) + "a.txt")), "one");
    EXPECT_EQ(BodyOf(fromB), BodyOf(fromA));

    // Restarted, each relay asks its parent for the version when its clients first ask, and then not
    // again within the polling period, however often they ask.
    EXPECT_EQ(m_relayA.Stop(), 0);
    EXPECT_EQ(m_relayB.Stop(), 0);
    Start(m_relayA);
    Start(m_relayB);
    const auto askBoth = [this] {
        for (int request = 0; request < 3; ++request) {
            EXPECT_EQ(ReplyHeaderValue(AskForSite(m_relayA), "x-kvr-gather-mirror-status"), "1,1");
            EXPECT_EQ(ReplyHeaderValue(AskForSite(m_relayB), "x-kvr-gather-mirror-status"), "1,1");
        }
    };
    askBoth();
    const std::size_t askedRoot = m_parent.RequestsFor(kSiteVersionPath);
    const std::size_t askedA = SiteVersionQueries(m_relayA);
    EXPECT_GE(askedRoot, 1u);
    EXPECT_GE(askedA, 1u);
    askBoth();
    EXPECT_EQ(m_parent.RequestsFor(kSiteVersionPath), askedRoot);
    EXPECT_EQ(SiteVersionQueries(m_relayA), askedA);

    // B's status report lists the site as ready; a gather asked for by hand goes to A again.
    // (The restart made an upstream check due: the gather it queued ends soon.)
    std::string report;
    EXPECT_TRUE(Eventually(
        [&] {
            report = m_relayB.Get(kStatusPath + "/-report");
            const std::size_t site =
                report.find("\tVersion: 1\r\nUrl: " + std::string(kDemoSiteURL) + "\r\n");
            if (report.find("Ready:</b>") < site && site < report.find("In Process:</b>")) return true;
            std::this_thread::sleep_for(100ms);
            return false;
        },
        60s))
        << report;
    const std::size_t gathers = DirectoryRequestsAtA();
    EXPECT_NE(m_relayB.Get(kStatusPath + "/-GatherLatest?url=" + kDemoSiteURL)
                  .find("x-kvr-gather-mirror-status: 1,0"),
              std::string::npos);
    EXPECT_TRUE(Eventually([&] { return DirectoryRequestsAtA() > gathers; }, 30s)) << m_relayB.Log();
    EXPECT_EQ(m_relayA.Stop(), 0);
    EXPECT_EQ(m_relayB.Stop(), 0);
}

// A stop while the relay waits for its parent's answer to a version query ends the query at once,
// well before the query's own limit of 60 seconds.
TEST_F(GatherMirrorTest, AStopEndsAVersionQueryToAHangingParent) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kVersion1, DemoSiteSigner());
    Start(m_relayA);
    ASSERT_EQ(StatusLineOf(AwaitServedSite(m_relayA)), "HTTP/1.1 200") << m_relayA.Log();
    EXPECT_EQ(m_relayA.Stop(), 0);

    // Restarted, the relay asks for the version; the parent never answers.
    m_parent.Hang(kSiteVersionPath);
    Start(m_relayA);
    std::thread client([this] { AskForSite(m_relayA); });
    ASSERT_TRUE(m_parent.AwaitArrivals(kSiteVersionPath, 1)) << m_relayA.Log();
    EXPECT_EQ(m_relayA.Stop(45s), 0);
    client.join();
}

// A relay that keeps its mirrored sites outside the folder it serves says so once at start; the
// relays above, whose two roots are one folder, do not.
TEST(GatherMirrorRoots, ARelayThatDoesNotServeItsMirrorSitesSaysSoAtStart) {
    const std::string warning = "which the server does not serve";
    RelayProcess served;
    RelayProcess unserved;
    unserved.Import("[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server]\n\"wwwRootFolder\"=-\n");
    for (RelayProcess* relay : {&served, &unserved}) {
        relay->Start();
        ASSERT_TRUE(relay->AwaitProbe()) << relay->Console() << relay->Log();
    }
    EXPECT_EQ(served.Stop(), 0);
    EXPECT_EQ(unserved.Stop(), 0);
    EXPECT_EQ(served.Log().find(warning), std::string::npos) << served.Log();
    const std::string log = unserved.Log();
    const std::size_t first = log.find(warning);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(warning, first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("\"wwwRootFolder\" " + unserved.Folder() + "/storage/wwwrootkvr,"), std::string::npos)
        << log;
}
