#include "relay/gather/gather_mirror_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/socket_system.h"
#include "relay/gather/gather_mirror_site_directory.h"
#include "relay/gather/gather_state_fixture.h"
#include "relay/gather/many_version_list.h"
#include "support/recording_client.h"
#include "support/reply_fields.h"
#include "support/scripted_parent.h"

namespace {

const std::string kPluginPath = "/cgi-bin/vtdaruravidu/KVRGatherMirror.exe";
const std::string kBase = "http://relay.test:52311";
const std::string kAgent = "Veltra KVRClient 8.0";
const std::string kRootVersionPath = "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-rootversion";
const std::string kOldManyVersion = "3,0,16";

std::string StatusOf(const std::string& reply) {
    return ReplyHeaderValue(reply, "x-kvr-gather-mirror-status");
}

std::string BodyOf(const std::string& reply) {
    const std::size_t at = reply.find("\r\n\r\n");
    return at == std::string::npos ? "" : reply.substr(at + 4);
}

std::string StatusLineOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

// The relay holds a committed copy of the updates site (version 42, expected 43) and of the action
// site (many-version list "3,0,17"), with their mirror files in place below the web root, and no
// parent.
class GatherMirrorCommandsTest : public GatherStateTest {
  protected:
    GatherMirrorCommandsTest() {
        EXPECT_TRUE(SocketSystem::Instance().Start(0, 0, {}));
        WriteMap({{1, kUpdates}, {2, kActionSite}});
        WriteStateFile(
            "<SiteStatus SiteID=\"1\" CommittedLocation=\"" + UpdatesFolder() +
            "\" CommittedVersion=\"42\" Status=\"GatherComplete\" ExpectedVersion=\"43\"></SiteStatus>\r\n"
            "<SiteStatus SiteID=\"2\" CommittedLocation=\"" +
            ActionFolder() +
            "\" CommittedVersion=\"9\" CommittedManyVersion=\"3,0,17\" "
            "Status=\"GatherComplete\"></SiteStatus>\r\n");
        WriteFile(UpdatesFolder() + "/__sdirlist", "updates list");
        WriteFile(UpdatesFolder() + "/__sdirlistc", "signed updates list");
        WriteFile(ActionFolder() + "/__sdirlist", "single list");
        WriteFile(ActionFolder() + "/__fullsite", "single full site");
        WriteFile(State().GetFullSiteFile(kActionSite).ToString(), "full site");
        WriteFile(State().GetMultiDirListFile(kActionSite, false).ToString(), "many list");
        WriteFile(State().GetMultiDirListFile(kActionSite, true).ToString(), "signed many list");
        WriteFile(State().GetDiffSiteFile(kActionSite, OldDigest()).ToString(), "difference");
    }

    std::string UpdatesFolder() const { return MirrorSites() + "/daruravidumirror_1_42"; }
    std::string ActionFolder() const { return MirrorSites() + "/manymirror_2_9_1"; }
    static std::string Digest() { return ManyVersionDigestText(ManyVersionFromText("3,0,17")); }
    static std::string OldDigest() { return ManyVersionDigestText(ManyVersionFromText(kOldManyVersion)); }
    std::string URLBelowRoot(const std::string& path) const {
        return kBase + path.substr((Storage() + "/wwwrootkvr").size());
    }

    std::string Dispatch(const std::string& url, const ClientSiteHeaders& headers = {},
                         const std::string& method = "GET") {
        RecordingClientWriter client;
        GatherMirrorRequest request{
            .writer = client,
            .headers = headers,
            .url = url,
            .method = method,
            .options = m_options,
            .gatherState = State(),
            .stop = m_stop,
            .serverBaseURL = kBase,
            .log = m_requestLog,
        };
        DispatchGatherMirrorCommand(request);
        return client.reply;
    }
    std::string Gather(const std::string& site, const std::string& parameters = "",
                       const ClientSiteHeaders& headers = {}) {
        return Dispatch(kPluginPath + "?url=" + site + parameters, headers);
    }

    RecordingLogFunctor m_requestLog;
};

}  // namespace

