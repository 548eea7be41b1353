#include "relay/gather/gather_state.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "foundation/time_text.h"
#include "relay/gather/gather_state_fixture.h"
#include "relay/gather/many_version_list.h"

namespace {

const std::string kEpoch = "Tue, 05 Mar 2024 10:00:00 +0000";

std::string Site(std::uint32_t id, const std::string& attributes, const std::string& text = "") {
    return "<SiteStatus SiteID=\"" + std::to_string(id) + "\" " + attributes + ">" + text + "</SiteStatus>\r\n";
}

}  // namespace

TEST_F(GatherStateTest, StartsFromTheStateFileAndSavesAtTheEnd) {
    WriteMap({{1, kUpdates}, {2, kActionSite}, {3, kCustomSite}});
    WriteStateFile(Site(1, "CommittedLocation=\"/w/daruravidumirror_1_42\" CommittedVersion=\"42\" "
                           "Status=\"GatherComplete\" ExpectedVersion=\"43\"") +
                   Site(2, "CommittedLocation=\"/w/manymirror_2_9_1\" CommittedVersion=\"9\" "
                           "CommittedManyVersion=\"3,0,17\" Status=\"GatherPending\"",
                        "2: stopped") +
                   Site(3, "Status=\"GatherError\"", "3: http failure code 404"));
    GatherState& state = State();

    EXPECT_EQ(state.GetSiteIDForURL(kUpdates + "?x=1"), 1u);
    EXPECT_EQ(state.GetCommittedVersion(kUpdates), 42u);
    EXPECT_EQ(state.GetCommittedLocation(kUpdates), "/w/daruravidumirror_1_42");
    EXPECT_EQ(state.GetCommittedLocation(2u), "/w/manymirror_2_9_1");
    EXPECT_EQ(state.GetCommittedManyVersion(kActionSite), ManyVersionFromText("3,0,17"));
    EXPECT_EQ(state.GetCommittedVersionCRC(kActionSite), ManyVersionCRC(ManyVersionFromText("3,0,17")));
    EXPECT_EQ(FormatCalendarTime(state.GetActionSiteEpoch()).View(), kEpoch);
    EXPECT_TRUE(state.HasCommittedLocation(kUpdates));
    EXPECT_FALSE(state.HasCommittedLocation(kCustomSite));
    EXPECT_FALSE(state.HasCommittedLocation(kGatherURL + "Unknown"));

    // Clients hear of the sites with a committed copy; an integral site has no CRC to tell.
    const std::map<std::string, ExpectedVersionPair> expected{
        {kUpdates, {43, 0}}, {kActionSite, {9, ManyVersionCRC(ManyVersionFromText("3,0,17"))}}};
    EXPECT_EQ(state.GetExpectedVersionPairs(), expected);
    EXPECT_EQ(state.GetExpectedVersions(), (std::map<std::string, std::uint32_t>{{kUpdates, 43}, {kActionSite, 9}}));
    const std::vector<GatheredSiteVersion> listed = state.ListSiteVersions();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].siteURL, kUpdates);
    EXPECT_EQ(listed[0].version, 43u);
    EXPECT_EQ(listed[0].manyVersion, 0u);
    EXPECT_EQ(listed[1].manyVersion, expected.at(kActionSite).crc);

    const SiteStatusRecord interrupted = state.GetSiteRecord(2);
    EXPECT_EQ(interrupted.status, GatherStatus::Error);
    EXPECT_EQ(interrupted.errorText, "2: stopped (Relay/RootServer shutdown while in GatherPending state.)");

    Restart();
    const std::string saved = ReadWholeFile(StateFile());
    EXPECT_NE(saved.find("SiteID=\"2\" CommittedLocation=\"/w/manymirror_2_9_1\" CommittedVersion=\"9\" "
                         "CommittedManyVersion=\"3,0,17\" Status=\"GatherError\""),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("ExpectedVersion"), std::string::npos);
    EXPECT_EQ(State().GetCommittedVersion(kUpdates), 42u);
}

TEST_F(GatherStateTest, UnknownSitesAreRefusedAndLogged) {
    WriteMap({{1, kUpdates}});
    GatherState& state = State();
    EXPECT_THROW(state.GetCommittedVersion(kCustomSite), NoSiteIDMatchesURL);
    EXPECT_EQ(Logged("critical", "Unable to find site id for URL: "),
              std::vector<std::string>{"Unable to find site id for URL: " + kCustomSite});
    EXPECT_THROW(state.GetSiteIDForURL(kUpdates), NoSiteIDMatchesURL);
    EXPECT_EQ(Logged("critical", "Unable to find site status"),
              std::vector<std::string>{"Unable to find site status for site id: 1"});
    EXPECT_THROW(state.GetSiteRecord(7), NoSiteIDMatchesURL);
    EXPECT_EQ(Logged("debug", "No GatherState"),
              std::vector<std::string>{"No GatherState XML file found.  Starting with no state."});
}

TEST_F(GatherStateTest, ACorruptStateFileResetsEveryRecordAndTheEpoch) {
    WriteMap({{1, kUpdates}});
    WriteStateFile(Site(1, "Status=\"GatherComplete\"") + Site(1, "Status=\"GatherError\""));
    GatherState& state = State();
    EXPECT_EQ(Logged("critical", "corrupted"),
              std::vector<std::string>{"GatherState XML file corrupted.  Resetting all gather state."});
    EXPECT_THROW(state.GetSiteRecord(1), NoSiteIDMatchesURL);
    EXPECT_EQ(state.GetActionSiteEpoch().date.year, 1970u);
    EXPECT_EQ(Map().GetGatherID(kUpdates), 1u);
}

