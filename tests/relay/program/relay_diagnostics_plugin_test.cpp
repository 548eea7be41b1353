#include "relay/program/relay_diagnostics_plugin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../../http/http_test_support.h"
#include "relay/program/diagnostics_files.h"
#include "relay/program/diagnostics_fixture.h"

namespace {

const std::string kGoldenPage = KVR_SOURCE_DIR "/tests/relay/program/diagnostics_page.golden";

// The plug-in, entered under its names, in a running server.
class RelayDiagnosticsPlugInTest : public DiagnosticsFixture {
  protected:
    std::string Request(const std::string& method, const std::string& path) {
        if (!m_server) {
            m_plugIn = std::make_unique<RelayDiagnosticsPlugIn>(Sources());
            RegisterPlugInNames(m_plugIns, *m_plugIn);
            m_server = std::make_unique<RunningServer>(m_serverSettings, m_plugIns);
        }
        return Exchange(m_server->Port(),
                        method + " " + path + " HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n");
    }

    HTTPServerSettings m_serverSettings = TestServerSettings();
    PlugInPathTable m_plugIns;
    std::unique_ptr<RelayDiagnosticsPlugIn> m_plugIn;
    std::unique_ptr<RunningServer> m_server;
};

std::string BodyOf(const std::string& reply) {
    return reply.substr(reply.find("\r\n\r\n") + 4);
}

// A reply as the golden file holds it: the head with LF line ends and its date blanked, an empty
// line, then the page with one tag a line (the page itself has no line breaks).
std::string Readable(const std::string& reply) {
    const std::string head = reply.substr(0, reply.find("\r\n\r\n"));
    std::string readable = std::regex_replace(head, std::regex("\r\n"), "\n");
    readable = std::regex_replace(readable, std::regex("\nDate: [^\n]*"), "\nDate: <date>");
    return readable + "\n\n" + std::regex_replace(BodyOf(reply), std::regex("><"), ">\n<") + "\n";
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST_F(RelayDiagnosticsPlugInTest, IsNamedForItsThreePathsAndRunsThreaded) {
    const RelayDiagnosticsPlugIn plugIn(Sources());
    EXPECT_EQ(plugIn.Names(),
              (std::vector<std::string>{"RelayDiagnostics", "cgi-bin/vtdaruravidu/RelayDiagnostics.exe", "rd"}));
    EXPECT_TRUE(plugIn.IsThreaded());
}

// Every section from a registry of the test's own, and the reply's head. On a difference the reply
// is written beside the build for comparison.
TEST_F(RelayDiagnosticsPlugInTest, AnswersTheGoldenPage) {
    SetNamed("_KVRClient_Relay_NameOverride", "relay-east");
    SetNamed("_KVRRelay_Selection_RelayWeight", "250");
    SetNamed("_KVRRelay_HTTPServer_DynamicThrottlePercentage", "50");
    SetNamed("_KVRRelay_HTTPServer_MaxConnections", "1000");
    SetNamed("_KVRGather_Comm_ParentRelayURL", "http://parent.example:52311");
    SetNamed("_KVRGather_Download_CacheLimitMB", "2048");
    SetNamed("_Daruravidu Server_ClientRegister_BatchCount", "4294967295");
    SetNamed("_KVRRelay_PostResults_ParentRelayURL", "http://parent.example:52311/cgi-bin/vtdaruravidu/PostResults.exe");
    SetPostResultsValue("BufferDirectoryMaxSize", 1000);
    SetPostResultsValue("BufferDirectoryMaxCount", 4);
    PutForwardingFile("0000000000000001", 300);
    PutForwardingFile("0000000000000002", 100);
    AddGatheredSite("http://parent.example:52311/cgi-bin/vtgather.exe/actionsite");
    AddGatheredSite("http://sites.example/cgi-bin/vtgather.exe/<b>custom</b>");

    const std::string reply = Readable(Request("GET", "/rd"));
    const std::string golden = FileText(kGoldenPage);
    if (reply != golden) {
        const std::string actual = KVR_BINARY_DIR "/diagnostics_page.actual";
        std::ofstream(actual, std::ios::binary) << reply;
        FAIL() << "the reply differs from " << kGoldenPage << "; it is in " << actual;
    }
}

TEST_F(RelayDiagnosticsPlugInTest, AnswersTheSamePageAtItsThreePathsForGetAndPost) {
    const std::string page = BodyOf(Request("GET", "/rd"));
    EXPECT_EQ(page.rfind("<HTML><HEAD><TITLE>Relay Diagnostics</TITLE>", 0), 0u) << page;
    for (const char* method : {"GET", "POST"}) {
        for (const char* path : {"/RelayDiagnostics", "/cgi-bin/vtdaruravidu/RelayDiagnostics.exe?x=1", "/RD"}) {
            const std::string reply = Request(method, path);
            EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 200 OK") << method << " " << path;
            EXPECT_EQ(BodyOf(reply), page) << method << " " << path;
        }
    }
}

// Without a storage folder the results buffer has no place: the page is refused as a whole, with
// the reason, and the reason is logged.
TEST_F(RelayDiagnosticsPlugInTest, AFailureIsAnsweredAsPlainTextAndLogged) {
    Sources();
    RemoveStoragePath();
    CapturedLog log;
    const std::string reply = Request("GET", "/rd");

    EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 200 OK");
    EXPECT_NE(reply.find("\r\nContent-Type: text/plain\r\n"), std::string::npos) << reply;
    const std::string body = BodyOf(reply);
    EXPECT_EQ(body.rfind("\r\nError: ", 0), 0u) << body;
    EXPECT_NE(body.find("StoragePath"), std::string::npos) << body;
    EXPECT_EQ(body.substr(body.size() - 2), "\r\n");
    EXPECT_EQ(log.LinesStartingWith("debug: (127.0.0.1) RelayDiagnostics: (/rd) \r\nError: "),
              std::vector<std::string>{"debug: (127.0.0.1) RelayDiagnostics: (/rd) " + body});
}

TEST_F(RelayDiagnosticsPlugInTest, StartWritesTheScriptAndStylesheetOnlyWhereNoneIs) {
    TemporaryFolder root;
    std::filesystem::create_directories(root / "Diagnostics");
    WriteWholeFile(root / "Diagnostics/RelayDiagnostics.css", "/* the administrator's own */");
    ServerSettings().serverRootPath = FileLocation(root.Path().c_str());
    RelayDiagnosticsPlugIn plugIn(Sources());

    plugIn.Start();
    const std::string script = FileText(root / "Diagnostics/RelayDiagnostics.js");
    EXPECT_EQ(script, kDiagnosticsFiles[0].content);
    for (const char* function :
         {"toggle_visibility", "disableSingleComputerFields", "enableSingleComputerAcionIDField",
          "enableSingleComputerResendReportFields", "singleComputerClientRegisterRequest", "disableAllComputerFields",
          "enableAllComputerDownloadAvailableFields", "allComputerClientRegisterRequest", "addRequestDownloadID",
          "disableCRCandRequest", "enableCRCandRequest", "requestGatherSiteRequest"})
        EXPECT_NE(script.find(std::string("function ") + function + "("), std::string::npos) << function;
    EXPECT_EQ(FileText(root / "Diagnostics/RelayDiagnostics.css"), "/* the administrator's own */");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root / "Diagnostics"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"RelayDiagnostics.css", "RelayDiagnostics.js"}));
}

