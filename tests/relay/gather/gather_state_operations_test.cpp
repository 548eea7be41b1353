#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "foundation/checksum_receiver.h"
#include "foundation/clocks.h"
#include "foundation/interruptor.h"
#include "foundation/time_parser.h"
#include "foundation/time_text.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/gather_state_fixture.h"
#include "relay/gather/many_version_list.h"

namespace {

constexpr std::int64_t kDay = 86'400'000'000;

std::uint32_t URLChecksum(const std::string& url) {
    return ChecksumOfRange(ConstData(std::string_view(url)));
}

CalendarTime Epoch(const char* text) {
    return ParseTimeText(ConstData(std::string_view(text)));
}

class GatherOperationsTest : public GatherStateTest {
  protected:
    // The last line the queueing logged, without its common prefix.
    std::string LastQueueing() {
        const std::vector<std::string> lines = Logged("debug", "QueueSiteGatherRequestImplementation, ");
        return lines.empty() ? "" : lines.back().substr(std::string("QueueSiteGatherRequestImplementation, ").size());
    }
    // A site queued for the latest version and reported gathered at `version`.
    std::uint32_t Gathered(const std::string& url, std::uint32_t version, const char* manyVersion = "") {
        State().QueueSiteGatherRequest(url, SiteVersion());
        const std::uint32_t siteID = State().GetSiteIDForURL(url);
        State().SuccessfulSiteGather(siteID, "", version, ManyVersionFromText(manyVersion), SiteVersion(),
                                     "/w/mirror_" + std::to_string(siteID) + "_" + std::to_string(version));
        TakeQueue();
        return siteID;
    }
};

}  // namespace

TEST_F(GatherOperationsTest, QueueingSkipsWhatIsPendingOrQueuedAlready) {
    struct Step {
        std::string url;
        SiteVersion version;
        std::string logged;
    };
    const Step steps[] = {
        {kUpdates, SiteVersion(), "Queued: " + kUpdates},
        {kUpdates, SiteVersion(), "Not Queued--Gather Pending: " + kUpdates + " (no expected version)"},
        {kUpdates, SiteVersion::Integral(5), "Queued: " + kUpdates},
        {kUpdates, SiteVersion::Integral(5), "Not Queued--Gather Pending: " + kUpdates + " (Integral: 5)"},
        {kActionSite, SiteVersion::Integral(5),
         "Not Queued--Ignore Integral Version Requests For ManyVersion Sites: " + kActionSite},
        {kActionSite, SiteVersion(), "Queued: " + kActionSite},
        {kCustomSite + "?x", SiteVersion::CRC(9), "Queued: " + kCustomSite + "?x"},
        {kCustomSite, SiteVersion::CRC(9), "Not Queued--Gather Pending: " + kCustomSite + " (CRC: 9)"},
    };
    for (const Step& step : steps) {
        State().QueueSiteGatherRequest(step.url, step.version);
        EXPECT_EQ(LastQueueing(), step.logged);
    }
    EXPECT_EQ(TakeQueue(), (std::vector<std::string>{kUpdates + " (no expected version)", kUpdates + " (Integral: 5)",
                                                     kActionSite + " (no expected version)",
                                                     kCustomSite + "?x (CRC: 9)"}));
    EXPECT_EQ(State().GetStatus(kUpdates).code, SiteGatherStatusCode::kGatherInProgress);

    // Failed while its request still waits: the site is no longer pending, its request still queued.
    const std::string fresh = kGatherURL + "Fresh";
    State().QueueSiteGatherRequest(fresh, SiteVersion());
    State().FailedSiteGather(State().GetSiteIDForURL(fresh), SiteVersion(), "gone");
    State().QueueSiteGatherRequest(fresh, SiteVersion());
    EXPECT_EQ(LastQueueing(), "Not Queued--Already Queued: " + fresh + " (no expected version)");
}

