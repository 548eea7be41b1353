#include "relay/download/mirror_request_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/interruptor.h"
#include "relay/download/download_report_fixture.h"
#include "relay/download/xml_download_report.h"
#include "support/download_report_reader.h"
#include "support/recording_client.h"

namespace {

const std::string kPluginPath = "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe";

// The commands over a store of the test's own, a report cache building from it, and a retry that
// records the actions it is asked for and answers `m_retryFindsFailures`.
class MirrorRequestCommandsTest : public DownloadReportFixture {
  protected:
    std::string Dispatch(const std::string& url, const std::string& method = "GET") {
        RecordingClientWriter client;
        MirrorRequest request{
            .writer = client,
            .url = url,
            .method = method,
            .settings = m_settings,
            .reportCache = m_cache,
            .stopEvent = m_stop,
            .retryFailedActionDownloads =
                [this](std::uint32_t actionID) {
                    m_retried.push_back(actionID);
                    return m_retryFindsFailures;
                },
            .log = m_log,
        };
        DispatchMirrorCommand(request);
        return client.reply;
    }

    Event m_stop;
    // Its clock stands still: the first report stays fresh for the whole test.
    DownloadReportCache m_cache{[this] { return BuildXMLDownloadReport(m_settings, m_stop); },
                                [] { return 0; }};
    RecordingLogFunctor m_log;
    std::vector<std::uint32_t> m_retried;
    bool m_retryFindsFailures = true;
};

std::string StatusOf(const std::string& reply) {
    const std::string field = "x-kvr-download-mirror-status: ";
    const std::size_t at = reply.find(field);
    if (at == std::string::npos) return "none";
    return reply.substr(at + field.size(), reply.find("\r\n", at) - at - field.size());
}

std::string BodyOf(const std::string& reply) {
    const std::size_t at = reply.find("\r\n\r\n");
    return at == std::string::npos ? "" : reply.substr(at + 4);
}

std::string Page(const std::string& message) {
    return "<HTML><HEAD>\r\n<TITLE>Configuration message</TITLE>\r\n</HEAD><BODY>\r\n<P>\r\n" + message +
           "\r\n</BODY></HTML>\r\n";
}

}  // namespace

