// Result posting through real relays: clients (curl from 127.0.0.2, not a loopback client of the
// relay) post reports to a child relay, which forwards them to a parent relay, which forwards them to
// the root. The root is a scripted server that takes every batch and keeps it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/relay_process.h"
#include "support/program_runner.h"
#include "support/result_archives.h"
#include "support/scripted_http_server.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"
#include "support/test_pki.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/PostResults.exe";
constexpr const char* kClientAddress = "127.0.0.2";

std::string URLOf(std::uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port) + kPath;
}

// The root: takes every batch; the reports of the batches, unwrapped, in arrival order.
class Root {
  public:
    std::string URL() const { return URLOf(m_server.Port()); }
    std::vector<std::string> Batches() const {
        std::vector<std::string> batches;
        for (const auto& exchange : m_server.Exchanges())
            batches.push_back(exchange.request.substr(exchange.request.find("\r\n\r\n") + 4));
        return batches;
    }
    // A stored batch is an archive of the compressed archives that the relays on the way made.
    std::vector<std::string> Reports() const {
        std::vector<std::string> reports;
        for (const std::string& batch : Batches())
            for (const std::string& report : ReportsOfStoredBatch(batch)) reports.push_back(report);
        return reports;
    }
    bool AwaitReports(std::size_t count) const {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (Reports().size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

  private:
    ScriptedHTTPServer m_server{[](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("", "x-veltra-itclient-status: 1\r\n")};
    }};
};

class ResultPostingTest : public ::testing::Test {
  protected:
    void StartRelay(RelayProcess& relay, const std::string& parentURL) {
        relay.SetClientSetting("_KVRRelay_PostResults_ParentRelayURL", parentURL);
        relay.SetClientSetting("_KVRRelay_PostResults_ResultTimeLimit", "1");
        relay.Start();
        ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    }

    // curl from the address; the reply's head and body.
    std::string Post(const RelayProcess& relay, const std::string& body, const char* from = kClientAddress) {
        const std::string file = m_folder / "body";
        std::ofstream(file, std::ios::binary) << body;
        const ProgramRun curl =
            RunProgram("curl", {"-s", "-i", "--http1.0", "--max-time", "30", "--interface", from,
                                "--data-binary", "@" + file, URLOf(relay.Port())});
        EXPECT_EQ(curl.exitStatus, 0) << curl.err;
        return curl.out;
    }

    TemporaryFolder m_folder;
};

std::string StatusCodeOf(const std::string& reply) {
    return reply.size() < 12 ? "" : reply.substr(9, 3);
}

bool Accepted(const std::string& reply) {
    return StatusCodeOf(reply) == "200" && reply.find("x-veltra-itclient-status: 1\r\n") != std::string::npos;
}

}  // namespace

// Each report reaches the root once: kept by the child while the parent is down (the child's own
// agent, a loopback client, is sent elsewhere meanwhile), and by the parent across its restart.
TEST_F(ResultPostingTest, AReportPostedAtAChildReachesTheRootOnceAlsoAcrossAParentRestart) {
    Root root;
    RelayProcess parent;
    StartRelay(parent, root.URL());
    RelayProcess child;
    StartRelay(child, URLOf(parent.Port()));

    EXPECT_TRUE(Accepted(Post(child, "first report")));
    ASSERT_TRUE(root.AwaitReports(1)) << child.Log() << parent.Log();

    EXPECT_EQ(parent.Stop(), 0);
    EXPECT_TRUE(Accepted(Post(child, "second report")));
    ASSERT_TRUE(child.AwaitLogLine("PostResultsForwarder: Failed to post results to parent.")) << child.Log();
    EXPECT_EQ(StatusCodeOf(Post(child, "refused", "127.0.0.1")), "500");
    EXPECT_TRUE(Accepted(Post(child, "third report")));

    parent.Start();
    ASSERT_TRUE(parent.AwaitProbe()) << parent.Console() << parent.Log();
    ASSERT_TRUE(root.AwaitReports(3)) << child.Log() << parent.Log();
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(root.Reports(), (std::vector<std::string>{"first report", "second report", "third report"}));
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

// A relay that holds the key of its deployment's encryption certificate opens reports encrypted for
// it, and encrypts what it forwards for the certificate of the agent's masthead.
TEST_F(ResultPostingTest, WithTheDeploymentsKeyReportsAreOpenedAndBatchesSealedForTheMastheadsCertificate) {
    const std::string mastheads = TestPKIFolder() + "/mastheads";
    Root root;
    RelayProcess relay;
    const std::string agent = relay.Folder() + "/agent";
    std::filesystem::create_directories(agent);
    std::filesystem::copy_file(mastheads + "/action.azqm", agent + "/ActionSite.azqm");
    relay.Import(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\KVRClient.exe]\n"
        "\"Path\"=\"" +
        agent + "\"\n");
    relay.SetClientSetting("_KVRRelay_Crypto_BuiltInCertificatePath", mastheads + "/roots");
    const std::string keys = relay.Folder() + "/storage/Encryption Keys";
    std::filesystem::create_directories(keys);
    std::ofstream(keys + "/deployment.pvk", std::ios::binary)
        << ReadTestPKIFile("mastheads/encryption.key") << ReadTestPKIFile("mastheads/encryption.pem");
    StartRelay(relay, root.URL());

    std::ofstream(m_folder / "plain", std::ios::binary) << "sealed report";
    const ProgramRun sealed = RunProgram(
        "openssl", {"cms", "-encrypt", "-binary", "-stream", "-outform", "DER", "-aes256", "-in",
                    m_folder / "plain", "-out", m_folder / "sealed", mastheads + "/encryption.pem"});
    ASSERT_EQ(sealed.exitStatus, 0) << sealed.err;
    EXPECT_TRUE(Accepted(Post(relay, std::string("##SE001\0", 8) + ReadWholeFile(m_folder / "sealed"))));

    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (root.Batches().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(root.Batches().size(), 1u) << relay.Log();
    const std::string batch = root.Batches()[0];
    ASSERT_EQ(batch.substr(0, 8), std::string("##SE001\0", 8));
    std::ofstream(m_folder / "batch", std::ios::binary) << batch.substr(8);
    const ProgramRun opened =
        RunProgram("openssl", {"cms", "-decrypt", "-binary", "-inform", "DER", "-in", m_folder / "batch",
                               "-out", m_folder / "archive", "-recip", mastheads + "/encryption.pem",
                               "-inkey", mastheads + "/encryption.key"});
    ASSERT_EQ(opened.exitStatus, 0) << opened.err;
    const std::vector<std::string> files = SectionsOf(ReadWholeFile(m_folder / "archive"));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(SectionsOf(Inflated(files[0])), std::vector<std::string>{"sealed report"});
    EXPECT_EQ(relay.Stop(), 0);
}

// The plug-in's folders are made at start; one that cannot be made ends the start-up with its error.
TEST_F(ResultPostingTest, AResultsBufferThatCannotBeMadeFailsTheStart) {
    RelayProcess relay;
    std::ofstream(relay.Folder() + "/not-a-folder") << "a file";
    relay.Import("[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\Quorel]\n\"BufferDir\"=\"" +
                 relay.Folder() + "/not-a-folder/BufferDir\"\n");
    relay.Start();
    EXPECT_EQ(relay.AwaitExit(20s), 1);
    EXPECT_NE(relay.Log().find("KVR Relay ended on an error: "), std::string::npos) << relay.Log();
}