TEST(GatherMirrorCommandWord, OnlyTheThreeOtherCommandsLeaveTheSiteDirectoryRequest) {
    const struct {
        std::string url;
        std::string word;
    } cases[] = {
        {kPluginPath + "?url=x", "-kvrgather"},
        {kPluginPath + "/anything?url=x", "-kvrgather"},
        {kPluginPath + "/-version", "-version"},
        {kPluginPath + "/-VERSION", "-VERSION"},
        {kPluginPath + "/%2DSiteVersion?url=x", "-SiteVersion"},
        {kPluginPath + "/-rootversion?url=x", "-rootversion"},
        {kPluginPath + "/-kvrgather", "-kvrgather"},
    };
    for (const auto& c : cases) EXPECT_EQ(GatherMirrorCommandWord(c.url), c.word) << c.url;
}

TEST(IsProductAgent, NeedsVeltraInAtLeastSixBytes) {
    EXPECT_TRUE(IsProductAgent("Veltra"));
    EXPECT_TRUE(IsProductAgent("Veltra KVRRelay"));
    EXPECT_FALSE(IsProductAgent("veltra relay"));
    EXPECT_FALSE(IsProductAgent("Veltr"));
    EXPECT_FALSE(IsProductAgent("Mozilla/5.0"));
}

TEST(IsSHA1Text, FortyHexDigitsOfEitherCase) {
    EXPECT_TRUE(IsSHA1Text("0123456789abcdef0123456789ABCDEF01234567"));
    EXPECT_FALSE(IsSHA1Text("0123456789abcdef0123456789ABCDEF0123456"));
    EXPECT_FALSE(IsSHA1Text("0123456789abcdef0123456789ABCDEF012345678"));
    EXPECT_FALSE(IsSHA1Text("../../../../etc/passwd/0123456789abcdef01"));
    EXPECT_FALSE(IsSHA1Text(""));
}

TEST_F(GatherMirrorCommandsTest, RefusedCommandsAnswerTheirCodeOnTheStatusPage) {
    const struct {
        std::string url;
        std::string method;
        std::string message;
        std::string code;
    } cases[] = {
        {kPluginPath + "/-VERSION", "GET", "Unknown command.", "6"},
        {kPluginPath, "GET", "Missing required parameter(s).", "7"},
        {kPluginPath + "?url=" + kUpdates, "POST", "Incorrect submit method.", "9"},
        {kPluginPath + "?expectedVersion=4", "GET", "No url parameter in URL query!", "6"},
        {kPluginPath + "/-siteversion", "GET", "Missing required parameter(s).", "7"},
        {kPluginPath + "/-rootversion?url=" + kUpdates, "post", "Incorrect submit method.", "9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url + " " + c.method);
        for (const bool agent : {false, true}) {
            const std::string reply =
                Dispatch(c.url, {.userAgent = agent ? kAgent : "Mozilla/5.0"}, c.method);
            EXPECT_EQ(StatusLineOf(reply), agent ? "HTTP/1.1 404" : "HTTP/1.1 200");
            EXPECT_EQ(StatusOf(reply), c.code);
            EXPECT_EQ(BodyOf(reply),
                      "<HTML><HEAD>\r\n<TITLE> Configuration problem</TITLE>\r\n</HEAD><BODY>\r\n<H1>Error "
                      "providing site directory.</H1>\r\nThe requested Kelm site cannot be serviced by this "
                      "server.<P>\r\n" +
                          c.message + "(" + c.code + ")\r\n</BODY></HTML>\r\n");
            EXPECT_EQ(ReplyHeaderValue(reply, "Content-Length"), std::to_string(BodyOf(reply).size()));
        }
        EXPECT_EQ(m_requestLog.lines.back(), c.message);
    }
    EXPECT_TRUE(TakeQueue().empty());
}

TEST_F(GatherMirrorCommandsTest, TheVersionPageIsNoErrorForAnyAgent) {
    const std::string reply = Dispatch(kPluginPath + "/-version", {.userAgent = kAgent});
    const std::string head = reply.substr(0, reply.find("\r\n\r\n") + 4);
    const std::string date = ReplyHeaderValue(reply, "Date");
    EXPECT_EQ(head,
              "HTTP/1.1 200\r\nDate: " + date +
                  "\r\nMIME-Version: 1.0\r\nExpires: 0\r\nPragma: no-cache\r\nCache-Control: private\r\n"
                  "Cache-Control: no-cache\r\nContent-Type: text/html\r\nContent-Length: 132\r\n"
                  "x-kvr-gather-mirror-status: 1\r\n\r\n");
    EXPECT_EQ(BodyOf(reply),
              "<HTML><HEAD>\r\n<TITLE> Configuration </TITLE>\r\n</HEAD><BODY>\r\n<H1>Version</H1>\r\n"
              "<P>\r\nKVRGather version 8.0.627.0(1)\r\n</BODY></HTML>\r\n");
}

TEST_F(GatherMirrorCommandsTest, ASiteNeverGatheredIsQueuedAndTheClientToldToComeBack) {
    const std::string site = kGatherURL + "NewSite";
    for (int request = 0; request < 2; ++request) {
        const std::string reply = Gather(site, "", {.userAgent = kAgent});
        EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 404");
        EXPECT_EQ(StatusOf(reply), "19");
        EXPECT_NE(reply.find("Site not yet available: initiating first gather of site.(19)"),
                  std::string::npos);
    }
    EXPECT_NE(State().GetSiteIDForURL(site), 0u);
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{site + " (no expected version)"});

    // A URL that names no site gets no id and no gather; the plug-in answers the failure with a 500.
    EXPECT_THROW(Gather("ftp://parent/cgi-bin/vtgather.exe/Other"), UnableToGenerateSiteID);
    EXPECT_EQ(Map().GetGatherID("ftp://parent/cgi-bin/vtgather.exe/Other"), 0u);
    EXPECT_TRUE(TakeQueue().empty());
}

