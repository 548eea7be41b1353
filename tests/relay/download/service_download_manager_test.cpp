#include "relay/download/service_download_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "relay/download/download_manager_fixture.h"
#include "support/captured_log.h"

namespace {

constexpr std::int64_t kMinute = 60 * kMicrosecondsPerSecond;
constexpr std::int64_t kHour = 60 * kMinute;

const std::string kContent = "parent bytes";

DownloadRequestTarget Indexed(std::uint32_t action, std::uint32_t index, const std::string& url = "") {
    return DownloadRequestTarget::Indexed(action, index,
                                          url.empty() ? "http://site/" + std::to_string(index) : url);
}

std::string Text(const DownloadRequestTarget& target) {
    return downloadRequestTargetText(target);
}

class ServiceDownloadManagerTest : public DownloadManagerFixture {
  protected:
    ServiceDownloadManagerTest() { AtParent("7/1", kContent); }
};

}  // namespace

// Test labels: ServiceDownloadManagerTest tsan

// A stop seen before a pass runs no step, and no download starts until RequeueFromStore; the targets
// added meanwhile wait in the inbox.
TEST_F(ServiceDownloadManagerTest, ASetStopRunsNoStepUntilRequeued) {
    Manager().AddDownloads({Indexed(7, 1)}, false);
    m_stop.Set();
    Manager().DoWork();
    EXPECT_EQ(StateOf(Indexed(7, 1)), "none");

    m_stop.Reset();
    Manager().DoWork();
    EXPECT_EQ(StateOf(Indexed(7, 1)), "QUEUED");
    EXPECT_TRUE(Downloader().started.empty());

    Manager().RequeueFromStore();
    Manager().DoWork();
    EXPECT_EQ(Downloader().started, std::vector<std::string>{Text(Indexed(7, 1))});
    EXPECT_EQ(StateOf(Indexed(7, 1)), "COMPLETED");
}

// Whether a target reported by a miss (unforced) or a ping (forced) is started, by its stored state.
TEST_F(ServiceDownloadManagerTest, WhatAnAddedTargetStartsFrom) {
    const struct {
        const char* name;
        DownloadStateStatus status;
        std::int64_t age;
        bool force;
        bool starts;
    } cases[] = {
        {"FAILED just now, unforced", DownloadStateStatus::Failed, 0, false, false},
        {"FAILED just now, forced", DownloadStateStatus::Failed, 0, true, true},
        {"FAILED ten minutes ago, unforced", DownloadStateStatus::Failed, 10 * kMinute, false, true},
        {"FAILED in the future, unforced", DownloadStateStatus::Failed, -kHour, false, true},
        {"REQUEST_SUBMITTED", DownloadStateStatus::RequestSubmitted, 0, false, true},
        {"COMPLETED", DownloadStateStatus::Completed, 0, false, true},
        {"SUSPENDED", DownloadStateStatus::Suspended, 0, false, true},
    };
    std::uint32_t action = 100;
    for (const auto& test : cases) {
        const DownloadRequestTarget target = Indexed(++action, 1);
        AtParent(std::to_string(action) + "/1", kContent);
        Put(target, test.status, GetCurrentUTCTime() - test.age);
        Downloader().started.clear();
        Manager().AddDownloads({target}, test.force);
        Manager().DoWork();
        EXPECT_EQ(!Downloader().started.empty(), test.starts) << test.name;
    }
}

// However often a target is asked for, it is started once: copies in the inbox merge, and one that
// is QUEUED or DOWNLOADING is not queued again, forced or not.
TEST_F(ServiceDownloadManagerTest, NoTargetIsQueuedTwice) {
    Downloader().hold = true;
    for (int miss = 0; miss < 100; ++miss) Manager().AddDownloads({Indexed(7, 1)}, miss % 2 == 0);
    Manager().DoWork();
    Manager().AddDownloads({Indexed(7, 1)}, true);
    Manager().DoWork();
    EXPECT_EQ(Downloader().started.size(), 1u);
    EXPECT_EQ(StateOf(Indexed(7, 1)), "DOWNLOADING");
    EXPECT_EQ(Manager().GetInProgressCount(), 1u);

    Downloader().release = true;
    EXPECT_TRUE(WorkUntil([&] { return Manager().GetInProgressCount() == 0; }));
    EXPECT_EQ(StateOf(Indexed(7, 1)), "COMPLETED");
    EXPECT_EQ(Downloader().started.size(), 1u);
}