TEST_F(GatherOperationsTest, QueueingStampsTheRequestWithTheCommittedCopy) {
    Gathered(kActionSite, 9, "3,0,17");
    State().SetActionSiteEpoch(1, Epoch("Tue, 05 Mar 2024 10:00:00 +0000"));
    State().QueueSiteGatherRequest(kActionSite, SiteVersion::CRC(4));
    const std::optional<SiteGatherParams> request = State().PopQueuedRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->localVersion, 9u);
    EXPECT_EQ(request->localManyVersion, ManyVersionFromText("3,0,17"));
    EXPECT_EQ(FormatCalendarTime(request->actionSiteEpoch).View(), "Tue, 05 Mar 2024 10:00:00 +0000");
    EXPECT_GT(State().GetSiteRecord(1).lastRequestedTime, 0);
    EXPECT_EQ(State().GetSiteRecord(1).lastRequest.siteURL, kActionSite);
}

TEST_F(GatherOperationsTest, ANewerGatherIsCommittedSavedAndAnnounced) {
    const std::uint32_t siteID = Gathered(kUpdates, 7);
    const SiteStatusRecord committed = State().GetSiteRecord(siteID);
    EXPECT_EQ(committed.committedVersion, 7u);
    EXPECT_EQ(committed.committedLocation, "/w/mirror_1_7");
    EXPECT_EQ(committed.expectedVersion, 7u);
    EXPECT_EQ(committed.status, GatherStatus::Complete);
    EXPECT_TRUE(committed.pendingVersions.empty());
    EXPECT_NE(ReadWholeFile(StateFile()).find("CommittedVersion=\"7\""), std::string::npos);
    EXPECT_EQ(Logged("debug", "SuccessfulSiteGather: "), std::vector<std::string>{"SuccessfulSiteGather: " + kUpdates});
    EXPECT_EQ(Logged("debug", "NotifyClients, "), std::vector<std::string>{"NotifyClients, GatherHash: " + kUpdates});
    // Nothing is connected to client notification here.
    EXPECT_EQ(Logged("critical", "NotifyClients: ").size(), 1u);

    // An older copy completes the request and nothing else: no commit, no save, no notification.
    std::filesystem::remove(StateFile());
    State().QueueSiteGatherRequest(kUpdates, SiteVersion::Integral(5));
    State().SuccessfulSiteGather(siteID, "older", 5, {}, SiteVersion::Integral(5), "/w/elsewhere");
    const SiteStatusRecord after = State().GetSiteRecord(siteID);
    EXPECT_EQ(after.committedVersion, 7u);
    EXPECT_EQ(after.committedLocation, "/w/mirror_1_7");
    EXPECT_EQ(after.status, GatherStatus::Complete);
    EXPECT_TRUE(after.pendingVersions.empty());
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
    EXPECT_EQ(Logged("debug", "NotifyClients, ").size(), 1u);
    EXPECT_EQ(Logged("debug", "1: older").size(), 1u);
}

TEST_F(GatherOperationsTest, AManyVersionSiteIsNewerByItsList) {
    const std::uint32_t siteID = Gathered(kActionSite, 9, "3,0,17");
    struct Case {
        const char* gathered;
        std::uint32_t version;
        const char* committedAfter;
    };
    const Case cases[] = {
        {"3,0,5", 12, "3,0,17"},  // an older list loses even with a larger version
        {"3,0,17,0", 10, "3,0,17"},
        {"3,1", 1, "3,1"},
    };
    for (const Case& c : cases) {
        State().SuccessfulSiteGather(siteID, "", c.version, ManyVersionFromText(c.gathered), SiteVersion(), "/w/x");
        const SiteStatusRecord record = State().GetSiteRecord(siteID);
        EXPECT_EQ(ManyVersionToText(record.committedManyVersion), c.committedAfter) << c.gathered;
        EXPECT_EQ(record.committedCRC, ManyVersionCRC(record.committedManyVersion));
        EXPECT_EQ(record.expectedCRC, record.committedCRC);
    }
    EXPECT_EQ(Logged("debug", "NotifyClients, GatherAction: " + kActionSite).size(), 2u);
}

TEST_F(GatherOperationsTest, OutcomesForAnUnknownSiteChangeNothing) {
    State().GatheredSameVersion(99, SiteVersion(), "");
    State().SuccessfulSiteGather(99, "", 1, {}, SiteVersion(), "/w/x");
    State().FailedSiteGather(99, SiteVersion(), "x");
    State().RetrySiteGather(99, SiteVersion(), "x");
    EXPECT_EQ(Logged("critical", "unknown site id"),
              (std::vector<std::string>{"Call to GatheredSameVersion with unknown site id: 99",
                                        "Call to SuccessfulSiteGather with unknown site id: 99",
                                        "Call to FailedSiteGather with unknown site id: 99",
                                        "Call to RetrySiteGather with unknown site id: 99"}));
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
}

