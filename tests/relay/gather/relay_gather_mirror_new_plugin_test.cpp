#include "relay/gather/relay_gather_mirror_new_plugin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../../http/http_test_support.h"
#include "relay/gather/gather_state_fixture.h"
#include "support/program_runner.h"

namespace {

const std::string kPluginPath = "/cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe";

const std::string kGatherAllOpening =
    "<HTML><HEAD><TITLE>Gather Status Report</TITLE></HEAD><BODY><P><BIG><DIV ALIGN=CENTER>Gather Status "
    "Report</DIV></BIG><STYLE TYPE=\"text/css\"> .indented { padding-left: 20pt; padding-right: 20pt; } "
    "</STYLE><P><b>Triggering a gather of the latest version of all currently present sites...</b></P>"
    "<DIV CLASS=\"indented\">";
const std::string kGatherAllEnd = "</DIV></P></BODY></HTML>";

std::string BodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string MirrorStatusOf(const std::string& reply) {
    const std::string name = "\r\nx-kvr-gather-mirror-status: ";
    const std::size_t at = reply.find(name);
    if (at == std::string::npos || at > reply.find("\r\n\r\n")) return "";
    const std::size_t start = at + name.size();
    return reply.substr(start, reply.find("\r\n", start) - start);
}

std::string ConfigurationMessage(const std::string& message) {
    return "<HTML><HEAD>\r\n<TITLE>Configuration message</TITLE>\r\n</HEAD><BODY>\r\n<P>\r\n" + message +
           "\r\n</BODY></HTML>\r\n";
}

// The plug-in in a running server over a gather state of the test's own. Nothing gathers: what the
// commands queue stays in the queue.
class GatherMirrorNewPlugInTest : public GatherStateTest {
  protected:
    GatherMirrorNewPlugInTest() {
        m_plugIn = std::make_unique<RelayGatherMirrorNewPlugIn>(Map(), State());
        RegisterPlugInNames(m_plugIns, *m_plugIn);
        m_server = std::make_unique<RunningServer>(m_serverSettings, m_plugIns);
    }

    std::string Get(const std::string& target) {
        return Exchange(m_server->Port(), "GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
    }
    std::string PlugInURL(const std::string& command) {
        return "http://127.0.0.1:" + std::to_string(m_server->Port()) + kPluginPath + command;
    }
    // Stops the server, drops the plug-in and builds the map and state again from their files.
    void StopAndReload() {
        m_server.reset();
        m_plugIn.reset();
        Restart();
    }

    std::unique_ptr<RelayGatherMirrorNewPlugIn> m_plugIn;
    PlugInPathTable m_plugIns;
    HTTPServerSettings m_serverSettings = TestServerSettings();
    std::unique_ptr<RunningServer> m_server;
};

}  // namespace

TEST_F(GatherMirrorNewPlugInTest, IsNamedForItsPathAndRunsThreaded) {
    EXPECT_EQ(m_plugIn->Names(),
              (std::vector<std::string>{"KVRGatherMirrorNew", "cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe"}));
    EXPECT_TRUE(m_plugIn->IsThreaded());
}

TEST_F(GatherMirrorNewPlugInTest, AnswersEachCommandWithItsMirrorStatus) {
    const struct {
        std::string command;
        std::string mirrorStatus;
        std::string message;
    } cases[] = {
        {"/-version", "1,0", "KVRGatherMirrorNew version 8.0.627.0"},
        {"/-VERSION", "1,0", "KVRGatherMirrorNew version 8.0.627.0"},
        {"/-nosuch", "6,0", "invalid command"},
        {"/-gatherlatest", "7,0", "Must provide a &quot;url&quot; parameter."},
        {"/-gatherlatest?version=3", "7,0", "Must provide a &quot;url&quot; parameter."},
        {"/-gatherversion?version=3", "7,0", "Must provide a &quot;url&quot; parameter."},
        {"/-gatherversion?url=" + kActionSite, "7,0", "Must provide a &quot;version&quot; parameter."},
        {"/-GatherLatest?url=" + kUpdates, "1,0",
         "Asked parent for latest version of site &quot;" + kUpdates + "&quot;."},
        {"/-gatherversion?url=" + kUpdates + "&version=12&useCRC=0", "1,0",
         "Requested version 12 of site &quot;" + kUpdates + "&quot;."},
        {"/-gatherversion?URL=x&url=" + kCustomSite + "&version=1&version=12&usecrc=1", "1,0",
         "Requested version 12 of site &quot;" + kCustomSite + "&quot;."},
    };
    for (const auto& c : cases) {
        const std::string reply = Get(kPluginPath + c.command);
        EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 200 OK") << c.command;
        EXPECT_EQ(MirrorStatusOf(reply), c.mirrorStatus) << c.command << "\n" << reply;
        EXPECT_EQ(BodyOf(reply), ConfigurationMessage(c.message)) << c.command;
    }
    EXPECT_EQ(TakeQueue(), (std::vector<std::string>{kUpdates + " (no expected version)",
                                                     kUpdates + " (Integral: 12)", kCustomSite + " (CRC: 12)"}));
    EXPECT_EQ(Logged("debug", ") Must provide a \"").size(), 4u);
}

TEST_F(GatherMirrorNewPlugInTest, ServesTheStatusReportForTheBarePathAndItsNames) {
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    for (const std::string command : {"", "/", "/-report", "/-Report", "/KVRGatherMirrorNew.exe"}) {
        const std::string reply = Get(kPluginPath + command);
        EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 200 OK") << command;
        EXPECT_NE(reply.find("<TITLE>Gather Status Report</TITLE>"), std::string::npos) << command;
        EXPECT_NE(reply.find("\r\nUrl: " + kUpdates + "\r\n"), std::string::npos) << command;
    }
}

// Nothing of a failed request is queued, and the client is not told why.
TEST_F(GatherMirrorNewPlugInTest, AnyOtherFailureIsAnsweredUnhandledException) {
    const struct {
        std::string command;
        std::string logged;
    } cases[] = {
        {"/-gatherversion?url=" + kUpdates + "&version=12x", "NotANumeral"},
        {"/-gatherversion?url=" + kUpdates + "&version=4294967296", "NumeralTooLarge"},
        {"/-gatherlatest?url=ftp://parent/site", "UnableToGenerateSiteID"},
    };
    for (const auto& c : cases) {
        const std::string reply = Get(kPluginPath + c.command);
        EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 500 Internal Error") << c.command;
        EXPECT_EQ(BodyOf(reply), "Unhandled Exception") << c.command;
        EXPECT_EQ(Logged("debug", "KVRGatherMirrorNew: ").back(),
                  "(127.0.0.1) KVRGatherMirrorNew: (" + kPluginPath + c.command + ") class " + c.logged);
    }
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{});
}

