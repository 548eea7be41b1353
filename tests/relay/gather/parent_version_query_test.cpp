#include "relay/gather/parent_version_query.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "net/socket_system.h"
#include "relay/gather/gather_state_fixture.h"
#include "relay/gather/many_version_list.h"
#include "support/scripted_parent.h"

namespace {

using namespace std::chrono_literals;

const std::string kSiteVersionPath = "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion";
const std::string kRootVersionPath = "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-rootversion";

// A relay whose agent reports to the scripted parent, and which holds a committed copy of the
// updates site (expected version 43) and of the action site (expected CRC that of "3,0,17"), both
// never asked about since the state file was read.
class ParentVersionQueryTest : public GatherStateTest {
  protected:
    ParentVersionQueryTest() {
        EXPECT_TRUE(SocketSystem::Instance().Start(0, 0, {}));
        SetClientSetting("__Relay_Control_Server1", m_parent.Base());
        WriteMap({{1, kUpdates}, {2, kActionSite}});
        WriteStateFile(
            "<SiteStatus SiteID=\"1\" CommittedLocation=\"/w/daruravidumirror_1_42\" CommittedVersion=\"42\" "
            "Status=\"GatherComplete\" ExpectedVersion=\"43\"></SiteStatus>\r\n"
            "<SiteStatus SiteID=\"2\" CommittedLocation=\"/w/manymirror_2_9_1\" CommittedVersion=\"9\" "
            "CommittedManyVersion=\"3,0,17\" Status=\"GatherComplete\"></SiteStatus>\r\n");
    }

    // The parent answers "-siteversion" with `version`, or with `crc` when asked with useCRC=1.
    void ParentHolds(std::uint32_t version, std::uint32_t crc = 0) {
        m_parent.Respond(kSiteVersionPath, [version, crc](const std::string& request) {
            const bool useCRC = request.find("&useCRC=1 ") != std::string::npos;
            return ScriptedHTTPServer::Reply{
                MakeHTTPReply("", "x-kvr-siteversion: " + std::to_string(useCRC ? crc : version) + "\r\n")};
        });
    }
    std::size_t SiteVersionQueries() const { return m_parent.RequestsFor(kSiteVersionPath); }

    const std::uint32_t m_cachedCRC = ManyVersionCRC(ManyVersionFromText("3,0,17"));
    ScriptedParent m_parent;
};

}  // namespace

TEST(ParentVersionQueryURL, NamesTheQueryAndEscapesTheSiteURL) {
    struct Case {
        std::string base;
        ParentVersionQuery query;
        std::string siteURL;
        bool useCRC;
        std::string url;
    };
    const Case cases[] = {
        {"http://parent:52311", ParentVersionQuery::SiteVersion, "http://s/cgi-bin/g.exe/Updates", false,
         "http://parent:52311/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion?url=http://s/cgi-bin/"
         "g.exe/"
         "Updates&useCRC=0"},
        {"http://parent:52311", ParentVersionQuery::RootVersion, "http://s/a b&c=d#e+f%", true,
         "http://parent:52311/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-rootversion?url=http://s/"
         "a%20b%26c=d%23e%2bf%25"
         "&useCRC=1"},
        {"", ParentVersionQuery::SiteVersion, "http://s/x", true,
         "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion?url=http://s/x&useCRC=1"},
    };
    for (const Case& c : cases) EXPECT_EQ(ParentVersionQueryURL(c.base, c.query, c.siteURL, c.useCRC), c.url);
}

TEST_F(ParentVersionQueryTest, TheParentsAnswerIsItsVersionHeader) {
    m_parent.Serve(kSiteVersionPath, "", "x-kvr-siteversion: 57\r\n");
    EXPECT_EQ(GetExpectedVersionOfParent(kUpdates, false, m_stop), 57u);
    ASSERT_EQ(m_parent.RequestLines().size(), 1u);
    EXPECT_EQ(m_parent.RequestLines()[0],
              "GET " + kSiteVersionPath + "?url=" + kUpdates + "&useCRC=0 HTTP/1.0");
}

