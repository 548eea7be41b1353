#include "relay/gather/kvr_gather_mirror_plugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "../../http/http_test_support.h"
#include "relay/gather/gather_state_fixture.h"
#include "support/eventually.h"

namespace {

const std::string kPluginPath = "/cgi-bin/vtdaruravidu/KVRGatherMirror.exe";

class CountingLoopWork : public GatherLoopDownloadWork {
  public:
    void ServePlugins(const FileLocation&) override {}
    void DoWork() override { ++passes; }
    bool HasDownloadsInProgress() override { return false; }

    std::atomic<int> passes{0};
};

// The plug-in in a running server, over a gather state of the test's own that holds a committed copy
// of the updates site whose list file is missing.
class KVRGatherMirrorPlugInTest : public GatherStateTest {
  protected:
    KVRGatherMirrorPlugInTest() {
        SetClientSetting("_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "10");
        SetClientSetting("_KVRGather_Download_CheckParentFlag", "0");
        SetClientSetting("_KVRGather_Download_CheckInternetFlag", "0");
        WriteMap({{1, kUpdates}});
        WriteStateFile(
            "<SiteStatus SiteID=\"1\" CommittedLocation=\"" + MirrorSites() +
            "/daruravidumirror_1_42\" CommittedVersion=\"42\" Status=\"GatherComplete\"></SiteStatus>\r\n");
        m_plugIn = std::make_unique<KVRGatherMirrorPlugIn>(GatherServiceComponents{
            .options = m_options,
            .stop = m_stop,
            .gatherMap = Map(),
            .gatherState = State(),
            .downloads = m_work,
        });
        RegisterPlugInNames(m_plugIns, *m_plugIn);
        m_server = std::make_unique<RunningServer>(m_serverSettings, m_plugIns);
    }
    ~KVRGatherMirrorPlugInTest() override {
        m_server.reset();
        m_plugIn.reset();
    }

    std::string Request(const std::string& path, const std::string& headers = "") {
        return Exchange(m_server->Port(), "GET " + path + " HTTP/1.1\r\nHost: h\r\n" + headers + "\r\n");
    }

    CountingLoopWork m_work;
    std::unique_ptr<KVRGatherMirrorPlugIn> m_plugIn;
    PlugInPathTable m_plugIns;
    HTTPServerSettings m_serverSettings = TestServerSettings();
    std::unique_ptr<RunningServer> m_server;
};

}  // namespace

TEST_F(KVRGatherMirrorPlugInTest, IsNamedForItsPathAndRunsThreaded) {
    EXPECT_EQ(m_plugIn->Names(),
              (std::vector<std::string>{"KVRGatherMirror", "cgi-bin/vtdaruravidu/KVRGatherMirror.exe"}));
    EXPECT_TRUE(m_plugIn->IsThreaded());
}

TEST_F(KVRGatherMirrorPlugInTest, AnswersThroughTheServerAndFailuresWith500) {
    const std::string version = Request("/CGI-BIN/vtdaruravidu/kvrgathermirror.exe/-version");
    EXPECT_EQ(StatusLineOf(version), "HTTP/1.1 200");
    EXPECT_NE(version.find("KVRGather version 8.0.627.0(1)"), std::string::npos) << version;

    const std::string unknown = Request(kPluginPath + "/-Version", "User-Agent: Veltra KVRClient\r\n");
    EXPECT_EQ(StatusLineOf(unknown), "HTTP/1.1 404");
    EXPECT_NE(unknown.find("x-kvr-gather-mirror-status: 6\r\n"), std::string::npos) << unknown;

    // The committed copy has no list: a plain 500 naming the failure, and nothing before it.
    const std::string missing = Request(kPluginPath + "?url=" + kUpdates);
    EXPECT_EQ(StatusLineOf(missing), "HTTP/1.1 500 Internal Error");
    EXPECT_EQ(missing.find("x-kvr-gather-mirror-status"), std::string::npos) << missing;
    EXPECT_NE(missing.find("daruravidumirror_1_42/__sdirlist\": System Error"), std::string::npos) << missing;

    const std::string unknownSite = Request(kPluginPath + "/-siteversion?url=" + kGatherURL + "Unknown");
    EXPECT_EQ(StatusLineOf(unknownSite), "HTTP/1.1 500 Internal Error");
    EXPECT_NE(unknownSite.find("NoSiteIDMatchesURL"), std::string::npos) << unknownSite;
}

TEST_F(KVRGatherMirrorPlugInTest, StartRunsTheGatherLoopUntilThePlugInGoes) {
    StartPlugIns(m_plugIns);
    ASSERT_TRUE(Eventually([this] { return m_work.passes.load() > 2; }, std::chrono::seconds(30)));
    m_server.reset();
    m_plugIn.reset();
    EXPECT_TRUE(m_stop.Wait(0));
    const int passes = m_work.passes.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(m_work.passes.load(), passes);
}