TEST_F(MirrorRequestCommandsTest, TheLastPathComponentPicksTheCommand) {
    enum Kind { HTMLReport, PlainReport, CompressedReport, MessagePage };
    const struct {
        std::string url;
        std::string method;
        Kind kind;
        std::string status;   // of a message page
        std::string message;  // of a message page
    } cases[] = {
        {kPluginPath, "GET", HTMLReport, "", ""},
        {kPluginPath + "/", "GET", HTMLReport, "", ""},
        {kPluginPath + "/-REPORT", "GET", HTMLReport, "", ""},
        {kPluginPath + "/-version/", "GET", HTMLReport, "", ""},
        {"/KVRMirrorRequest", "GET", HTMLReport, "", ""},
        {"/cgi-bin/vtdaruravidu/kvrmirrorrequest", "GET", HTMLReport, "", ""},
        {kPluginPath + "/-TextReport?ignored=1", "GET", PlainReport, "", ""},
        {kPluginPath + "/-compressedtextreport", "POST", CompressedReport, "", ""},
        {kPluginPath + "/%2Dversion", "GET", MessagePage, "1", "KVRMirrorRequest version 8.0.627.0"},
        {kPluginPath + "/-status", "GET", MessagePage, "9", "invalid command"},
        {kPluginPath + "/-report.", "GET", MessagePage, "9", "invalid command"},
        {kPluginPath + "/-request", "GET", MessagePage, "10", "Can't submit download requests to Relays."},
        {kPluginPath + "/-request", "POST", MessagePage, "10", "Can't submit download requests to Relays."},
        {kPluginPath + "/-retry?id=12", "POST", MessagePage, "11", "Incorrect submit method."},
        {kPluginPath + "/-retry", "GET", MessagePage, "14", "Missing required parameter(s)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.url);
        const std::string reply = Dispatch(c.url, c.method);
        ASSERT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
        switch (c.kind) {
            case HTMLReport:
                EXPECT_NE(reply.find("\r\nContent-Type: text/html\r\n"), std::string::npos);
                EXPECT_NE(reply.find("<TITLE>Download Status Report</TITLE>"), std::string::npos);
                break;
            case PlainReport:
                EXPECT_EQ(BodyOf(reply), m_cache.Text(DownloadReportCache::Form::Plain));
                EXPECT_NE(reply.find("\r\nContent-Type: text/plain\r\n"), std::string::npos);
                break;
            case CompressedReport:
                EXPECT_EQ(BodyOf(reply), m_cache.Text(DownloadReportCache::Form::Compressed));
                break;
            case MessagePage:
                EXPECT_EQ(StatusOf(reply), c.status);
                EXPECT_EQ(BodyOf(reply), Page(c.message));
                break;
        }
    }
    EXPECT_TRUE(m_retried.empty());
}

TEST_F(MirrorRequestCommandsTest, AMessagePageIsACompleteCGIReply) {
    const std::string reply = Dispatch(kPluginPath + "/-status");
    EXPECT_EQ(reply.substr(reply.find("\r\nMIME-Version")),
              "\r\nMIME-Version: 1.0\r\nContent-Type: text/html\r\nSTATUS: "
              "200\r\nx-kvr-download-mirror-status: 9\r\n"
              "Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n"
              "Content-Length: " +
                  std::to_string(Page("invalid command").size()) + "\r\nx-veltra-itclient-status: 1\r\n\r\n" +
                  Page("invalid command"));
    EXPECT_EQ(m_log.lines, std::vector<std::string>{"invalid command"});
}

TEST_F(MirrorRequestCommandsTest, TextReportsWithinTheIntervalShareOneBuild) {
    Put(DownloadRequestTarget::Indexed(3, 0, "http://site/a"), Status::New);
    const std::string first = BodyOf(Dispatch(kPluginPath + "/-textreport"));
    Put(DownloadRequestTarget::Indexed(4, 0, "http://site/b"), Status::New);
    EXPECT_EQ(BodyOf(Dispatch(kPluginPath + "/-textreport")), first);
    EXPECT_EQ(first.find("<ActionID>4</ActionID>"), std::string::npos);
    EXPECT_NE(BodyOf(Dispatch(kPluginPath + "/-report")).find("<P>Action: 4"), std::string::npos)
        << "the HTML report reads the store each time";
}

TEST(ParseRetryActionID, TheLastIdPairNamesTheAction) {
    const struct {
        const char* query;
        std::uint32_t actionID;  // 0: refused with the message
        const char* message;
    } cases[] = {
        {"?id=12", 12, ""},
        {"?id=5&id=7", 7, ""},
        {"?x=1;id=12;y", 12, ""},
        {"?id=%31%32", 12, ""},
        {"?id=4294967295", 4294967295u, ""},
        {"", 0, "Missing required parameter(s)."},
        {"?", 0, "Missing action id."},
        {"?id=", 0, "Missing action id."},
        {"?id=5&id=", 0, "Missing action id."},
        {"?ID=12", 0, "Missing action id."},
        {"?id=0", 0, "Invalid action id."},
        {"?id=00", 0, "Invalid action id."},
        {"?id=12a", 0, "Invalid action id."},
        {"?id=-1", 0, "Invalid action id."},
        {"?id=4294967296", 0, "Invalid action id."},
    };
    for (const auto& c : cases) {
        const std::string url = kPluginPath + "/-retry" + c.query;
        if (c.actionID != 0) {
            EXPECT_EQ(ParseRetryActionID(url), c.actionID) << url;
            continue;
        }
        try {
            ParseRetryActionID(url);
            ADD_FAILURE() << url << " was accepted";
        } catch (const MirrorDownloadError& error) {
            EXPECT_STREQ(error.what(), c.message) << url;
            EXPECT_EQ(error.Code(), MirrorStatusCode::MissingParameter) << url;
        }
    }
}

TEST_F(MirrorRequestCommandsTest, ARetryTellsWhetherAnythingWasHandedBack) {
    std::string reply = Dispatch(kPluginPath + "/-retry?id=5&id=12", "get");
    EXPECT_EQ(StatusOf(reply), "1");
    EXPECT_EQ(BodyOf(reply), Page("Request retry started."));

    m_retryFindsFailures = false;
    reply = Dispatch(kPluginPath + "/-RETRY?id=13");
    EXPECT_EQ(StatusOf(reply), "1");
    EXPECT_EQ(BodyOf(reply), Page("That download has not failed."));

    reply = Dispatch(kPluginPath + "/-retry?id=0");
    EXPECT_EQ(StatusOf(reply), "14");
    EXPECT_EQ(BodyOf(reply), Page("Invalid action id."));
    EXPECT_EQ(m_retried, (std::vector<std::uint32_t>{12, 13}));
}

// Failures other than a refused command are the plug-in's to answer.
TEST_F(MirrorRequestCommandsTest, OtherFailuresPassToTheCaller) {
    m_stop.Set();
    Put(DownloadRequestTarget::Indexed(3, 0, "http://site/a"), Status::New);
    EXPECT_THROW(Dispatch(kPluginPath + "/-report"), StopRequest);
    EXPECT_THROW(Dispatch(kPluginPath + "/-textreport"), StopRequest);
}