// A first gather of a site that the parent does not have is expected: it is no critical line.
TEST_F(GatherOperationsTest, AFailureIsCriticalUnlessASiteNeverSeenIsNotFound) {
    struct Case {
        const char* text;
        SiteVersion requested;
        bool gatheredBefore;
        bool failedAsError;
        const char* category;
    };
    const Case cases[] = {
        {"fetch: http failure code 404", SiteVersion(), false, true, "debug"},
        {"The location does not exist.", SiteVersion(), false, true, "debug"},
        {"connection refused", SiteVersion(), false, true, "critical"},
        {"http failure code 404", SiteVersion::Integral(5), false, true, "critical"},
        {"http failure code 404", SiteVersion::Integral(0), false, true, "debug"},
        {"http failure code 404", SiteVersion(), true, true, "critical"},
        {"connection refused", SiteVersion(), false, false, "debug"},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SetClientSetting("_KVRGather_Log_GatherFailedAsError", c.failedAsError ? "1" : "0");
        const std::string url = kGatherURL + "Site" + std::to_string(++number);
        const std::uint32_t siteID = c.gatheredBefore ? Gathered(url, 3) : (State().QueueSiteGatherRequest(url, c.requested),
                                                                          State().GetSiteIDForURL(url));
        State().FailedSiteGather(siteID, c.requested, c.text);
        const std::string message = std::to_string(siteID) + ": " + c.text;
        EXPECT_EQ(Logged(c.category, message), std::vector<std::string>{message});
        const SiteStatusRecord record = State().GetSiteRecord(siteID);
        EXPECT_EQ(record.status, GatherStatus::Error);
        EXPECT_EQ(record.errorText, message);
        EXPECT_GT(record.errorTime, 0);
        EXPECT_FALSE(record.IsPending());
        const SiteGatherStatus status = State().GetStatus(url);
        EXPECT_EQ(status.code, SiteGatherStatusCode::kGatherError);
        EXPECT_EQ(status.message, message);
    }
}

TEST_F(GatherOperationsTest, ARetryQueuesTheLastRequestAgain) {
    State().QueueSiteGatherRequest(kUpdates, SiteVersion::Integral(4));
    ASSERT_EQ(TakeQueue().size(), 1u);
    State().RetrySiteGather(1, SiteVersion::Integral(4), "busy");
    EXPECT_EQ(Logged("debug", "1: busy"), std::vector<std::string>{"1: busy"});
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{kUpdates + " (Integral: 4)"});
    EXPECT_EQ(State().GetSiteRecord(1).errorText, "1: busy");
    EXPECT_EQ(State().GetStatus(kUpdates).code, SiteGatherStatusCode::kGatherInProgress);
}

TEST_F(GatherOperationsTest, StatusOfEachState) {
    const std::uint32_t siteID = Gathered(kUpdates, 7);
    const SiteGatherStatus complete = State().GetStatus(kUpdates);
    EXPECT_EQ(complete.code, SiteGatherStatusCode::kSiteAvailable);
    EXPECT_EQ(complete.message, "Site available.");
    EXPECT_EQ(complete.committedVersion, 7u);
    EXPECT_EQ(complete.time, State().GetSiteRecord(siteID).completedTime);

    State().QueueSiteGatherRequest(kUpdates, SiteVersion::Integral(8));
    const SiteGatherStatus pending = State().GetStatus(kUpdates);
    EXPECT_EQ(pending.code, SiteGatherStatusCode::kGatherInProgress);
    EXPECT_EQ(pending.message, "Gather in progress.");
    State().GatheredSameVersion(siteID, SiteVersion::Integral(8), "");
    EXPECT_EQ(State().GetStatus(kUpdates).code, SiteGatherStatusCode::kSiteAvailable);

    const SiteGatherStatus unknown = State().GetStatus(kCustomSite);
    EXPECT_EQ(unknown.code, SiteGatherStatusCode::kNoSiteID);
    EXPECT_EQ(unknown.message, "GetStatus: Unable to find site id for URL: " + kCustomSite);
}

