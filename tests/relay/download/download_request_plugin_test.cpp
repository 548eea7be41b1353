#include "relay/download/download_request_plugin.h"

#include <gtest/gtest.h>

#include <string>

#include "../../http/http_test_support.h"
#include "net/started_socket_system.h"
#include "relay/download/download_manager_fixture.h"

namespace {

constexpr const char* kPath = "/cgi-bin/DownloadRequest";

std::string Post(std::uint16_t port, const std::string& body, const std::string& path = kPath) {
    return Exchange(port, "POST " + path + " HTTP/1.0\r\nHost: relay\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::string BodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string Text(const DownloadRequestTarget& target) { return downloadRequestTargetText(target); }

// Test labels: DownloadRequestPlugInTest tsan
// The plug-in served over loopback, handing its targets to the fixture's manager.
class DownloadRequestPlugInTest : public DownloadManagerFixture {
  protected:
    static void SetUpTestSuite() {
        DownloadManagerFixture::SetUpTestSuite();
        StartedSocketSystem();
    }

    DownloadRequestPlugInTest() {
        RegisterPlugInNames(m_table, m_plugIn);
        m_server = std::make_unique<RunningServer>(m_serverSettings, m_table);
    }

    std::uint16_t Port() const { return m_server->Port(); }
    // The texts of the targets the manager asked the parent for, request after request.
    std::vector<std::vector<std::string>> AskedOfTheParent() {
        Manager().DoWork();
        return m_upstream.requests;
    }

    const std::string m_content = "cached bytes";
    const DownloadRequestTarget m_cached =
        DownloadRequestTarget::Dynamic(30, Sha1Of(m_content), m_content.size(), "http://site/cached");
    const DownloadRequestTarget m_missing = DownloadRequestTarget::Dynamic(31, FilledDigest(1), 5, "http://site/missing");
    HTTPServerSettings m_serverSettings = TestServerSettings();
    DownloadRequestPlugIn m_plugIn{m_settings, Manager()};
    PlugInPathTable m_table;
    std::unique_ptr<RunningServer> m_server;  // last: it goes first
};

TEST_F(DownloadRequestPlugInTest, IsNamedForItsPathAndRunsThreaded) {
    EXPECT_EQ(m_plugIn.Names(), (std::vector<std::string>{"DownloadRequest", "cgi-bin/DownloadRequest"}));
    EXPECT_TRUE(m_plugIn.IsThreaded());
}

TEST_F(DownloadRequestPlugInTest, AnswersOnlyPosts) {
    const std::string reply = Exchange(Port(), std::string("GET ") + kPath + " HTTP/1.0\r\nHost: relay\r\n\r\n");
    EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(BodyOf(reply), "Error: this script only accepts POST operations\r\n\r\nDownloadRequestPlugIn\r\nVersion 8.0.627.0");
    const std::string posted = Post(Port(), "0\n");
    EXPECT_EQ(StatusLineOf(posted), "HTTP/1.1 200 OK");
    EXPECT_EQ(BodyOf(posted), "0\n");
}

// Each target is answered in the order posted: Available from the cache, InProcess otherwise; those
// go to the parent at every request, and a cached target without a row is recorded once.
TEST_F(DownloadRequestPlugInTest, AnswersEachTargetFromTheCacheAndAsksTheParentForTheRest) {
    InSha1Folder(m_content);
    WriteAgedFile(Downloads("ActionURLs/dl_32"), "+\n32\n", 0);
    const std::string body = "0\n" + Text(m_missing) + "\n" + Text(m_cached) + "\n" +
                             Text(DownloadRequestTarget::URLRequest(32)) + "\n";
    const std::string answer = "0\naid=31,index=null,hash=" + FilledDigest(1).ToHex() +
                               ",status=InProcess\naid=30,index=null,hash=" + Sha1Of(m_content).ToHex() +
                               ",status=Available\naid=32,index=null,hash=null,status=Available\n";
    EXPECT_EQ(BodyOf(Post(Port(), body)), answer);
    EXPECT_EQ(AskedOfTheParent(), std::vector<std::vector<std::string>>{{Text(m_missing)}});
    EXPECT_EQ(StateOf(m_cached), "COMPLETED");

    // Asked again, the missing target goes to the manager again; with no retry time it is due at once.
    WriteSettings({{"_KVRGather_Download_RetryMinutes", "0"}});
    m_upstream.requests.clear();
    EXPECT_EQ(BodyOf(Post(Port(), body)), answer);
    EXPECT_EQ(AskedOfTheParent(), std::vector<std::vector<std::string>>{{Text(m_missing)}});
}

TEST_F(DownloadRequestPlugInTest, ABodyThatIsNoTargetListIsRefusedWhole) {
    const struct {
        const char* name;
        std::string body;
        std::string answer;
    } cases[] = {
        {"no version line", "", "class InvalidObjectListVersion"},
        {"a line that is no target", "0\n" + Text(m_missing) + "\naid=7\n", "class NextValueException"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reply = Post(Port(), c.body);
        EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 500 Internal Error");
        EXPECT_EQ(BodyOf(reply), c.answer);
    }
    EXPECT_TRUE(AskedOfTheParent().empty());
}

// Refused before anything is looked up: a body over 16 MiB by its length alone, a list of more than
// 10,000 targets as soon as the 10,001st is read.
TEST_F(DownloadRequestPlugInTest, RefusesAnOversizedRequestWith413) {
    // The server holds the first 64 KiB of a body before the plug-in takes the request.
    const std::string head = std::string("POST ") + kPath + " HTTP/1.0\r\nHost: relay\r\nContent-Length: 16777217\r\n\r\n0\n";
    const std::string tooLong = Exchange(Port(), head + std::string(64 * 1024, '\n'));
    EXPECT_EQ(StatusLineOf(tooLong), "HTTP/1.1 413 Request Entity Too Large");

    std::string body = "0\n";
    for (std::uint32_t index = 1; index <= DownloadRequestPlugIn::kMostTargets + 1; ++index)
        body += Text(DownloadRequestTarget::Indexed(7, index, "http://site/f")) + "\n";
    const std::string tooMany = Post(Port(), body);
    EXPECT_EQ(StatusLineOf(tooMany), "HTTP/1.1 413 Request Entity Too Large");
    EXPECT_EQ(BodyOf(tooMany), "Error: the request lists more than 10000 download targets");
    EXPECT_TRUE(AskedOfTheParent().empty());

    body.erase(body.rfind("aid="));
    EXPECT_EQ(StatusLineOf(Post(Port(), body)), "HTTP/1.1 200 OK");
}

}  // namespace
