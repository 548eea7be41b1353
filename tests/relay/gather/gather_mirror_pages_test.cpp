#include "relay/gather/gather_mirror_pages.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

#include "foundation/buffer_writer.h"
#include "relay/gather/gather_state_fixture.h"
#include "support/program_runner.h"
#include "support/recording_client.h"

namespace {

std::string BodyOf(const std::string& reply) {
    return reply.substr(reply.find("\r\n\r\n") + 4);
}

std::string HeadOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n\r\n") + 4);
}

// Every date of a report as "D", so that a page can be compared whole.
std::string WithoutDates(const std::string& text) {
    return std::regex_replace(text, std::regex("Date: [^\t\r]*"), "Date: D");
}

const std::string kReportHTMLHead =
    "<HTML><HEAD>\r\n<TITLE>Gather Status Report</TITLE>\r\n</HEAD><BODY>\r\n"
    "<P><BIG><DIV ALIGN=CENTER>Gather Status Report</DIV></BIG>\r\n<STYLE TYPE=\"text/css\">\r\n<!--\r\n"
    ".indented\r\n   {\r\n   padding-left: 20pt;\r\n   padding-right: 20pt;\r\n   }\r\n-->\r\n</STYLE>\r\n";

std::string Section(const std::string& title, const std::string& blocks) {
    return "<P><b>" + title + ":</b>\r\n<DIV CLASS=\"indented\">\r\n" + blocks + "</DIV></P>\r\n";
}

const std::string kReportEnd = "</DIV></P>\r\n</BODY></HTML>\r\n";

class GatherStatusReportTest : public GatherStateTest {
  protected:
    std::string Report() {
        RecordingClientWriter writer;
        WriteGatherStatusReport(writer, State(), Map());
        return writer.reply;
    }
    std::uint32_t SiteID(const std::string& url) { return State().GetSiteIDForURL(url); }
};

}  // namespace

TEST(GatherConfigurationMessage, CarriesTheStatusesInItsHeadAndTheMessageInItsBody) {
    const struct {
        const char* what;
        std::function<bool(ClientWriter&)> send;
        std::string statusLine;
        std::string mirrorStatusLine;  // empty: none
        std::string message;
    } cases[] = {
        {"version", SendGatherVersionReply, "HTTP/1.1 200 OK", "x-kvr-gather-mirror-status: 1,0\r\n",
         "KVRGatherMirrorNew version 8.0.627.0"},
        {"invalid command", SendGatherInvalidCommandReply, "HTTP/1.1 200 OK",
         "x-kvr-gather-mirror-status: 6,0\r\n", "invalid command"},
        {"status and detail",
         [](ClientWriter& writer) { return SendGatherConfigurationMessage(writer, "odd", 404, 22, 5); },
         "HTTP/1.1 404 Not Found", "x-kvr-gather-mirror-status: 22,5\r\n", "odd"},
        {"no mirror status",
         [](ClientWriter& writer) { return SendGatherConfigurationMessage(writer, "plain", 200, 0); },
         "HTTP/1.1 200 OK", "", "plain"},
        {"planted markup",
         [](ClientWriter& writer) {
             return SendGatherConfigurationMessage(writer, "site \"<script>x('1')</script>\" & more", 200, 7);
         },
         "HTTP/1.1 200 OK", "x-kvr-gather-mirror-status: 7,0\r\n",
         "site &quot;&lt;script&gt;x(&#39;1&#39;)&lt;/script&gt;&quot; &amp; more"},
    };
    for (const auto& c : cases) {
        RecordingClientWriter writer;
        EXPECT_TRUE(c.send(writer)) << c.what;
        const std::string head = HeadOf(writer.reply);
        EXPECT_EQ(head.substr(0, head.find("\r\n")), c.statusLine) << c.what;
        EXPECT_NE(head.find("\r\nSTATUS: " + c.statusLine.substr(9, 3) + "\r\n"), std::string::npos) << head;
        EXPECT_NE(head.find("\r\nContent-Type: text/html\r\n"), std::string::npos) << head;
        if (c.mirrorStatusLine.empty())
            EXPECT_EQ(head.find("x-kvr-gather-mirror-status"), std::string::npos) << head;
        else
            EXPECT_NE(head.find("\r\n" + c.mirrorStatusLine), std::string::npos) << head;
        EXPECT_EQ(BodyOf(writer.reply), "<HTML><HEAD>\r\n<TITLE>Configuration message</TITLE>\r\n</HEAD><BODY>\r\n"
                                        "<P>\r\n" + c.message + "\r\n</BODY></HTML>\r\n")
            << c.what;
    }
}