TEST_F(GatherOperationsTest, TheParentsNewVersionsQueueOnlySitesAskedForLately) {
    const std::string twoDaysAgo(FormatTimeText(GetCurrentUTCTime() - 2 * kDay, TimeZoneOffset()).View());
    WriteMap({{1, kUpdates}, {2, kActionSite}, {3, kCustomSite}});
    WriteStateFile("<SiteStatus SiteID=\"1\" CommittedVersion=\"7\" Status=\"GatherComplete\" LastRequestedTime=\"" +
                   twoDaysAgo + "\"></SiteStatus><SiteStatus SiteID=\"2\" Status=\"GatherComplete\" LastRequestedTime=\"" +
                   twoDaysAgo + "\"></SiteStatus><SiteStatus SiteID=\"3\" Status=\"GatherComplete\"></SiteStatus>");
    GatherState& state = State();

    EXPECT_TRUE(state.NewSiteVersionByHash(9, URLChecksum(kUpdates), false));
    EXPECT_EQ(state.GetSiteRecord(1).expectedVersion, 9u);
    EXPECT_EQ(Logged("debug", "NewSiteVersion, "),
              std::vector<std::string>{"NewSiteVersion, Not Queued Because Of elapsedTime, siteid = 1"});

    state.TouchLastRequested(kUpdates);
    state.TouchLastRequested(kActionSite);
    struct Step {
        bool action;  // else by the checksum of the URL
        std::string url;
        std::uint32_t version;
        bool isCRC;
        bool passOn;
        std::vector<std::string> queued;
    };
    const Step steps[] = {
        {false, kUpdates, 10, false, false, {kUpdates + " (Integral: 10)"}},
        {false, kUpdates, 10, false, true, {}},  // the value it already expects
        {false, kUpdates, 11, true, false, {kUpdates + " (CRC: 11)"}},
        {true, kActionSite, 88, true, false, {kActionSite + " (CRC: 88)"}},
        {true, kActionSite, 88, true, true, {}},
        {true, kActionSite, 5, false, true, {}},  // ignored, so nothing holds the notification back
        {false, kCustomSite, 3, true, true, {}},  // never asked for
        {false, kGatherURL + "Unknown", 3, true, true, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.url + " " + std::to_string(step.version));
        const bool passOn = step.action ? state.NewActionSiteVersion(step.version, step.isCRC)
                                        : state.NewSiteVersionByHash(step.version, URLChecksum(step.url), step.isCRC);
        EXPECT_EQ(passOn, step.passOn);
        EXPECT_EQ(TakeQueue(), step.queued);
    }
    EXPECT_EQ(state.GetSiteRecord(2).expectedCRC, 88u);
    EXPECT_EQ(state.GetSiteRecord(2).expectedVersion, 5u);
    EXPECT_EQ(state.GetSiteRecord(3).expectedCRC, 3u);
}

TEST_F(GatherOperationsTest, TheFirstEpochIsStoredAndTheSameOneChangesNothing) {
    const CalendarTime epoch = Epoch("Tue, 05 Mar 2024 10:00:00 +0000");
    State().SetActionSiteEpoch(1, epoch);
    EXPECT_EQ(Logged("debug", "Initializing"),
              std::vector<std::string>{"Initializing ActionSite Epoch to 'Tue, 05 Mar 2024 10:00:00 +0000'."});
    EXPECT_NE(ReadWholeFile(StateFile()).find("ActionSiteEpoch=\"Tue, 05 Mar 2024 10:00:00 +0000\""),
              std::string::npos);
    std::filesystem::remove(StateFile());
    State().SetActionSiteEpoch(1, epoch);
    EXPECT_FALSE(std::filesystem::exists(StateFile()));

    // Only the action site may start a new epoch.
    Gathered(kUpdates, 3);
    EXPECT_THROW(State().SetActionSiteEpoch(State().GetSiteIDForURL(kUpdates), Epoch("Wed, 06 Mar 2024 10:00:00 +0000")),
                 InvalidActionSiteEpoch);
    EXPECT_EQ(FormatCalendarTime(State().GetActionSiteEpoch()).View(), "Tue, 05 Mar 2024 10:00:00 +0000");
}

