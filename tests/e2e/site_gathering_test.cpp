// Site gathering through a real relay against a scripted parent that publishes signed sites
// (support/site_parent.h). Sites are queued the way a parent's announcement queues them: a
// notification of a new site version (type 9) for a site a client asked for lately, seeded in
// "vtemapfile.xml" and "GatherState.xml". The relay gathers, commits ("GatherState.xml") and pings its
// registered client (a UDP socket on 127.0.0.10).
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e/relay_process.h"
#include "support/client_settings.h"
#include "support/file_bytes.h"
#include "support/loopback_sockets.h"
#include "support/port_reservation.h"
#include "support/site_parent.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kRegisterPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
constexpr std::uint32_t kDemoSiteID = 1;
constexpr std::uint32_t kOperatorSiteID = 2;
const std::vector<SiteFile> kVersion1 = {{"a.txt", "one", 100}, {"b.txt", "unchanged", 200}};
const std::vector<SiteFile> kVersion2 = {{"a.txt", "one and two", 300}, {"b.txt", "unchanged", 200}};
const std::vector<SiteFile> kVersion3 = {{"a.txt", "three", 500}, {"b.txt", "unchanged", 200}, {"c.txt", "new", 600}};

std::uint32_t BigEndianAt(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
    return value;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteWholeFile(path, content);
}

std::string ReadIfThere(const std::string& path) {
    return std::filesystem::exists(path) ? ReadWholeFile(path) : "";
}