// Two targets of one URL (or one SHA-1) never run at once: the second waits for the first.
TEST_F(ServiceDownloadManagerTest, TargetsOfOneURLRunOneAfterTheOther) {
    AtParent("8/1", kContent);
    Downloader().hold = true;
    Manager().AddDownloads({Indexed(7, 1, "http://site/same"), Indexed(8, 1, "http://site/same")}, false);
    Manager().DoWork();
    EXPECT_EQ(Downloader().started, std::vector<std::string>{Text(Indexed(7, 1, "http://site/same"))});
    EXPECT_EQ(StateOf(Indexed(8, 1, "http://site/same")), "QUEUED");

    Downloader().release = true;
    EXPECT_TRUE(WorkUntil([&] { return StateOf(Indexed(8, 1, "http://site/same")) == "COMPLETED"; }));
    EXPECT_EQ(Downloader().started.size(), 2u);
}

// A new list of an action replaces its URL request and indexed targets in the queue; its dynamic
// targets keep their place, or their QUEUED rows would wait for a restart.
TEST_F(ServiceDownloadManagerTest, AQueuedDynamicTargetSurvivesItsActionsNewList) {
    AtParent("7/dl_7", RequestFile(7, {{"http://site/1", "", "null"}}));
    AtParent("sha1/" + Sha1Of(kContent).ToHex(), kContent);
    const DownloadRequestTarget dynamic =
        DownloadRequestTarget::Dynamic(7, Sha1Of(kContent), kContent.size(), "http://site/dynamic");
    WriteSettings({{"_KVRGather_Download_MaxDownloadJobs", "1"}});
    Manager().AddDownloads({DownloadRequestTarget::URLRequest(7), dynamic}, false);
    Manager().DoWork();
    EXPECT_EQ(StateOf(DownloadRequestTarget::URLRequest(7)), "COMPLETED");
    for (int pass = 0; pass < 3; ++pass) Manager().DoWork();
    EXPECT_EQ(StateOf(dynamic), "COMPLETED");
    EXPECT_EQ(StateOf(Indexed(7, 1)), "COMPLETED");
}

// A downloader that cannot start its worker leaves the target queued as it was: no failure, no
// retry spent.
TEST_F(ServiceDownloadManagerTest, ADownloadNotStartedStaysQueued) {
    Put(Indexed(7, 1), DownloadStateStatus::Failed, GetCurrentUTCTime() - kHour);
    Downloader().refuse = true;
    Manager().DoWork();
    ASSERT_EQ(StateOf(Indexed(7, 1)), "QUEUED");
    EXPECT_EQ(m_state->GetState(Indexed(7, 1))->retryCount, 1u);
    EXPECT_EQ(Manager().GetInProgressCount(), 0u);

    Downloader().refuse = false;
    Manager().DoWork();
    EXPECT_EQ(StateOf(Indexed(7, 1)), "COMPLETED");
    EXPECT_EQ(m_state->GetState(Indexed(7, 1))->retryCount, 1u);
}