TEST_F(GatherOperationsTest, ANewEpochRemovesEveryManyVersionSite) {
    WriteMap({{1, kUpdates}, {2, kActionSite}, {3, kCustomSite}, {4, kGatherURL + "Fixes"}});
    WriteStateFile("<SiteStatus SiteID=\"1\" Status=\"GatherComplete\"/><SiteStatus SiteID=\"2\" "
                   "Status=\"GatherComplete\"/><SiteStatus SiteID=\"3\" Status=\"GatherComplete\"/>"
                   "<SiteStatus SiteID=\"8\" Status=\"GatherComplete\"/>");
    const std::vector<std::pair<std::string, bool>> folders = {
        {"daruravidumirror_1_42", true},
        {"DaruraviduMirror_4_2", true},
        {"daruravidumirror_2_9", false},
        {"daruravidumirror_3_1", false},
        {"daruravidumirror_7_1", false},  // no site has the id
        {"daruravidumirror_x_1", false},
        {"manymirror_2_9_55", false},
        {"manymirror_1_1_1", false},
        {"manydirlists_2", false},
        {"manydirlists_1", false},
        {"gathercache", false},
        {"manydirlists_", true},
        {"unrelated", true},
    };
    for (const auto& [name, kept] : folders) MakeMirrorFolder(name);
    WriteFile(MirrorSites() + "/manymirror_2_9_55/file", "x");
    WriteFile(MirrorSites() + "/gathercache/0123.sha1", "x");
    WriteFile(MirrorSites() + "/daruravidumirror_9_1", "a file");
    GatherState& state = State();
    state.SetActionSiteEpoch(2, Epoch("Tue, 05 Mar 2024 10:00:00 +0000"));
    state.QueueSiteGatherRequest(kCustomSite, SiteVersion());

    state.SetActionSiteEpoch(2, Epoch("Wed, 06 Mar 2024 10:00:00 +0000"));
    EXPECT_EQ(Logged("debug", "Resetting"),
              std::vector<std::string>{"Resetting ActionSite Epoch (was 'Tue, 05 Mar 2024 10:00:00 +0000, now 'Wed, 06 "
                                       "Mar 2024 10:00:00 +0000').  All action sites and custom sites will be removed!"});
    for (const auto& [name, kept] : folders) EXPECT_EQ(MirrorFolderExists(name), kept) << name;
    EXPECT_FALSE(MirrorFolderExists("daruravidumirror_9_1"));
    EXPECT_EQ(Map().CopyMap(), (GatherIDMap{{kUpdates, 1}, {kGatherURL + "Fixes", 4}}));
    EXPECT_NO_THROW(state.GetSiteRecord(1));
    for (std::uint32_t dropped : {2u, 3u, 8u}) EXPECT_THROW(state.GetSiteRecord(dropped), NoSiteIDMatchesURL);
    EXPECT_NE(ReadWholeFile(StateFile()).find("Wed, 06 Mar 2024"), std::string::npos);
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{kCustomSite + " (no expected version)"});
}

TEST_F(GatherOperationsTest, AnArchiveLoadMarksTheSitePendingUntilItsOutcome) {
    GatherState& state = State();
    state.PrepareArchiveLoad(5);  // no record yet
    EXPECT_TRUE(state.GetSiteRecord(5).IsPending());
    state.SuccessfulSiteGather(5, "", 3, {}, SiteVersion(), "/w/daruravidumirror_5_3");
    EXPECT_FALSE(state.GetSiteRecord(5).IsPending());
    EXPECT_EQ(state.GetSiteRecord(5).committedVersion, 3u);

    state.PrepareArchiveLoad(5);
    const SiteStatusRecord marked = state.GetSiteRecord(5);
    EXPECT_TRUE(marked.IsPending());
    EXPECT_EQ(marked.pendingVersions.size(), 1u);
    EXPECT_EQ(marked.lastRequest.siteID, 0u);
    state.FailedSiteGather(5, SiteVersion(), "bad archive");
    EXPECT_FALSE(state.GetSiteRecord(5).IsPending());
}