TEST_F(GatherMirrorNewPlugInTest, ARefusedURLLeavesNoSiteIDBehind) {
    const std::string refused = "http:///cgi-bin/vtgather.exe/NoHost";
    EXPECT_EQ(StatusLineOf(Get(kPluginPath + "/-gatherlatest?url=" + refused)), "HTTP/1.1 500 Internal Error");
    Get(kPluginPath + "/-gatherlatest?url=" + kUpdates);

    StopAndReload();
    EXPECT_EQ(Map().CopyMap(), (GatherIDMap{{kUpdates, 1}}));
    EXPECT_EQ(Map().GetNextID(), 2u);
    EXPECT_EQ(ReadWholeFile(StateFile()).find("NoHost"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(Map().MapFile().ToString()).find("NoHost"), std::string::npos);
}

// A site mapped before the URL rules existed stays on the page, refused on its own line, and the
// sites after it are still queued: the page's head has gone out already, so it cannot turn into an error.
TEST_F(GatherMirrorNewPlugInTest, GatherAllGoesOnPastASiteTheGatherStateRefuses) {
    const std::string refused = "ftp://legacy.example/site";
    const std::uint32_t refusedID = Map().GetOrCreateGatherID(refused);
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());  // an http site, after "ftp" in the map's order
    TakeQueue();
    State().FailedSiteGather(State().GetSiteIDForURL(kUpdates), SiteVersion(), "gone");

    const ProgramRun curl = RunProgram("curl", {"-sS", "-i", "--max-time", "30", PlugInURL("/-gatherall")});
    ASSERT_EQ(curl.exitStatus, 0) << curl.err;
    EXPECT_EQ(StatusLineOf(curl.out), "HTTP/1.1 200 OK");
    const std::string body = BodyOf(curl.out);
    EXPECT_NE(body.find("Starting gather of site \"" + refused + "\" (site id: " + std::to_string(refusedID) +
                        ")</pre></P><P><pre>\tNot gathered: not a site URL this relay gathers.</pre></P>"),
              std::string::npos)
        << body;
    EXPECT_NE(body.find(kUpdates + "\" (site id: "), body.find(refused)) << body;
    EXPECT_TRUE(body.ends_with(kGatherAllEnd)) << body;
    EXPECT_EQ(TakeQueue(), (std::vector<std::string>{kUpdates + " (no expected version)"}));
}

TEST_F(GatherMirrorNewPlugInTest, GatherAllWithNoSitesIsAnEmptyPageCurlReads) {
    const ProgramRun curl = RunProgram("curl", {"-sS", "-i", "--max-time", "30", PlugInURL("/-gatherall")});
    ASSERT_EQ(curl.exitStatus, 0) << curl.err;
    EXPECT_EQ(StatusLineOf(curl.out), "HTTP/1.1 200 OK");
    EXPECT_NE(curl.out.find("\r\nContent-Type: text/html\r\n"), std::string::npos) << curl.out;
    EXPECT_EQ(BodyOf(curl.out), kGatherAllOpening + kGatherAllEnd);
}

TEST_F(GatherMirrorNewPlugInTest, GatherAllQueuesTheLatestVersionOfEverySite) {
    const std::string planted = kGatherURL + "<b>Bold</b>";
    for (const std::string& url : {kUpdates, planted}) State().QueueSiteGatherRequest(url, SiteVersion());
    TakeQueue();
    State().FailedSiteGather(State().GetSiteIDForURL(kUpdates), SiteVersion(), "gone");
    State().FailedSiteGather(State().GetSiteIDForURL(planted), SiteVersion(), "gone");

    const ProgramRun curl = RunProgram("curl", {"-sS", "-i", "--max-time", "30", PlugInURL("/-GatherAll")});
    ASSERT_EQ(curl.exitStatus, 0) << curl.err;
    EXPECT_EQ(StatusLineOf(curl.out), "HTTP/1.1 200 OK");
    // The map's order: "<" sorts before "U".
    EXPECT_EQ(BodyOf(curl.out),
              kGatherAllOpening + "<P><pre>Starting gather of site \"" + kGatherURL +
                  "&lt;b&gt;Bold&lt;/b&gt;\" (site id: 2)</pre></P><P><pre>\tAsked parent for latest version.</pre></P>"
                  "<P><pre>Starting gather of site \"" + kUpdates +
                  "\" (site id: 1)</pre></P><P><pre>\tAsked parent for latest version.</pre></P>" + kGatherAllEnd);
    EXPECT_EQ(TakeQueue(),
              (std::vector<std::string>{planted + " (no expected version)", kUpdates + " (no expected version)"}));
}