TEST(GatherConfigurationMessage, ABodyBeyondItsBufferIsNotSent) {
    RecordingClientWriter writer;
    EXPECT_THROW(SendGatherConfigurationMessage(writer, std::string(kConfigurationMessageBufferSize, 'x'), 200, 1),
                 BufferWriterOverflow);
    EXPECT_EQ(writer.reply, "");
}

TEST_F(GatherStatusReportTest, AnEmptyMapGivesTheHeadAndThreeEmptySections) {
    const std::string report = Report();
    EXPECT_EQ(report.rfind("HTTP/1.1 200 OK\r\nDate: ", 0), 0u) << report;
    const std::string head = HeadOf(report);
    EXPECT_EQ(head.substr(head.find("\r\n", 17)),
              "\r\nSTATUS: 200\r\nMIME-Version: 1.0\r\nContent-Type: text/html\r\nCache-Control: no-cache\r\n"
              "Cache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n\r\n");
    EXPECT_EQ(BodyOf(report), kReportHTMLHead + Section("Failed", "") + Section("Ready", "") +
                                  Section("In Process", "") + kReportEnd);
}

TEST_F(GatherStatusReportTest, ListsEachSiteUnderItsStateInURLOrder) {
    const std::string ready = kGatherURL + "Alpha";
    const std::string failed = kGatherURL + "Beta";
    const std::string inProcess = kGatherURL + "Gamma";
    for (const std::string& url : {inProcess, failed, ready}) State().QueueSiteGatherRequest(url, SiteVersion());
    State().SuccessfulSiteGather(SiteID(ready), "", 7, ManyVersionList{}, SiteVersion(), "/w/mirror_7");
    State().FailedSiteGather(SiteID(failed), SiteVersion(), "http failure code 500");
    // A map entry without a record has no status to show.
    Map().GetOrCreateGatherID(kGatherURL + "Orphan");

    const std::string blockStart = "<P><pre>Id: ";
    EXPECT_EQ(WithoutDates(BodyOf(Report())),
              kReportHTMLHead +
                  Section("Failed", blockStart + std::to_string(SiteID(failed)) + "\tDate: D\r\nUrl: " + failed +
                                        "\r\nError Message: " + std::to_string(SiteID(failed)) +
                                        ": http failure code 500\r\n</pre><br>") +
                  Section("Ready", blockStart + std::to_string(SiteID(ready)) + "\tDate: D\tVersion: 7\r\nUrl: " +
                                       ready + "\r\n</pre><br>") +
                  Section("In Process", blockStart + std::to_string(SiteID(inProcess)) + "\tDate: D\r\nUrl: " +
                                            inProcess + "\r\n</pre><br>") +
                  kReportEnd);
}

// Anyone can make the relay gather a URL of their choosing; the report shows it as text.
TEST_F(GatherStatusReportTest, APlantedURLShowsAsText) {
    const std::string planted = kGatherURL + "<script>alert('x')</script>";
    State().QueueSiteGatherRequest(planted, SiteVersion());

    const std::string body = BodyOf(Report());
    EXPECT_EQ(body.find("<script>"), std::string::npos) << body;
    EXPECT_NE(body.find("Url: " + kGatherURL + "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;\r\n"),
              std::string::npos)
        << body;

    const std::string page = m_folder / "report.html";
    WriteWholeFile(page, body);
    const ProgramRun scripts = RunProgram("xmllint", {"--html", "--xpath", "count(//script)", page});
    EXPECT_EQ(scripts.out, "0\n") << scripts.err;
    const ProgramRun text = RunProgram("xmllint", {"--html", "--xpath", "string(//body)", page});
    EXPECT_NE(text.out.find(planted), std::string::npos) << text.out << text.err;
}