TEST_F(ParentVersionQueryTest, AParentWithoutAVersionFailsTheQuestion) {
    struct Case {
        const char* name;
        std::function<void(ScriptedParent&)> script;
        std::string logged;
    };
    const std::string noVersion =
        "GetExpectedVersionOfParent: Parent response did not contain a site version.";
    const Case cases[] = {
        {"no header", [](ScriptedParent& p) { p.Serve(kSiteVersionPath, "57"); }, noVersion},
        {"blank header", [](ScriptedParent& p) { p.Serve(kSiteVersionPath, "", "x-kvr-siteversion:  \r\n"); },
         noVersion},
        {"not a number",
         [](ScriptedParent& p) { p.Serve(kSiteVersionPath, "", "x-kvr-siteversion: 5x\r\n"); }, noVersion},
        {"not found", [](ScriptedParent& p) { p.ServeStatus(kSiteVersionPath, "HTTP/1.0 404 Not Found"); },
         noVersion},
        {"connection dropped", [](ScriptedParent& p) { p.Drop(kSiteVersionPath); }, "Error: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.script(m_parent);
        const std::size_t loggedBefore = Logged("critical", c.logged).size();
        EXPECT_THROW(GetExpectedVersionOfParent(kUpdates, false, m_stop), UnableToGetVersionFromParent);
        EXPECT_EQ(Logged("critical", c.logged).size(), loggedBefore + 1);
    }
}

TEST_F(ParentVersionQueryTest, AnExpectedVersionIsAskedForOncePerPollingPeriod) {
    ParentHolds(44, 1234);
    GatherState& state = State();
    EXPECT_EQ(state.GetExpectedVersion(kUpdates, true), 43u);
    EXPECT_EQ(SiteVersionQueries(), 0u);

    EXPECT_EQ(state.GetExpectedVersion(kUpdates, false), 44u);
    EXPECT_EQ(state.GetExpectedVersion(kUpdates, false), 44u);
    EXPECT_EQ(state.GetExpectedVersions(),
              (std::map<std::string, std::uint32_t>{{kUpdates, 44}, {kActionSite, 44}}));
    EXPECT_EQ(state.GetExpectedVersionCRC(kActionSite, false), 1234u);
    // One question per value: the updates version, the action site's version and its CRC.
    EXPECT_EQ(SiteVersionQueries(), 3u);

    // Clients fetching their commands are told the parent's values.
    const std::vector<GatheredSiteVersion> listed = state.ListSiteVersions();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].version, 44u);
    EXPECT_EQ(listed[0].manyVersion, 0u);
    EXPECT_EQ(listed[1].manyVersion, 1234u);
    EXPECT_EQ(SiteVersionQueries(), 3u);

    // A period of 0 makes every call ask.
    SetClientSetting("_KVRGather_Mirror_SiteVersionPollingPeriod", "0");
    ParentHolds(45);
    EXPECT_EQ(state.GetExpectedVersion(kUpdates, false), 45u);
    EXPECT_EQ(SiteVersionQueries(), 4u);
}

TEST_F(ParentVersionQueryTest, AFailedQuestionKeepsTheCachedValueAndIsAskedAgain) {
    GatherState& state = State();
    EXPECT_EQ(state.GetExpectedVersion(kUpdates, false), 43u);
    EXPECT_EQ(state.GetExpectedVersionCRC(kActionSite, false), m_cachedCRC);
    ParentHolds(44);
    EXPECT_EQ(state.GetExpectedVersion(kUpdates, false), 44u);
    EXPECT_EQ(SiteVersionQueries(), 3u);

    EXPECT_THROW(state.GetExpectedVersion(kGatherURL + "Unknown", false), NoSiteIDMatchesURL);
    EXPECT_EQ(m_parent.RequestLines().size(), 3u);
}

TEST_F(ParentVersionQueryTest, AStopEndsAQuestionToAHangingParent) {
    m_parent.Hang(kSiteVersionPath);
    GatherState& state = State();
    std::future<std::uint32_t> asking =
        std::async(std::launch::async, [&] { return state.GetExpectedVersion(kUpdates, false); });
    ASSERT_TRUE(m_parent.AwaitArrivals(kSiteVersionPath, 1));

    // Meanwhile the value counts as asked for: another caller takes it without a question.
    EXPECT_EQ(state.GetExpectedVersion(kUpdates, false), 43u);
    EXPECT_EQ(m_parent.ArrivedFor(kSiteVersionPath), 1u);

    m_stop.Set();
    // Far below the question's 60 seconds.
    ASSERT_EQ(asking.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(asking.get(), 43u);
}

TEST_F(ParentVersionQueryTest, TheRootVersionFallsBackToTheExpectedValue) {
    m_parent.Serve(kRootVersionPath, "", "x-kvr-rootserver-siteversion: 50\r\n");
    EXPECT_EQ(GetCurrentVersionFromRoot(kUpdates, false, State(), m_stop), 50u);
    EXPECT_NE(m_parent.RequestLines().back().find("-rootversion?url=" + kUpdates + "&useCRC=0 "),
              std::string::npos);

    // No root version: the relay's own expected value, which asks the parent in turn.
    m_parent.Serve(kRootVersionPath, "", "x-kvr-siteversion: 50\r\n");
    ParentHolds(44, 1234);
    EXPECT_EQ(GetCurrentVersionFromRoot(kUpdates, false, State(), m_stop), 44u);
    EXPECT_EQ(GetCurrentVersionFromRoot(kActionSite, true, State(), m_stop), 1234u);
    EXPECT_EQ(Logged("critical", "GetCurrentVersionFromRoot: Server response did not contain a site version.")
                  .size(),
              2u);
    m_parent.Drop(kRootVersionPath);
    EXPECT_EQ(GetCurrentVersionFromRoot(kUpdates, false, State(), m_stop), 44u);
    EXPECT_EQ(Logged("critical", "Error:").size(), 1u);
}