template <class Condition>
bool AwaitTrue(Condition condition, std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class SiteGatheringTest : public ::testing::Test {
  protected:
    SiteGatheringTest() : m_client("127.0.0.10", m_clientPort.Port()) {}

    std::string Storage() const { return m_relay.Folder() + "/storage"; }
    std::string Inbox() const { return Storage() + "/Mirror Server/inbox"; }
    std::string MirrorSites() const { return m_relay.Folder() + "/wwwroot/vtmirror/vtsites"; }
    std::string SiteFolder(std::uint32_t version) const {
        return MirrorSites() + "/daruravidumirror_1_" + std::to_string(version);
    }
    std::string StateFile() const { return Inbox() + "/GatherState.xml"; }

    // The relay knows the demo site and the operator site, which a client asked for a minute ago, and
    // gathers from the scripted parent; its own client listens on 127.0.0.10.
    void Prepare() {
        ASSERT_TRUE(m_client.IsBound());
        m_relay.SetClientSetting("_KVRGather_Comm_ParentRelayURL", m_sites.GatherURL());
        m_relay.SetClientSetting("_KVRRelay_Crypto_BuiltInCertificatePath", MastheadRootsFolder());
        m_relay.SetClientSetting("_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "200");
        m_relay.SetClientSetting("_Daruravidu Server_ClientRegister_UDPMessagePort", std::to_string(m_clientPort.Port()));
        m_relay.SetClientSetting("_KVRRelay_Log_Verbose", "1");
        PlaceSiteMastheads(Storage() + "/MerivantData/gather");
        WriteWholeFile(m_relay.Folder() + "/registrationlist.txt",
                       "11\t127.0.0.10\t11\t" + std::to_string(NowInSecondsForTest()) + "\t0\t0\t0\t0\t0\t0\t0\t0\t0\t\t\t0\n");
        WriteFile(Inbox() + "/vtemapfile.xml",
                  "<?xml version=\"1.0\"?>\r\n<URLtoID NextID=\"3\">\r\n<UrlToIdPair ID=\"1\">" + std::string(kDemoSiteURL) +
                      "</UrlToIdPair>\r\n<UrlToIdPair ID=\"2\">" + kOperatorSiteURL + "</UrlToIdPair>\r\n</URLtoID>");
        const std::string asked = TimeText(NowInSecondsForTest() - 60);
        WriteFile(StateFile(), "<?xml version=\"1.0\"?>\r\n<GatherStatus ActionSiteEpoch=\"Tue, 05 Mar 2024 10:00:00 +0000\">\r\n"
                               "<SiteStatus SiteID=\"1\" Status=\"GatherComplete\" LastRequestedTime=\"" + asked +
                                   "\"></SiteStatus>\r\n<SiteStatus SiteID=\"2\" Status=\"GatherComplete\" "
                                   "LastRequestedTime=\"" + asked + "\"></SiteStatus>\r\n</GatherStatus>");
    }
    void Start() {
        m_relay.Start();
        ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }

    // The parent announces a new version of the site: the relay queues a gather of it.
    void Announce(const std::string& siteURL, std::uint32_t version, const std::string& manyVersion = "") {
        std::string query = "RequestType=NotifyAllClients&Body=GatherHash&Argument=" + std::to_string(version) +
                            "&Argument2=" + std::to_string(TextChecksum(siteURL));
        if (!manyVersion.empty()) query += "&Argument1MV=" + std::to_string(ManyVersionListCRC(manyVersion));
        ASSERT_NE(m_relay.Get(kRegisterPath + ("?" + query)).find("Success"), std::string::npos);
    }
    // The client's next ping (a new version of another site: type 9); false when none came in time.
    ::testing::AssertionResult AwaitSitePing(std::uint32_t version, const std::string& siteURL) {
        const std::string packet = m_client.Receive(30s);
        if (packet.size() != 25) return ::testing::AssertionFailure() << "no site ping: " << packet.size() << " bytes";
        if (packet.substr(0, 5) != "KVR11" || BigEndianAt(packet, 9) != 9 || BigEndianAt(packet, 13) != version ||
            BigEndianAt(packet, 17) != TextChecksum(siteURL))
            return ::testing::AssertionFailure() << "another ping: type " << BigEndianAt(packet, 9) << ", version "
                                                 << BigEndianAt(packet, 13);
        return ::testing::AssertionSuccess();
    }
    // The window of versions kept is cut after the commit and its ping: a folder it deletes goes soon
    // after.
    static bool AwaitGone(const std::string& path) {
        return AwaitTrue([&path] { return !std::filesystem::exists(path); });
    }
    std::string CommittedIn(const std::string& stateFile) const {
        const std::string state = ReadIfThere(stateFile);
        const std::size_t site = state.find("SiteID=\"1\"");
        if (site == std::string::npos) return "";
        const std::size_t start = state.find("CommittedVersion=\"", site) + 18;
        return state.substr(start, state.find('"', start) - start);
    }

    ScriptedParent m_parent;
    SiteParent m_sites{m_parent};
    PortReservation m_clientPort;
    UDPReceiver m_client;
    RelayProcess m_relay;
};

}  // namespace

// A site's life: gathered, committed and pinged; the next version by difference; the window of
// versions kept; a stop during a gather; a restart that keeps ids and state.
TEST_F(SiteGatheringTest, ASiteIsGatheredKeptInItsWindowAndSurvivesARestart) {
    Prepare();
    m_relay.SetClientSetting("_KVRGather_Download_NumVersionsToServe", "2");
    Start();

    m_sites.PublishVersion(kDemoSiteURL, 1, kVersion1, DemoSiteSigner());
    Announce(kDemoSiteURL, 1);
    ASSERT_TRUE(AwaitSitePing(1, kDemoSiteURL)) << m_relay.Log();
    EXPECT_EQ(CommittedIn(StateFile()), "1");
    EXPECT_NE(ReadIfThere(StateFile()).find("CommittedLocation=\"" + SiteFolder(1) + "\""), std::string::npos);
    EXPECT_EQ(ReadFileBytes(SiteFolder(1) + "/a.txt"), "one");

    m_sites.PublishVersion(kDemoSiteURL, 2, kVersion2, DemoSiteSigner(), {{1, kVersion1}});
    Announce(kDemoSiteURL, 2);
    ASSERT_TRUE(AwaitSitePing(2, kDemoSiteURL)) << m_relay.Log();
    EXPECT_EQ(ReadFileBytes(SiteFolder(2) + "/a.txt"), "one and two");
    EXPECT_EQ(m_parent.RequestsFor(SiteParent::VersionPath(kDemoSiteURL, 2) + "__fullsite"), 0u);
    EXPECT_EQ(m_parent.RequestsFor(SiteParent::VersionPath(kDemoSiteURL, 2) + "__alldiffs"), 1u);

    m_sites.PublishVersion(kDemoSiteURL, 3, kVersion3, DemoSiteSigner(), {{2, kVersion2}});
    Announce(kDemoSiteURL, 3);
    ASSERT_TRUE(AwaitSitePing(3, kDemoSiteURL)) << m_relay.Log();
    EXPECT_TRUE(AwaitGone(SiteFolder(1)));
    EXPECT_TRUE(std::filesystem::exists(SiteFolder(2)));
    EXPECT_TRUE(std::filesystem::exists(SiteFolder(3)));

    // With no versions to serve, the committed one alone stays.
    m_relay.SetClientSetting("_KVRGather_Download_NumVersionsToServe", "0");
    m_sites.PublishVersion(kDemoSiteURL, 4, kVersion2, DemoSiteSigner(), {{3, kVersion3}});
    Announce(kDemoSiteURL, 4);
    ASSERT_TRUE(AwaitSitePing(4, kDemoSiteURL)) << m_relay.Log();
    EXPECT_TRUE(AwaitGone(SiteFolder(2)));
    EXPECT_TRUE(AwaitGone(SiteFolder(3)));
    EXPECT_EQ(ReadFileBytes(SiteFolder(4) + "/a.txt"), "one and two");

    // A stop while the parent holds the next version's content.
    const std::string held = SiteParent::VersionPath(kDemoSiteURL, 5) + "__fullsite";
    m_parent.Hold(held);
    m_sites.PublishVersion(kDemoSiteURL, 5, kVersion1, DemoSiteSigner());
    Announce(kDemoSiteURL, 5);
    ASSERT_TRUE(m_parent.AwaitArrivals(held, 1)) << m_relay.Log();
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(m_relay.Stop(), 0);
    // The cancelled fetch ends the gather at once; the margin is for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 5s);
    EXPECT_NE(m_relay.Log().find("1: Gather cancelled by stop request."), std::string::npos) << m_relay.Log();
    EXPECT_EQ(CommittedIn(StateFile()), "4");

    // The restarted relay knows the site by its id and holds version 4; version 5 comes next.
    m_parent.Release(held);
    Start();
    Announce(kDemoSiteURL, 5);
    ASSERT_TRUE(AwaitSitePing(5, kDemoSiteURL)) << m_relay.Log();
    EXPECT_EQ(ReadFileBytes(SiteFolder(5) + "/a.txt"), "one");
    EXPECT_TRUE(AwaitGone(SiteFolder(4)));
    EXPECT_EQ(m_relay.Stop(), 0);
    EXPECT_EQ(CommittedIn(StateFile()), "5");
    EXPECT_NE(ReadIfThere(Inbox() + "/vtemapfile.xml").find("<UrlToIdPair ID=\"1\">" + std::string(kDemoSiteURL)),
              std::string::npos);
}

// Two sites are gathered at once; a second request for a site being gathered waits in the queue, so
// the parent hears one directory request of that site while the first gather runs.
TEST_F(SiteGatheringTest, TwoSitesAtOnceAndASecondRequestWaitsForTheFirst) {
    Prepare();
    Start();
    const std::string demoHeld = SiteParent::VersionPath(kDemoSiteURL, 1) + "__fullsite";
    const std::string operatorHeld = SiteParent::ManyVersionPath(kOperatorSiteURL, 1) + "__fullsite_";
    m_parent.Hold(demoHeld);
    m_parent.Hold(operatorHeld);
    m_sites.PublishVersion(kDemoSiteURL, 1, kVersion1, DemoSiteSigner());
    m_sites.PublishManyVersion(kOperatorSiteURL, 1, "3,1", kVersion2, ActionSiteSigner());
    Announce(kDemoSiteURL, 1);
    Announce(kOperatorSiteURL, 1, "3,1");
    ASSERT_TRUE(m_parent.AwaitArrivals(demoHeld, 1)) << m_relay.Log();
    ASSERT_TRUE(m_parent.AwaitArrivals(operatorHeld, 1)) << m_relay.Log();

    Announce(kDemoSiteURL, 2);
    std::this_thread::sleep_for(2s);  // ten passes of the loop
    EXPECT_EQ(m_parent.ArrivedFor(kParentGatherPath), 2u);

    m_parent.Release(demoHeld);
    m_parent.Release(operatorHeld);
    EXPECT_TRUE(AwaitTrue([this] { return m_parent.ArrivedFor(kParentGatherPath) == 3; })) << m_relay.Log();
    EXPECT_TRUE(AwaitTrue([this] { return m_sites.DirectoryRequestsFor(kDemoSiteURL) == 2; })) << m_relay.Log();
    // Both gathers commit before the stop; a stop would cancel the one still filling its folder.
    EXPECT_TRUE(AwaitTrue([this] {
        const std::string state = ReadIfThere(StateFile());
        return state.find("CommittedManyVersion=\"3,1\"") != std::string::npos &&
               state.find("CommittedLocation=\"" + SiteFolder(1) + "\"") != std::string::npos;
    })) << ReadIfThere(StateFile());
    EXPECT_EQ(m_relay.Stop(), 0);
    const std::string state = ReadIfThere(StateFile());
    EXPECT_NE(state.find("CommittedLocation=\"" + SiteFolder(1) + "\""), std::string::npos) << state;
    EXPECT_NE(state.find("CommittedManyVersion=\"3,1\""), std::string::npos) << state;
    EXPECT_EQ(ReadFileBytes(MirrorSites() + "/manymirror_2_1_" + std::to_string(ManyVersionListCRC("3,1")) + "/a.txt"),
              "one and two");
}

// Archived sites dropped into the inbox: a verified one is installed; a tampered one ends in
// "inbox/failed"; one still being written waits until it has settled; one without a list is installed
// with a critical line.
TEST_F(SiteGatheringTest, InboxArchivesAreCheckedBeforeTheyAreInstalled) {
    Prepare();
    Start();
    const auto drop = [this](const std::string& name, std::uint32_t version, const ArchivedSiteParts& parts,
                             std::chrono::seconds age) {
        const std::string path = Inbox() + "/" + name;
        WriteFile(path + ".part", ArchivedSiteBytes(kDemoSiteURL, version, kVersion1, parts));
        std::filesystem::last_write_time(path + ".part", std::filesystem::file_time_type::clock::now() - age);
        std::filesystem::rename(path + ".part", path);
    };
    // Between the good archive's version and the unlisted one's, so that its install, when it has
    // settled, changes neither outcome.
    const auto copied = std::chrono::steady_clock::now();
    drop("archive_copying", 4, {}, 0s);
    drop("archive_tampered", 8, {.archivedFiles = std::vector<SiteFile>{{"a.txt", "changed"}, {"b.txt", "unchanged"}}},
         60s);
    drop("archive_good", 3, {}, 60s);
    ASSERT_TRUE(AwaitTrue([this] { return CommittedIn(StateFile()) == "3"; })) << m_relay.Log();
    EXPECT_TRUE(AwaitTrue([this] { return std::filesystem::exists(Inbox() + "/failed/archive_tampered"); }));
    // An installed archive is deleted once its version's window is cut, after the commit.
    EXPECT_TRUE(AwaitGone(Inbox() + "/archive_good"));
    EXPECT_TRUE(std::filesystem::exists(Inbox() + "/archive_copying") ||
                std::chrono::steady_clock::now() - copied >= 10s);
    EXPECT_FALSE(std::filesystem::exists(SiteFolder(8)));
    EXPECT_TRUE(m_relay.AwaitLogLine("Failed to process archive_* file: ")) << m_relay.Log();

    drop("archive_unlisted", 5, {.withList = false}, 60s);
    ASSERT_TRUE(AwaitTrue([this] { return CommittedIn(StateFile()) == "5"; })) << m_relay.Log();
    EXPECT_TRUE(m_relay.AwaitLogLine("without verification")) << m_relay.Log();
    EXPECT_EQ(ReadFileBytes(SiteFolder(5) + "/a.txt"), "one");
    // Once settled, the archive that was being written is taken too.
    EXPECT_TRUE(AwaitGone(Inbox() + "/archive_copying"));
    EXPECT_EQ(m_relay.Stop(), 0);
}

// The stored result of the connectivity test at the loop's start: 1 without a mirror URL, 3 when the
// parent's test page cannot be had, 7 when it can; 0 with both tests off.
TEST_F(SiteGatheringTest, TheConnectivityTestStoresItsResultBits) {
    m_parent.Serve("/mirror/ConnectivityTest", "ok");
    m_relay.SetClientSetting("_KVRGather_Download_CheckInternetFlag", "0");
    const std::string store = "HKLM\\Software\\Veltra\\Daruravidu Server\\GatherService";
    struct Case {
        std::string mirrorURL;
        bool checkParent;
        const char* stored;
    };
    const Case cases[] = {
        {"", true, "1"},
        {m_parent.URL("/elsewhere"), true, "3"},
        {m_parent.URL("/mirror"), true, "7"},
        {m_parent.URL("/mirror"), false, "0"},
    };
    for (const Case& c : cases) {
        m_relay.Import("[" + store + "]\n\"DownloadMirror URL\"=\"" + c.mirrorURL + "\"\n\"ConnectivityTestResult\"=-\n");
        m_relay.SetClientSetting("_KVRGather_Download_CheckParentFlag", c.checkParent ? "1" : "0");
        Start();
        EXPECT_TRUE(AwaitTrue([&] { return !m_relay.Read(store, "ConnectivityTestResult").empty(); }, 20s));
        EXPECT_EQ(m_relay.Read(store, "ConnectivityTestResult"), c.stored) << c.mirrorURL;
        EXPECT_EQ(m_relay.Stop(), 0);
    }
}