// The map file is lost, the state file and the mirror folders are not: a new site gets an id that
// none of them names.
TEST_F(GatherStateTest, ALostMapReusesNoId) {
    WriteStateFile(Site(5, "Status=\"GatherComplete\" CommittedLocation=\"/w/daruravidumirror_5_1\""));
    MakeMirrorFolder("daruravidumirror_4_1");
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    EXPECT_EQ(State().GetSiteIDForURL(kUpdates), 6u);

    Restart();
    std::filesystem::remove(Inbox() + "/vtemapfile.xml");
    MakeMirrorFolder("manymirror_9_1_77");
    State().QueueSiteGatherRequest(kCustomSite, SiteVersion());
    EXPECT_EQ(State().GetSiteIDForURL(kCustomSite), 10u);
}

TEST_F(GatherStateTest, PopsRequestsOldestFirst) {
    GatherState& state = State();
    EXPECT_FALSE(state.PopQueuedRequest());
    state.QueueSiteGatherRequest(kUpdates, SiteVersion::Integral(5));
    state.QueueSiteGatherRequest(kActionSite, SiteVersion::CRC(77));
    const std::optional<SiteGatherParams> first = state.PopQueuedRequest();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->siteID, 1u);
    EXPECT_EQ(first->siteURL, kUpdates);
    EXPECT_TRUE(SiteVersion::Equals(first->expectedVersion, SiteVersion::Integral(5)));
    EXPECT_EQ(first->reserved, 0u);
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{kActionSite + " (CRC: 77)"});
}

TEST_F(GatherStateTest, NamesTheMirrorFilesOfTheCommittedCopy) {
    WriteMap({{4, kActionSite}});
    WriteStateFile(Site(4, "CommittedLocation=\"/w/manymirror_4_9_1\" CommittedManyVersion=\"1,2\" "
                           "Status=\"GatherComplete\""));
    GatherState& state = State();
    const std::string digest = ManyVersionDigestText(ManyVersionFromText("1,2"));
    const std::string folder = MirrorSites() + "/manydirlists_4";
    EXPECT_EQ(state.GetManyDirListFolder(kActionSite).ToString(), folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(state.GetMultiDirListFile(kActionSite, false).ToString(), folder + "/__mdirlist_" + digest);
    EXPECT_EQ(state.GetMultiDirListFile(kActionSite, true).ToString(), folder + "/__mdirlistc_" + digest);
    EXPECT_EQ(state.GetAllDiffsFile(kActionSite).ToString(), folder + "/__alldiffs_" + digest);
    EXPECT_EQ(state.GetFullSiteFile(kActionSite).ToString(), folder + "/__fullsite_" + digest);
    EXPECT_EQ(state.GetDiffSiteFile(kActionSite, "abc").ToString(), folder + "/__diffsite_abc_to_" + digest);
    EXPECT_EQ(state.GetSingleDirListFile(kActionSite, false).ToString(), "/w/manymirror_4_9_1/__sdirlist");
    EXPECT_EQ(state.GetSingleDirListFile(kActionSite, true).ToString(), "/w/manymirror_4_9_1/__sdirlistc");
    EXPECT_EQ(state.GetSingleFullSiteFile(kActionSite).ToString(), "/w/manymirror_4_9_1/__fullsite");
    EXPECT_THROW(state.GetFullSiteFile(kUpdates), NoSiteIDMatchesURL);
}

TEST_F(GatherStateTest, AnUpstreamCheckIsDueLongAfterTheLastGather) {
    GatherState& state = State();
    state.QueueSiteGatherRequest(kUpdates, SiteVersion());
    EXPECT_TRUE(state.IsUpstreamCheckDue(kUpdates));  // never completed
    state.GatheredSameVersion(1, SiteVersion(), "");
    EXPECT_FALSE(state.IsUpstreamCheckDue(kUpdates));
    SetClientSetting("_KVRRelay_GatherMirror_UpstreamCheckPeriodMinutes", "0");
    EXPECT_FALSE(state.IsUpstreamCheckDue(kUpdates)) << "the period is read once";
}

// Every save replaces the whole file at once: a relay killed while saving leaves a state file that
// reads, so nothing is reset at the next start.
TEST_F(GatherStateTest, AKilledSaveLeavesAReadableStateFile) {
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    State().SuccessfulSiteGather(1, "", 1, {}, SiteVersion(), "/w/daruravidumirror_1");
    for (int delayMilliseconds : {3, 9, 20}) {
        const pid_t gatherer = fork();
        ASSERT_GE(gatherer, 0);
        if (gatherer == 0) {
            for (std::uint32_t version = 2;; ++version)
                State().SuccessfulSiteGather(1, "", version, {}, SiteVersion(), "/w/daruravidumirror_1");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMilliseconds));
        kill(gatherer, SIGKILL);
        waitpid(gatherer, nullptr, 0);

        const GatherStateContents read = ReadGatherStateDocument(ConstData(std::string_view(ReadWholeFile(StateFile()))));
        ASSERT_EQ(read.records.count(1), 1u) << delayMilliseconds;
        EXPECT_GT(read.records.at(1).committedVersion, 0u);
    }
}
