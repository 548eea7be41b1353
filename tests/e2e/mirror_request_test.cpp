// The mirror-request plug-in of a running relay, asked with curl as an operator would: the three
// download reports over a state database seeded with the sqlite3 shell, and a retry that hands an
// action's failed downloads back to the download manager.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e/relay_process.h"
#include "support/download_report_reader.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

using namespace std::chrono_literals;

namespace {

const std::string kSha1 = "3f786850e387550fdab836ed7e6dc881de23001b";  // of "a\n"

std::string Sqlite3(const std::string& database, const std::string& statements) {
    const ProgramRun run = RunProgram("sqlite3", {database, statements});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return run.out;
}

struct CurlReply {
    std::string head;
    std::string body;
};

class MirrorRequestRelay : public ::testing::Test {
  protected:
    // A relay whose database holds action 12, failed at its retry limit, and action 13, ready in the
    // cache.
    MirrorRequestRelay() {
        m_relay.Start();
        EXPECT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
        EXPECT_EQ(m_relay.Stop(), 0);
        Sqlite3(Database(),
                "insert into INDEXED_DOWNLOADS values (12, 0, 'http://site/<script>a</script>', NULL, NULL, "
                "NULL, "
                "4, 1700000000, 5, 2, 'HTTP 404');"
                "insert into URL_REQUESTS values (13, 3, 1700000000, 0, NULL, NULL);"
                "insert into INDEXED_DOWNLOADS values (13, 0, 'http://site/b', '" +
                    kSha1 +
                    "', 2, NULL, 3, "
                    "1700000000, 0, NULL, NULL);");
        const std::string downloads = m_relay.Folder() + "/wwwroot/vtmirror/downloads";
        std::filesystem::create_directories(downloads + "/sha1");
        std::filesystem::create_directories(downloads + "/ActionURLs");
        WriteWholeFile(downloads + "/sha1/" + kSha1, "a\n");
        WriteWholeFile(downloads + "/ActionURLs/dl_13",
                       "+ 13\nhttp://site/b\nsize: 2\nsha1: " + kSha1 + "\n");
        m_relay.Start();
        EXPECT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }

    std::string Database() const {
        return m_relay.Folder() + "/storage/Mirror Server/config/DownloadState.db";
    }

    CurlReply Curl(const std::string& command) {
        const std::string url = "http://127.0.0.1:" + std::to_string(m_relay.Port()) +
                                "/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe/" + command;
        const ProgramRun run = RunProgram(
            "curl", {"-sS", "--max-time", "60", "-D", m_files / "head", "-o", m_files / "body", url});
        EXPECT_EQ(run.exitStatus, 0) << url << run.err;
        return {ReadWholeFile(m_files / "head"), ReadWholeFile(m_files / "body")};
    }

    RelayProcess m_relay;
    TemporaryFolder m_files;
};

}  // namespace

TEST_F(MirrorRequestRelay, CurlGetsTheThreeReports) {
    const CurlReply html = Curl("");
    EXPECT_EQ(html.head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << html.head;
    EXPECT_NE(html.head.find("\r\nContent-Type: text/html\r\n"), std::string::npos) << html.head;
    const ParsedReport page = ParseHTMLReport(html.body);
    ASSERT_TRUE(page.parsed) << page.error;
    EXPECT_EQ(page.With("starttag script"), std::vector<std::string>{});
    EXPECT_EQ(page.With("href "),
              std::vector<std::string>{"/cgi-bin/vtdaruravidu/KVRMirrorRequest.exe/-retry?id=12"});
    EXPECT_NE(
        html.body.find("<P><b>Ready:</b><DIV CLASS=\"indented\">\r\n<P>Action: 13<br>url 1 2 bytes of 2: "
                       "http://site/b</DIV></P>"),
        std::string::npos)
        << html.body;

    const CurlReply plain = Curl("-textreport");
    EXPECT_NE(plain.head.find("\r\nContent-Type: text/plain\r\n"), std::string::npos) << plain.head;
    const ParsedReport document = ParseXMLReport(plain.body);
    ASSERT_TRUE(document.parsed) << document.error << plain.body;
    EXPECT_EQ(document.With("DownloadReport/ActionDownload/State="),
              (std::vector<std::string>{"Failed", "Ready"}));
    EXPECT_EQ(document.With("DownloadReport/ActionDownload/Downloads/DownloadRequestTarget/URL="),
              (std::vector<std::string>{"http://site/<script>a</script>", "http://site/b"}));

    // The same document through zlib.
    const CurlReply compressed = Curl("-compressedtextreport");
    bool inflated = false;
    EXPECT_EQ(InflateReport(compressed.body, inflated), plain.body);
    EXPECT_TRUE(inflated);
}

TEST_F(MirrorRequestRelay, ARetryHandsTheFailedDownloadsBackToTheManager) {
    const CurlReply retry = Curl("-retry?id=12");
    EXPECT_NE(retry.head.find("\r\nx-kvr-download-mirror-status: 1\r\n"), std::string::npos) << retry.head;
    EXPECT_NE(retry.body.find("Request retry started."), std::string::npos) << retry.body;

    // Queued again with its retries counted afresh: the row changes, whatever the download then does.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::string row;
    while (std::chrono::steady_clock::now() < deadline) {
        row = Sqlite3(Database(),
                      "select RetryCount < 5, LastUpdate > 1700000000 from INDEXED_DOWNLOADS "
                      "where ActionID = 12;");
        if (row == "1|1\n") break;
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(row, "1|1\n") << m_relay.Log();

    const CurlReply ready = Curl("-retry?id=13");
    EXPECT_NE(ready.body.find("That download has not failed."), std::string::npos) << ready.body;
    EXPECT_EQ(Sqlite3(Database(), "select Status, LastUpdate from INDEXED_DOWNLOADS where ActionID = 13;"),
              "3|1700000000\n");
}