TEST_F(GatherOperationsTest, AnArchiveLoadGivesUpOnASiteThatStaysPending) {
    State().QueueSiteGatherRequest(kUpdates, SiteVersion());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(State().PrepareArchiveLoad(1), ArchiveLoadTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(Logged("critical", "Unable to load archive"),
              std::vector<std::string>{"Unable to load archive for site id 1.  Unable to acquire lock after 10 seconds."});

    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_stop.Set();
    });
    EXPECT_THROW(State().PrepareArchiveLoad(1), StopRequest);
    stopper.join();
}

// Any client can name a URL to be gathered; only a site URL gets an id, and a refused one changes
// nothing.
TEST_F(GatherOperationsTest, QueueingRefusesWhatIsNoSiteURL) {
    const std::string refused[] = {
        "ftp://parent/cgi-bin/vtgather.exe/Updates",
        "javascript:alert(1)",
        "http:///cgi-bin/vtgather.exe/Updates",
        "http://parent:52311",
        "http://parent:52311/",
        "parent:52311/cgi-bin/vtgather.exe/Updates",
        kGatherURL + std::string(GatherState::kMaxSiteURLLength - kGatherURL.size() + 1, 'x'),
        "",
    };
    for (const std::string& url : refused) {
        EXPECT_THROW(State().QueueSiteGatherRequest(url, SiteVersion()), UnableToGenerateSiteID) << url;
        EXPECT_EQ(Logged("critical", "Unable to create site id for URL: ").back(), "Unable to create site id for URL: " + url);
    }
    const std::string longest = kGatherURL + std::string(GatherState::kMaxSiteURLLength - kGatherURL.size(), 'x');
    for (const std::string& url : {std::string("HTTPS://parent/cgi-bin/vtgather.exe/Updates"), longest})
        EXPECT_NO_THROW(State().QueueSiteGatherRequest(url, SiteVersion())) << url;

    Restart();
    EXPECT_EQ(Map().CopyMap().size(), 2u);
    EXPECT_EQ(Map().GetNextID(), 3u);
}

class GatherLimitsTest : public GatherOperationsTest {
  protected:
    static std::string Site(std::size_t number) { return kGatherURL + "Site" + std::to_string(number); }
    // As many sites as may have an id.
    void WriteFullMap() {
        std::vector<std::pair<std::uint32_t, std::string>> pairs;
        for (std::size_t site = 1; site <= GatherState::kMaxGatheredSites; ++site)
            pairs.emplace_back(static_cast<std::uint32_t>(site), Site(site));
        WriteMap(pairs);
    }
};

TEST_F(GatherLimitsTest, OnceTheMostSitesHaveAnIDOnlyKnownSitesAreQueued) {
    WriteFullMap();
    const std::string oneMore = kGatherURL + "OneMore";
    EXPECT_THROW(State().QueueSiteGatherRequest(oneMore, SiteVersion()), UnableToGenerateSiteID);
    EXPECT_EQ(Map().GetGatherID(oneMore), 0u);

    State().QueueSiteGatherRequest(Site(1), SiteVersion());
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{Site(1) + " (no expected version)"});
}

// A full queue takes nothing more and leaves the site as it was; a place freed takes the next one.
TEST_F(GatherLimitsTest, AFullQueueTakesNoMoreRequests) {
    WriteFullMap();
    const std::size_t sites = GatherState::kMaxGatheredSites;
    for (std::size_t i = 0; i < GatherState::kMaxQueuedGatherRequests; ++i)
        State().QueueSiteGatherRequest(Site(i % sites + 1),
                                       SiteVersion::Integral(static_cast<std::uint32_t>(i / sites + 1)));
    ASSERT_EQ(LastQueueing().rfind("Queued: ", 0), 0u);

    const SiteVersion extra = SiteVersion::Integral(static_cast<std::uint32_t>(GatherState::kMaxQueuedGatherRequests));
    State().QueueSiteGatherRequest(Site(1), extra);
    EXPECT_EQ(LastQueueing(), "Not Queued--Queue Full: " + Site(1));
    EXPECT_EQ(State().GetSiteRecord(1).pendingVersions.count(extra), 0u);

    ASSERT_TRUE(State().PopQueuedRequest());
    State().QueueSiteGatherRequest(Site(1), extra);
    EXPECT_EQ(LastQueueing(), "Queued: " + Site(1));
}
