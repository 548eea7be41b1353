#include "relay/download/kvr_mirror_request_plugin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../../http/http_test_support.h"
#include "relay/download/download_report_fixture.h"

namespace {

const std::string kPluginPath = "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe";

// The plug-in in a running server, over a store of the test's own and a download manager that is
// never run: what a retry hands it stays in its inbox.
class KVRMirrorRequestPlugInTest : public DownloadReportFixture {
  protected:
    KVRMirrorRequestPlugInTest() {
        RegisterPlugInNames(m_plugIns, m_plugIn);
        m_server = std::make_unique<RunningServer>(m_serverSettings, m_plugIns);
    }

    std::string Request(const std::string& method, const std::string& path) {
        return Exchange(m_server->Port(),
                        method + " " + path + " HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n");
    }

    Event m_stop;
    ServiceDownloadManager m_manager{m_settings, m_stop};
    KVRMirrorRequestPlugIn m_plugIn{m_settings, m_manager, m_stop};
    PlugInPathTable m_plugIns;
    HTTPServerSettings m_serverSettings = TestServerSettings();
    std::unique_ptr<RunningServer> m_server;
};

}  // namespace

TEST_F(KVRMirrorRequestPlugInTest, IsNamedForItsPathAndRunsThreaded) {
    EXPECT_EQ(m_plugIn.Names(),
              (std::vector<std::string>{"KVRMirrorRequest", "cgi-bin/vtdaruravidu/KVRMirrorRequest.exe"}));
    EXPECT_TRUE(m_plugIn.IsThreaded());
}

TEST_F(KVRMirrorRequestPlugInTest, AnswersItsCommandsThroughTheServer) {
    Put(DownloadRequestTarget::Indexed(12, 0, "http://site/a"), Status::Failed);

    const std::string report = Request("GET", kPluginPath);
    EXPECT_EQ(StatusLineOf(report), "HTTP/1.1 200 OK");
    EXPECT_NE(report.find("<P>Action: 12 <A HREF=\"" + kPluginPath + "/-retry?id=12\">"), std::string::npos)
        << report;

    const std::string version = Request("GET", "/KVRMirrorRequest/-Version");
    EXPECT_NE(version.find("\r\nx-kvr-download-mirror-status: 1\r\n"), std::string::npos) << version;
    EXPECT_NE(version.find("KVRMirrorRequest version 8.0.627.0"), std::string::npos) << version;

    const std::string posted = Request("POST", kPluginPath + "/-retry?id=12");
    EXPECT_NE(posted.find("\r\nx-kvr-download-mirror-status: 11\r\n"), std::string::npos) << posted;

    const std::string retried = Request("GET", kPluginPath + "/-retry?id=12");
    EXPECT_NE(retried.find("\r\nx-kvr-download-mirror-status: 1\r\n"), std::string::npos) << retried;
    EXPECT_NE(retried.find("Request retry started."), std::string::npos) << retried;

    const std::string nothingFailed = Request("GET", kPluginPath + "/-retry?id=13");
    EXPECT_NE(nothingFailed.find("That download has not failed."), std::string::npos) << nothingFailed;
}

// Any other failure (here a database that no longer reads) is answered 500 with its text.
TEST_F(KVRMirrorRequestPlugInTest, AnyOtherFailureIsAnswered500WithItsText) {
    CapturedLog log;
    WriteWholeFile(DatabasePath(), std::string(4096, 'x'));

    const std::string reply = Request("GET", kPluginPath + "/-textreport");
    EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 500 Internal Error") << reply;
    const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
    EXPECT_EQ(body.rfind("Error:\n", 0), 0u) << body;
    EXPECT_NE(body.find("not a database"), std::string::npos) << body;
    EXPECT_EQ(log.LinesStartingWith("debug: (127.0.0.1) KVRMirrorRequest: (" + kPluginPath +
                                    "/-textreport) Error:\n"),
              std::vector<std::string>{"debug: (127.0.0.1) KVRMirrorRequest: (" + kPluginPath +
                                       "/-textreport) Error:\n" + body.substr(7)});
}