TEST_F(GatherMirrorCommandsTest, AnIntegralSitesDirectoryReplyNamesItsFolderAndSendsItsList) {
    const std::string reply = Gather(kUpdates, "", {.userAgent = kAgent});
    const std::string date = ReplyHeaderValue(reply, "Date");
    EXPECT_EQ(reply,
              "HTTP/1.1 200\r\nDate: " + date +
                  "\r\nMIME-Version: 1.0\r\nExpires: 0\r\nPragma: no-cache\r\nCache-Control: private\r\n"
                  "Cache-Control: no-cache\r\nContent-type: text/plain\r\n"
                  "x-veltra-directory-server-date: " +
                  date +
                  "\r\nx-kvr-gather-mirror-status: 1,42\r\n"
                  "x-kvr-http-local-addr: " +
                  URLBelowRoot(UpdatesFolder()) +
                  "/\r\n"
                  "content-length: 12\r\n\r\nupdates list");
    // The expected version (43) is not the committed one: a gather of it is queued, and the
    // committed copy served meanwhile.
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{kUpdates + " (Integral: 43)"});
    EXPECT_GT(State().GetSiteRecord(1).lastRequestedTime, 0);

    EXPECT_EQ(BodyOf(Gather(kUpdates, "", {.directory = "signed"})), "signed updates list");
    EXPECT_EQ(BodyOf(Gather(kUpdates, "", {.directory = "Signed"})), "updates list");
}

TEST_F(GatherMirrorCommandsTest, ACurrentClientGetsNoList) {
    const struct {
        ClientSiteHeaders headers;
        std::string parameters;
        bool current;
    } cases[] = {
        {{.clientSiteVersion = "42", .clientValid = "true"}, "", true},
        {{.clientSiteVersion = " 4 2", .clientValid = "true"}, "", true},
        {{.clientSiteVersion = "41", .clientValid = "true"}, "&localVersion=42", true},
        {{.clientSiteVersion = "42", .clientValid = "true"}, "&localVersion=41", false},
        {{.clientSiteVersion = "42"}, "", false},
        {{.clientSiteVersion = "42", .clientValid = "TRUE"}, "", false},
        {{.clientSiteVersion = "42x", .clientValid = "true"}, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers.clientSiteVersion + c.parameters + " " + c.headers.clientValid);
        const std::string reply = Gather(kUpdates, c.parameters, c.headers);
        EXPECT_EQ(ReplyHeaderValue(reply, "content-length"), c.current ? "0" : "12");
        EXPECT_EQ(BodyOf(reply), c.current ? "" : "updates list");
        EXPECT_EQ(ReplyHeaderValue(reply, "x-kvr-http-local-addr"), URLBelowRoot(UpdatesFolder()) + "/");
    }
}