// A root the files cannot go under is logged, and the plug-in serves the page all the same.
TEST_F(RelayDiagnosticsPlugInTest, AFailedWriteIsLoggedAndNotFatal) {
    TemporaryFolder folder;
    WriteWholeFile(folder / "root", "a file where the root should be");
    ServerSettings().serverRootPath = FileLocation((folder / "root").c_str());
    CapturedLog log;
    RelayDiagnosticsPlugIn plugIn(Sources());

    EXPECT_NO_THROW(plugIn.Start());
    const std::vector<std::string> lines = log.LinesStartingWith("critical: RelayDiagnostics: unable to write ");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("RelayDiagnostics.js under " + folder / "root"), std::string::npos) << lines[0];
    EXPECT_EQ(StatusLineOf(Request("GET", "/rd")), "HTTP/1.1 200 OK");
}

TEST(DiagnosticsSwitchTest, OnlyZeroTurnsThePageOff) {
    const std::vector<std::pair<const char*, bool>> cases = {{nullptr, true}, {"0", false}, {"1", true}, {"2", true}};
    for (const auto& [stored, enabled] : cases) {
        TemporaryRegistry registry;
        if (stored != nullptr) WriteNamedSettings(registry, {{"_KVRRelay_Diagnostics_Enable", stored}});
        EXPECT_EQ(IsDiagnosticsPageEnabled(), enabled) << (stored ? stored : "unset");
    }
}