// A plug-in's failure is tried once more without the plug-in; when that fails too, the plug-in's
// error is the one kept.
TEST_F(ServiceDownloadManagerTest, APluginFailureFallsBackAndKeepsThePluginsError) {
    const DownloadRequestTarget target = Indexed(9, 1, "plugin:a");
    Manager().AddDownloads({target}, false);
    Manager().DoWork();
    ASSERT_EQ(m_plugins->batch.size(), 1u);
    EXPECT_TRUE(Downloader().started.empty());

    Manager().ReportFailure(target, {DownloadErrorKind::Generic, "plug-in error"});
    Manager().DoWork();
    EXPECT_EQ(Downloader().started, std::vector<std::string>{Text(target)});
    Manager().DoWork();
    const std::optional<DownloadStateRecord> row = m_state->GetState(target);
    ASSERT_EQ(DownloadStateName(row->status), std::string("FAILED"));
    EXPECT_EQ(row->error->message, "plug-in error");
    EXPECT_EQ(Manager().GetInProgressCount(), 0u);
}

TEST_F(ServiceDownloadManagerTest, CompletionsByKindAndForAVanishedRow) {
    const DownloadRequestTarget suspended = Indexed(9, 1, "plugin:a");
    const DownloadRequestTarget vanished = Indexed(9, 2, "plugin:b");
    Manager().AddDownloads({suspended, vanished}, false);
    Manager().DoWork();
    WriteAgedFile(m_settings.GetDownloadTargetFile(suspended).GetPathString(), "part", 0);
    WriteAgedFile(m_settings.GetDownloadTargetFile(vanished).GetPathString(), "part", 0);
    m_state->DeleteAction(9);
    Put(suspended, DownloadStateStatus::Downloading, GetCurrentUTCTime());

    Manager().ReportSuspended(suspended);
    Manager().ReportSuccess(vanished);
    Manager().DoWork();
    EXPECT_EQ(StateOf(suspended), "SUSPENDED");
    EXPECT_TRUE(std::filesystem::exists(m_settings.GetDownloadTargetFile(suspended).GetPathString()));
    EXPECT_EQ(StateOf(vanished), "none");
    EXPECT_FALSE(std::filesystem::exists(m_settings.GetDownloadTargetFile(vanished).GetPathString()));
    EXPECT_EQ(Manager().GetInProgressCount(), 0u);
}

// A target in the cache completes without a download; its action, complete, is pinged once however
// many of its targets complete within ten minutes.
TEST_F(ServiceDownloadManagerTest, ACachedTargetCompletesAtOnceAndTheActionIsPingedOnce) {
    const DownloadRequestTarget first = Indexed(7, 1);
    const DownloadRequestTarget second = Indexed(7, 2);
    InSha1Folder(kContent);
    m_state->ReplaceIndexedDownloads(7, {DownloadRequestTarget::Indexed(7, 1, "http://site/1", Sha1Of(kContent)),
                                         DownloadRequestTarget::Indexed(7, 2, "http://site/2", Sha1Of(kContent))});
    Put(DownloadRequestTarget::URLRequest(7), DownloadStateStatus::Completed, GetCurrentUTCTime());
    Manager().DoWork();
    Manager().AddDownloads({first, second}, true);
    Manager().DoWork();
    EXPECT_EQ(StateOf(first), "COMPLETED");
    EXPECT_EQ(StateOf(second), "COMPLETED");
    EXPECT_TRUE(Downloader().started.empty());
    EXPECT_EQ(Manager().GetInProgressCount(), 0u);
    EXPECT_EQ(m_notifier.actionPings, std::vector<std::uint32_t>{7});
}

// Children's requests go to the parent once: duplicates collapse, and a target asked for lately is
// not asked again before its retry time.
TEST_F(ServiceDownloadManagerTest, RequestedTargetsGoUpstreamOnce) {
    Put(Indexed(8, 1), DownloadStateStatus::Downloading, GetCurrentUTCTime());
    Manager().AddRequestedTargets({Indexed(7, 2), Indexed(7, 1), Indexed(7, 2), Indexed(8, 1)});
    Manager().DoWork();
    Manager().AddRequestedTargets({Indexed(7, 1)});
    Manager().DoWork();
    EXPECT_EQ(m_upstream.requests, (std::vector<std::vector<std::string>>{{Text(Indexed(7, 1)), Text(Indexed(7, 2))}}));
    EXPECT_EQ(StateOf(Indexed(7, 1)), "REQUEST_SUBMITTED");
}

