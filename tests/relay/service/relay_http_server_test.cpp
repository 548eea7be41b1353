#include "relay/service/relay_http_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "../../http/http_test_support.h"
#include "http/http_request.h"
#include "settings/configuration_settings.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

// A receiver with no downloads to drop: it answers every request at once.
class ImmediateActionSiteReset : public ActionSiteResetReceiver {
  public:
    void RequestActionSiteReset(std::shared_ptr<Event> done) override { done->Set(); }
};

// Maps the paths of its table; throws for "/fails" and refuses "/refused" with 404; leaves the rest.
class TableMapper : public DownloadPathMapper {
  public:
    std::optional<std::string> MapDownloadPath(ConstData path, const std::string& readyMarkerPath) override {
        const std::string text(path.View());
        if (text == "/ready") return readyMarkerPath;
        if (text == "/mapped") return "/vtmirror/downloads/target";
        if (text == "/refused") throw HTTPRequestError(404);
        if (text == "/fails") throw std::runtime_error("store unreadable");
        return std::nullopt;
    }
};

// Answers a reset request only when the test says so.
class DelayedReset : public ActionSiteResetReceiver {
  public:
    void RequestActionSiteReset(std::shared_ptr<Event> done) override {
        m_done = std::move(done);
        ++requests;
    }
    void Answer() { m_done->Set(); }
    std::atomic<int> requests{0};

  private:
    std::shared_ptr<Event> m_done;
};

void ImportEpochs(const std::string& agent, const std::string& relay) {
    std::string keys = "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n"
                       "\"ActionSiteEpoch\"=\"" + agent + "\"\n\n";
    if (!relay.empty())
        keys += "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\KVRRelay\\GlobalOptions]\n\"ActionSiteEpoch\"=\"" + relay +
                "\"\n";
    ImportWithKvrreg(keys);
}

std::string RelayEpoch() {
    return ConfigurationString(1, "KVRRelay", "GlobalOptions", "ActionSiteEpoch", "").GetText();
}

class RelayHTTPServerTest : public ::testing::Test {
  protected:
    RelayHTTPServerTest() {
        WriteNamedSettings(m_registry, {{"_KVRRelay_HTTPServer_ServerRootPath", m_root.Path()}});
        m_settings.port = 0;
        m_settings.serverRootPath = FileLocation(m_root.Path().c_str());
    }
    ~RelayHTTPServerTest() override { StopServer(); }

    void StartServer(ActionSiteResetReceiver& receiver) {
        m_server =
            std::make_unique<RelayHTTPServer>(m_settings, m_plugIns, m_stop, m_configuration, receiver, m_mapper);
        m_thread = std::thread([this] { m_server->Run(); });
    }
    void StopServer() {
        m_stop.Set();
        if (m_thread.joinable()) m_thread.join();
    }
    std::string Get(const std::string& path) {
        return Exchange(m_server->Port(), "GET " + path + " HTTP/1.0\r\nHost: h\r\n\r\n");
    }
    std::string ActionURLs() const { return m_root / "vtmirror/downloads/ActionURLs"; }
    // A relay at "epoch-1" with a stored action (and a folder) serves a request after the agent moved
    // to "epoch-2"; returns once the receiver has the reset request.
    void ChangeTheEpochUnderAStoredAction(DelayedReset& receiver) {
        ImportEpochs("epoch-1", "epoch-1");
        std::filesystem::create_directories(ActionURLs() + "/nested");
        WriteWholeFile(ActionURLs() + "/dl_7", "old action");
        StartServer(receiver);
        ImportEpochs("epoch-2", "");
        Get("/vtmirror/downloads/0");
        ASSERT_TRUE(Eventually([&] { return receiver.requests == 1; }));
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_root;
    HTTPServerSettings m_settings{"KVRRelay"};
    PlugInPathTable m_plugIns;
    Event m_stop;
    GatherOptionsManager m_configuration;
    TableMapper m_mapper;
    std::unique_ptr<RelayHTTPServer> m_server;
    std::thread m_thread;
};

}  // namespace

TEST_F(RelayHTTPServerTest, WritesAndServesTheProbeFileUnderAMissingDownloadsFolder) {
    ImmediateActionSiteReset receiver;
    StartServer(receiver);
    EXPECT_EQ(m_server->GetProbePath(), "/vtmirror/downloads/0");
    const std::string reply = Get("/vtmirror/downloads/0");
    EXPECT_EQ(StatusLineOf(reply), "HTTP/1.0 200 OK");
    EXPECT_TRUE(reply.ends_with("\r\n\r\nA")) << reply;
}

TEST_F(RelayHTTPServerTest, AProbeFileThatCannotBeWrittenFailsTheConstruction) {
    std::filesystem::create_directories(m_root / "vtmirror/downloads/0/occupied");
    ImmediateActionSiteReset receiver;
    EXPECT_ANY_THROW(RelayHTTPServer(m_settings, m_plugIns, m_stop, m_configuration, receiver, m_mapper));
}