TEST_F(GatherMirrorCommandsTest, AManyVersionSitesReplyNamesItsFilesAndTheDifferenceWhenThereIsOne) {
    const std::string many = State().GetManyDirListFolder(kActionSite).ToString();
    const auto reply = [&](const std::string& sha1, const ClientSiteHeaders& headers = {}) {
        return Gather(kActionSite, "&manyVersionSHA1=" + sha1, headers);
    };
    const std::string withDifference = reply(OldDigest());
    EXPECT_EQ(StatusOf(withDifference), "1,9");
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvr-http-local-addr"),
              URLBelowRoot(MirrorSites()) + "/gathercache/");
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-fullsite-url"),
              URLBelowRoot(many) + "/__fullsite_" + Digest());
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-fullsite-size"), "9");
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-single-fullsite-url"),
              URLBelowRoot(ActionFolder()) + "/__fullsite");
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-single-fullsite-size"), "16");
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-diffsite-url"),
              URLBelowRoot(many) + "/__diffsite_" + OldDigest() + "_to_" + Digest());
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-diffsite-size"), "10");
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-mdirlist-url"),
              URLBelowRoot(many) + "/__mdirlistc_" + Digest());
    EXPECT_EQ(ReplyHeaderValue(withDifference, "x-kvrgather-alldiffs-url"),
              URLBelowRoot(many) + "/__alldiffs_" + Digest());
    EXPECT_EQ(BodyOf(withDifference), "many list");
    EXPECT_EQ(BodyOf(reply(OldDigest(), {.directory = "signed"})), "signed many list");

    std::string upperOld = OldDigest();
    for (char& c : upperOld) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReplyHeaderValue(reply(upperOld), "x-kvrgather-diffsite-size"), "10");
    // No difference file from that list, or a text that is no digest: no difference headers.
    for (const std::string& sha1 :
         {Digest(), OldDigest().substr(1), std::string("..%2F..%2Fx"), OldDigest() + "0"}) {
        const std::string answer = reply(sha1);
        EXPECT_EQ(ReplyHeaderValue(answer, "x-kvrgather-diffsite-url"), "none") << sha1;
        EXPECT_EQ(ReplyHeaderValue(answer, "x-kvrgather-fullsite-size"), "9") << sha1;
    }

    // A client that holds the committed list, in either case, is current.
    std::string upper = Digest();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReplyHeaderValue(reply(upper, {.clientValid = "true"}), "content-length"), "0");
    EXPECT_EQ(ReplyHeaderValue(reply(OldDigest(), {.clientValid = "true"}), "content-length"), "9");

    // Without a digest the action site is served as an integral site.
    const std::string integral = Gather(kActionSite);
    EXPECT_EQ(ReplyHeaderValue(integral, "x-kvr-http-local-addr"), URLBelowRoot(ActionFolder()) + "/");
    EXPECT_EQ(BodyOf(integral), "single list");
}

TEST_F(GatherMirrorCommandsTest, ALongListGoesOutWhole) {
    std::string list;
    for (int line = 0; list.size() < 3 * kDirectoryListPieceSize + 100; ++line)
        list += "file" + std::to_string(line) + "\n";
    WriteFile(UpdatesFolder() + "/__sdirlist", list);
    const std::string reply = Gather(kUpdates);
    EXPECT_EQ(ReplyHeaderValue(reply, "content-length"), std::to_string(list.size()));
    EXPECT_EQ(BodyOf(reply), list);
}

TEST_F(GatherMirrorCommandsTest, AMissingMirrorFileFailsBeforeAnyByteIsWritten) {
    std::filesystem::remove(State().GetFullSiteFile(kActionSite).ToString());
    std::filesystem::remove(UpdatesFolder() + "/__sdirlist");
    RecordingClientWriter client;
    for (const std::string& url : {kPluginPath + "?url=" + kUpdates,
                                   kPluginPath + "?url=" + kActionSite + "&manyVersionSHA1=" + OldDigest()}) {
        const ClientSiteHeaders headers;
        GatherMirrorRequest request{
            .writer = client,
            .headers = headers,
            .url = url,
            .method = "GET",
            .options = m_options,
            .gatherState = State(),
            .stop = m_stop,
            .serverBaseURL = kBase,
            .log = m_requestLog,
        };
        EXPECT_ANY_THROW(DispatchGatherMirrorCommand(request)) << url;
    }
    EXPECT_EQ(client.reply, "");
    // A current client needs no list.
    EXPECT_EQ(
        ReplyHeaderValue(Gather(kUpdates, "&localVersion=42", {.clientValid = "true"}), "content-length"),
        "0");
}