// The purge runs at the first pass, then at most once an hour however often the passes come.
TEST_F(ServiceDownloadManagerTest, TheCachePurgeRunsFirstThenHourly) {
    WriteSettings({{"_KVRGather_Download_CacheLimitMB", "0"}});
    const auto oldFile = [this](const std::string& name) {
        WriteAgedFile(Downloads("sha1/" + name), "x", 2 * kMicrosecondsPerDay);
        return Downloads("sha1/" + name);
    };
    const std::string first = oldFile("a");
    Manager().DoWork();
    EXPECT_FALSE(std::filesystem::exists(first));

    const std::string second = oldFile("b");
    m_now += kHour - 1;
    Manager().DoWork();
    EXPECT_TRUE(std::filesystem::exists(second));
    m_now += 1;
    Manager().DoWork();
    EXPECT_FALSE(std::filesystem::exists(second));
}

// A reset with a download running: its event is set only once the download was stopped, its
// completion processed and the store emptied; the active downloads are deleted.
TEST_F(ServiceDownloadManagerTest, AResetStopsTheDownloadsThenEmptiesTheStore) {
    Downloader().hold = true;
    Manager().AddDownloads({Indexed(7, 1)}, false);
    Put(DownloadRequestTarget::URLRequest(8), DownloadStateStatus::Completed, GetCurrentUTCTime());
    Manager().DoWork();
    WriteAgedFile(Downloads("ActiveDownloads/indexed_7_1"), "part", 0);
    ASSERT_EQ(StateOf(Indexed(7, 1)), "DOWNLOADING");

    auto done = std::make_shared<Event>();
    Manager().RequestActionSiteReset(done);
    Manager().DoWork();
    EXPECT_TRUE(done->Wait(0));
    EXPECT_EQ(StateOf(Indexed(7, 1)), "none");
    EXPECT_EQ(StateOf(DownloadRequestTarget::URLRequest(8)), "none");
    EXPECT_EQ(Manager().GetInProgressCount(), 0u);
    EXPECT_TRUE(Names(Downloads("ActiveDownloads")).empty());
}

// A stop seen while queued downloads start ends the round: the targets not looked at leave the
// in-memory queue and stay QUEUED, and AbortAll suspends only what it still holds.
TEST_F(ServiceDownloadManagerTest, AStopWhileStartingLeavesTheRestQueued) {
    AtParent("7/2", kContent);
    Downloader().stopOnStart = &m_stop;
    Manager().AddDownloads({Indexed(7, 1), Indexed(7, 2)}, false);
    Manager().DoWork();
    EXPECT_EQ(Downloader().started, std::vector<std::string>{Text(Indexed(7, 1))});
    Manager().AbortAll();
    EXPECT_EQ(StateOf(Indexed(7, 1)), "COMPLETED");
    EXPECT_EQ(StateOf(Indexed(7, 2)), "QUEUED");
}

// At shutdown the running downloads end suspended and the queued ones are marked SUSPENDED; the next
// start queues both again.
TEST_F(ServiceDownloadManagerTest, AbortAllSuspendsWhatRunsAndWhatWaits) {
    const DownloadRequestTarget waiting = Indexed(8, 1, "http://site/8");
    AtParent("8/1", kContent);
    Downloader().hold = true;
    WriteSettings({{"_KVRGather_Download_MaxDownloadJobs", "1"}});
    Manager().AddDownloads({Indexed(7, 1), waiting}, false);
    Manager().DoWork();
    Manager().AbortAll();
    EXPECT_EQ(StateOf(Indexed(7, 1)), "SUSPENDED");
    EXPECT_EQ(StateOf(waiting), "SUSPENDED");

    Downloader().hold = false;
    WriteSettings();
    Manager().RequeueFromStore();
    Manager().DoWork();
    EXPECT_EQ(StateOf(Indexed(7, 1)), "COMPLETED");
    EXPECT_EQ(StateOf(waiting), "COMPLETED");
}
