#include "relay/download/html_download_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/clocks.h"
#include "foundation/interruptor.h"
#include "foundation/time_text.h"
#include "relay/download/download_report_fixture.h"
#include "relay/download/xml_download_report.h"
#include "support/download_report_reader.h"
#include "support/recording_client.h"

namespace {

using Action = DownloadMirrorActionStatus;

constexpr const char* kPluginPath = "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe";

const std::string kPageHead =
    "<HTML><HEAD>\r\n<TITLE>Download Status Report</TITLE>\r\n</HEAD><BODY>\r\n"
    "<P><BIG><DIV ALIGN=CENTER>Download Status Report</DIV></BIG>\r\n<STYLE TYPE=\"text/css\">\r\n<!--\r\n"
    ".indented\r\n   {\r\n   padding-left: 20pt;\r\n   padding-right: 20pt;\r\n   }\r\n-->\r\n</STYLE>\r\n";

std::string Section(const std::string& heading, const std::string& blocks = "") {
    return "<P><b>" + heading + ":</b><DIV CLASS=\"indented\">\r\n" + blocks + "</DIV></P>\r\n";
}

DownloadReportEntry Entry(const std::string& url, std::optional<std::uint64_t> downloaded = std::nullopt,
                          std::optional<std::uint64_t> total = std::nullopt) {
    return DownloadReportEntry{
        .target = DownloadRequestTarget::Indexed(1, 0, url),
        .status = {},
        .available = false,
        .bytesDownloaded = downloaded,
        .totalBytes = total,
        .minutesToNextRetry = std::nullopt,
        .retryLimit = 5,
    };
}

ActionDownload ActionOf(std::uint32_t id, Action state, std::vector<DownloadReportEntry> downloads = {}) {
    ActionDownload action;
    action.actionID = id;
    action.state = state;
    action.downloads = std::move(downloads);
    return action;
}

class HTMLDownloadReportTest : public DownloadReportFixture {
  protected:
    // The reply to a request for the path, split at the end of its head.
    std::string Body(const std::string& requestURL) {
        RecordingClientWriter client;
        SendHTMLDownloadReport(client, requestURL, m_settings, m_stop);
        const std::size_t headEnd = client.reply.find("\r\n\r\n");
        EXPECT_NE(headEnd, std::string::npos);
        m_head = client.reply.substr(0, headEnd + 4);
        return client.reply.substr(headEnd + 4);
    }

    std::string m_head;
    Event m_stop;
};

}  // namespace