TEST_F(GatherMirrorCommandsTest, AClientExpectingAnotherVersionMakesTheRelayAskTheRoot) {
    ScriptedParent parent;
    SetClientSetting("__Relay_Control_Server1", parent.Base());
    parent.Serve("/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion", "", "x-kvr-siteversion: 43\r\n");
    parent.Serve(kRootVersionPath, "", "x-kvr-rootserver-siteversion: 44\r\n");

    // The client expects what the relay expects, or nothing: no question to the root.
    EXPECT_EQ(StatusOf(Gather(kUpdates, "&expectedVersion=43")), "1,42");
    EXPECT_EQ(StatusOf(Gather(kUpdates, "&expectedVersion=0")), "1,42");
    EXPECT_EQ(parent.RequestsFor(kRootVersionPath), 0u);
    TakeQueue();

    // The root holds the client's version: it is gathered and the client told to wait.
    const std::string conflict = Gather(kUpdates, "&expectedVersion=44", {.userAgent = kAgent});
    EXPECT_EQ(StatusLineOf(conflict), "HTTP/1.1 404");
    EXPECT_EQ(StatusOf(conflict), "22");
    EXPECT_NE(conflict.find("did not match root version.  Gathering new version.(22)"), std::string::npos);
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{kUpdates + " (Integral: 44)"});
    EXPECT_NE(parent.RequestLines().back().find("-rootversion?url=" + kUpdates + "&useCRC=0 "),
              std::string::npos);

    // The root agrees with the relay: the directory reply.
    parent.Serve(kRootVersionPath, "", "x-kvr-rootserver-siteversion: 43\r\n");
    EXPECT_EQ(StatusOf(Gather(kUpdates, "&expectedVersion=45")), "1,42");

    // Conflicts left alone: no question.
    SetClientSetting("_KVRRelay_GatherMirror_ResolveVersionConflicts", "0");
    const std::size_t asked = parent.RequestsFor(kRootVersionPath);
    EXPECT_EQ(StatusOf(Gather(kUpdates, "&expectedVersion=46")), "1,42");
    EXPECT_EQ(parent.RequestsFor(kRootVersionPath), asked);
}

TEST_F(GatherMirrorCommandsTest, VersionQueriesAnswerInAHeaderAndTheBody) {
    ScriptedParent parent;
    SetClientSetting("__Relay_Control_Server1", parent.Base());
    parent.Serve(kRootVersionPath, "", "x-kvr-rootserver-siteversion: 50\r\n");

    const std::string site = Dispatch(kPluginPath + "/-siteversion?url=" + kUpdates);
    EXPECT_EQ(StatusLineOf(site), "HTTP/1.1 200 OK");
    EXPECT_EQ(ReplyHeaderValue(site, "x-kvr-siteversion"), "43");
    EXPECT_EQ(BodyOf(site), "x-kvr-siteversion: 43\r\n");
    const std::string crc = Dispatch(kPluginPath + "/-siteversion?URL=" + kActionSite + "&useCRC=1x");
    EXPECT_EQ(ReplyHeaderValue(crc, "x-kvr-siteversion"),
              std::to_string(ManyVersionCRC(ManyVersionFromText("3,0,17"))));

    const std::string root = Dispatch(kPluginPath + "/-rootversion?url=" + kUpdates + "&useCRC=0");
    EXPECT_EQ(ReplyHeaderValue(root, "x-kvr-rootserver-siteversion"), "50");
    EXPECT_EQ(BodyOf(root), "x-kvr-rootserver-siteversion: 50\r\n");

    EXPECT_THROW(Dispatch(kPluginPath + "/-siteversion?url=" + kGatherURL + "Unknown"), NoSiteIDMatchesURL);
}