TEST_F(RelayHTTPServerTest, TheFirstStartCopiesTheAgentsEpochWithoutAReset) {
    ImportEpochs("epoch-1", "");
    std::filesystem::create_directories(ActionURLs());
    WriteWholeFile(ActionURLs() + "/dl_7", "kept");
    DelayedReset receiver;
    StartServer(receiver);
    Get("/vtmirror/downloads/0");
    Get("/vtmirror/downloads/0");
    EXPECT_EQ(RelayEpoch(), "epoch-1");
    EXPECT_EQ(receiver.requests, 0);
    EXPECT_TRUE(std::filesystem::exists(ActionURLs() + "/dl_7"));
}

// A relay with no agent beside it has no epoch to store: its requests must not write the registry
// (each write waits for the disk).
TEST_F(RelayHTTPServerTest, WithoutAnAgentEpochRequestsLeaveTheRegistryAlone) {
    ImmediateActionSiteReset receiver;
    StartServer(receiver);
    Get("/vtmirror/downloads/0");
    struct stat before {};
    ASSERT_EQ(::stat(m_registry.MachineHivePath().c_str(), &before), 0);
    Get("/vtmirror/downloads/0");
    Get("/vtmirror/downloads/0");
    struct stat after {};
    ASSERT_EQ(::stat(m_registry.MachineHivePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(RelayEpoch(), "");
}

// The reset waits for the receiver without holding up the loop: requests are served meanwhile, and
// the actions go only once the receiver has answered.
TEST_F(RelayHTTPServerTest, AnEpochChangeEmptiesActionURLsOnceTheReceiverAnswers) {
    CapturedLog log;
    DelayedReset receiver;
    ASSERT_NO_FATAL_FAILURE(ChangeTheEpochUnderAStoredAction(receiver));
    EXPECT_TRUE(Get("/vtmirror/downloads/0").ends_with("\r\n\r\nA"));
    EXPECT_TRUE(std::filesystem::exists(ActionURLs() + "/dl_7"));
    EXPECT_EQ(RelayEpoch(), "epoch-1");

    receiver.Answer();
    EXPECT_TRUE(Eventually([&] { return std::filesystem::is_empty(ActionURLs()); }));
    EXPECT_TRUE(Eventually([&] { return RelayEpoch() == "epoch-2"; }));
    Get("/vtmirror/downloads/0");
    EXPECT_EQ(receiver.requests, 1);
    EXPECT_EQ(log.LinesStartingWith("debug: The action site epoch changed.  Deleting all actions.").size(), 1u);
}

TEST_F(RelayHTTPServerTest, AStopEndsTheWaitAndStillFinishesTheReset) {
    DelayedReset receiver;
    ASSERT_NO_FATAL_FAILURE(ChangeTheEpochUnderAStoredAction(receiver));
    StopServer();
    m_server.reset();
    EXPECT_TRUE(std::filesystem::is_empty(ActionURLs()));
    EXPECT_EQ(RelayEpoch(), "epoch-2");
}

// A failing FIPS re-check runs before every request, which is still answered and still sees an epoch
// change; the failure is logged once, not once per request.
TEST_F(RelayHTTPServerTest, AFailingFipsRecheckNeitherDropsRequestsNorFloodsTheLog) {
    CapturedLog log;
    ImportEpochs("epoch-1", "epoch-1");
    DelayedReset receiver;
    std::atomic<int> rechecks{0};
    m_server = std::make_unique<RelayHTTPServer>(m_settings, m_plugIns, m_stop, m_configuration, receiver, m_mapper);
    m_server->SetFipsRecheck([&] {
        ++rechecks;
        throw std::runtime_error("masthead unreadable");
    });
    m_thread = std::thread([this] { m_server->Run(); });
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Get("/vtmirror/downloads/0").ends_with("\r\n\r\nA"));
    ImportEpochs("epoch-2", "");
    Get("/vtmirror/downloads/0");
    EXPECT_TRUE(Eventually([&] { return receiver.requests == 1; }));
    EXPECT_EQ(rechecks, 4);
    EXPECT_EQ(log.LinesStartingWith("critical: FIPS mode re-check failed: masthead unreadable").size(), 1u);
}

// The mapper decides what an unclaimed request serves: another path, a refusal, or (a failure of its
// own) 500, logged once however often it fails; a path it leaves alone is served as it is.
TEST_F(RelayHTTPServerTest, TheDownloadPathMapperDecidesWhatAnUnclaimedRequestServes) {
    CapturedLog log;
    ImmediateActionSiteReset receiver;
    StartServer(receiver);
    WriteWholeFile(m_root / "vtmirror/downloads/target", "mapped file");
    EXPECT_TRUE(Get("/mapped").ends_with("\r\n\r\nmapped file"));
    EXPECT_TRUE(Get("/ready").ends_with("\r\n\r\nA"));
    EXPECT_TRUE(Get("/vtmirror/downloads/target").ends_with("\r\n\r\nmapped file"));
    EXPECT_EQ(StatusLineOf(Get("/refused")), "HTTP/1.0 404 Not Found");
    EXPECT_EQ(StatusLineOf(Get("/fails")), "HTTP/1.0 500 Internal Server Error");
    EXPECT_EQ(StatusLineOf(Get("/fails")), "HTTP/1.0 500 Internal Server Error");
    EXPECT_EQ(log.LinesStartingWith("critical: Download path mapping failed: store unreadable").size(), 1u);
}