TEST(HTMLReportLinkBase, KeepsThePathUpToThePlugInAsItCame) {
    const struct {
        const char* path;
        const char* base;
    } cases[] = {
        {"/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe", "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe"},
        {"/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe/", "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe"},
        {"/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe/-REPORT", "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe"},
        {"/CGI-BIN/vtdaruravidu/kvrmirrorrequest.EXE", "/CGI-BIN/vtdaruravidu/kvrmirrorrequest.EXE"},
        {"/KVRMirrorRequest", "/KVRMirrorRequest"},
        {"/kvrmirrorrequest/-report", "/kvrmirrorrequest"},
        // Not decoded: an escape stays an escape in the link.
        {"/cgi-bin/vtdaruravidu/KVRMirrorRequest%2Eexe/%22%3E/",
         "/cgi-bin/vtdaruravidu/KVRMirrorRequest%2Eexe/%22%3E"},
        // No empty component: the link never begins with "//", which would name another host.
        {"//evil.example/KVRMirrorRequest.exe", "/evil.example/KVRMirrorRequest.exe"},
        {"/-report", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HTMLReportLinkBase(ConstData(std::string_view(c.path))), c.base) << c.path;
}

TEST(WriteHTMLActionDownload, OneBlockPerAction) {
    ActionDownload failed = ActionOf(16, Action::Failed, {Entry("http://site/e.zip")});
    failed.error = "Error downloading {x}: HTTP 404\r\n";
    ActionDownload failedWithoutText = ActionOf(18, Action::Failed);
    ActionDownload active = ActionOf(14, Action::InProgress, {Entry("http://site/c.zip", 300, 1000)});
    active.isActive = true;
    active.date = 1'700'000'000'000'000;
    active.error = "not shown while in progress";
    const ActionDownload waiting = ActionOf(15, Action::InProgress);
    const std::string localDate(FormatTimeText(active.date, GetLocalZoneOffset()).View());

    const struct {
        const char* name;
        ActionDownload action;
        const char* linkBase;
        std::string block;
    } cases[] = {
        {"failed", failed, kPluginPath,
         "<P>Action: 16 <A HREF=\"/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe/-retry?id=16\">Retry Mirror "
         "Request</A><br>url 1: http://site/e.zip<br>Error Status: Error downloading {x}: HTTP 404\r\n"},
        {"failed, relative base", failedWithoutText, "base",
         "<P>Action: 18 <A HREF=\"/base/-retry?id=18\">Retry Mirror Request</A>"},
        {"failed, no base", failedWithoutText, "",
         "<P>Action: 18 <A HREF=\"/-retry?id=18\">Retry Mirror Request</A>"},
        {"active", active, kPluginPath,
         "<P>Action: 14 downloading " + localDate + "<br>url 1 300 bytes of 1000: http://site/c.zip"},
        {"in progress, never changed", waiting, kPluginPath, "<P>Action: 15 waiting for retry"},
        {"ready", ActionOf(12, Action::Ready, {Entry("http://a", 7, 7), Entry("http://b", std::nullopt, 3)}),
         kPluginPath, "<P>Action: 12<br>url 1 7 bytes of 7: http://a<br>url 2: http://b"},
        {"pending", ActionOf(13, Action::Pending, {Entry("http://a", 0)}), kPluginPath,
         "<P>Action: 13<br>url 1: http://a"},
    };
    for (const auto& c : cases) EXPECT_EQ(WriteHTMLActionDownload(c.action, c.linkBase), c.block) << c.name;
}

TEST_F(HTMLDownloadReportTest, AnEmptyStoreGivesFourEmptySections) {
    EXPECT_EQ(Body(kPluginPath), kPageHead + Section("Failed") + Section("Ready") + Section("In process") +
                                     Section("Pending") + "</BODY></HTML>");
    EXPECT_EQ(m_head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(m_head.find("\r\nSTATUS: 200\r\nMIME-Version: 1.0\r\nContent-Type: text/html\r\n"),
              std::string::npos);
}

TEST_F(HTMLDownloadReportTest, EachActionStandsInTheSectionOfItsState) {
    SeedEachState();
    const std::string body = Body(std::string(kPluginPath) + "/-report?x=1");
    const std::size_t failed = body.find("<b>Failed:</b>"), ready = body.find("<b>Ready:</b>"),
                      inProcess = body.find("<b>In process:</b>"), pending = body.find("<b>Pending:</b>");
    const auto sectionOf = [&](std::uint32_t action) {
        const std::size_t at = body.find("<P>Action: " + std::to_string(action));
        if (at == std::string::npos) return std::string("none");
        return at > pending     ? std::string("Pending")
               : at > inProcess ? "In process"
               : at > ready     ? "Ready"
                                : "Failed";
    };
    ASSERT_LT(failed, ready);
    EXPECT_EQ(sectionOf(16), "Failed");
    EXPECT_EQ(sectionOf(12), "Ready");
    EXPECT_EQ(sectionOf(14), "In process");
    EXPECT_EQ(sectionOf(13), "Pending");
    EXPECT_EQ(sectionOf(17), "Pending");
    EXPECT_LT(body.find("<P>Action: 13"), body.find("<P>Action: 17"));

    const ParsedReport page = ParseHTMLReport(body);
    ASSERT_TRUE(page.parsed) << page.error;
    EXPECT_EQ(page.With("href "), std::vector<std::string>{std::string(kPluginPath) + "/-retry?id=16"});
}

// A client plants what it likes through DownloadRequest: a URL with markup and a control byte, and
// the request path may carry its own. None of it becomes markup, and the XML report still parses.
TEST_F(HTMLDownloadReportTest, PlantedMarkupAndControlBytesStayText) {
    const std::string scriptURL = "http://site/<script>alert(1)</script>\"'";
    Put(DownloadRequestTarget::Indexed(16, 0, scriptURL), Status::Failed, GetCurrentUTCTime(),
        DownloadError{DownloadErrorKind::Generic, "bad <script>x</script> \x01 \xFF"});
    Put(DownloadRequestTarget::Indexed(16, 1, "url=\x01"), Status::Failed);
    const std::string hostilePath = std::string(kPluginPath) + "/%22%3E%3Cscript%3Ealert(1)%3C%2Fscript%3E/";

    const ParsedReport page = ParseHTMLReport(Body(hostilePath));
    ASSERT_TRUE(page.parsed) << page.error;
    EXPECT_EQ(page.With("starttag script"), std::vector<std::string>{});
    EXPECT_EQ(page.With("href "),
              std::vector<std::string>{std::string(kPluginPath) +
                                       "/%22%3E%3Cscript%3Ealert(1)%3C%2Fscript%3E/-retry?id=16"});
    const std::vector<std::string> text = page.With("text ");
    EXPECT_NE(std::find(text.begin(), text.end(), "url 1: " + scriptURL), text.end()) << page.Text();
    EXPECT_NE(std::find(text.begin(), text.end(), "url 2: url=\xEF\xBF\xBD"), text.end()) << page.Text();

    const XMLDownloadReport xml = BuildXMLDownloadReport(m_settings, m_stop);
    const ParsedReport document = ParseXMLReport(xml.plain);
    ASSERT_TRUE(document.parsed) << document.error << xml.plain;
    EXPECT_EQ(document.With("DownloadReport/ActionDownload/Downloads/DownloadRequestTarget/URL="),
              (std::vector<std::string>{scriptURL, "url=\xEF\xBF\xBD"}));
    EXPECT_EQ(document.With("DownloadReport/ActionDownload/Downloads/Status/Error/ErrorString="),
              std::vector<std::string>{"bad <script>x</script> \xEF\xBF\xBD \xEF\xBF\xBD"});
}

// A raw quotation mark or angle bracket in the request line cannot leave the HREF either.
TEST_F(HTMLDownloadReportTest, ARawQuotationMarkInThePathStaysInsideTheLink) {
    Put(DownloadRequestTarget::Indexed(16, 0, "http://site/e"), Status::Failed);
    const ParsedReport page = ParseHTMLReport(Body("/KVRMirrorRequest/\"><script>alert(1)</script>/x/"));
    ASSERT_TRUE(page.parsed) << page.error;
    EXPECT_EQ(page.With("starttag script"), std::vector<std::string>{});
    EXPECT_EQ(page.With("href "),
              std::vector<std::string>{"/KVRMirrorRequest/\"><script>alert(1)</script>/x/-retry?id=16"});
}

TEST_F(HTMLDownloadReportTest, AStopBeforeTheBuildWritesNothing) {
    SeedEachState();
    m_stop.Set();
    RecordingClientWriter client;
    EXPECT_THROW(SendHTMLDownloadReport(client, kPluginPath, m_settings, m_stop), StopRequest);
    EXPECT_EQ(client.reply, "");
}
