#include "relay/download/download_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/interruptor.h"
#include "relay/download/download_report_fixture.h"

namespace {

using Action = DownloadMirrorActionStatus;

class DownloadReportTest : public DownloadReportFixture {
  protected:
    std::vector<ActionDownload> Build() { return BuildActionDownloads(m_settings, m_stop); }

    std::optional<DownloadReportEntry> EntryAt(const DownloadRequestTarget& target, TimeValue now) {
        return BuildDownloadReportEntry(target, m_settings, State(), now);
    }

    Event m_stop;
};

}  // namespace

TEST_F(DownloadReportTest, EachActionIsSummedUpFromItsDownloads) {
    SeedEachState();
    const std::vector<ActionDownload> actions = Build();

    const struct {
        std::uint32_t actionID;
        Action state;
        bool isActive;
        std::size_t entries;
    } expected[] = {
        {12, Action::Ready, false, 2},  {13, Action::Pending, false, 1}, {14, Action::InProgress, true, 2},
        {16, Action::Failed, false, 2}, {17, Action::Pending, false, 1},
    };
    ASSERT_EQ(actions.size(), std::size(expected));
    for (std::size_t i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(expected[i].actionID);
        EXPECT_EQ(actions[i].actionID, expected[i].actionID);
        EXPECT_EQ(actions[i].state, expected[i].state);
        EXPECT_EQ(actions[i].isActive, expected[i].isActive);
        EXPECT_EQ(actions[i].downloads.size(), expected[i].entries);
    }
}

// A failed entry's line names its target; one without a text says so. The lines are kept for an
// action in progress too.
TEST_F(DownloadReportTest, EveryFailedEntryGivesOneErrorLine) {
    SeedEachState();
    const std::vector<ActionDownload> actions = Build();
    EXPECT_EQ(
        actions[3].error,
        "Error downloading {aid=16,index=0,sha1=null,size=null,url=http%3a%2f%2fsite%2fe.zip}: HTTP 404\r\n"
        "Error downloading {aid=16,index=null,sha1=d6d6d6d6d6d6d6d6d6d6d6d6d6d6d6d6d6d6d6d6,size=42,"
        "url=http%3a%2f%2fsite%2ff.bin}: (unspecified)\r\n");
    EXPECT_EQ(actions[2].error,
              "Error downloading {aid=14,index=1,sha1=null,size=null,url=http%3a%2f%2fsite%2fd.zip}: timed "
              "out\r\n");
    EXPECT_EQ(actions[0].error, "");
}

TEST_F(DownloadReportTest, TheDateIsTheLatestChangeAndIndexedDownloadsComeFirst) {
    const TimeValue now = GetCurrentUTCTime();
    const DownloadRequestTarget dynamic =
        DownloadRequestTarget::Dynamic(20, FilledDigest(1), 1, "http://site/new");
    Put(dynamic, Status::Queued, now - kMinute);
    Put(DownloadRequestTarget::Indexed(20, 3, "http://site/old"), Status::New, now - 60 * kMinute);

    const ActionDownload action = BuildActionDownload(20, m_settings, State(), now);
    EXPECT_EQ(action.date, now - kMinute);
    ASSERT_EQ(action.downloads.size(), 2u);
    EXPECT_EQ(action.downloads[0].target.GetURL(), "http://site/old");
    EXPECT_EQ(action.downloads[1].target.GetURL(), "http://site/new");

    EXPECT_EQ(BuildActionDownload(21, m_settings, State(), now).date, 0);
}

// Ready needs the URL request COMPLETED and every indexed download cached, also one that has no row.
TEST_F(DownloadReportTest, ReadyOnlyWithACompletedListAndEveryIndexedFileCached) {
    const TimeValue now = GetCurrentUTCTime();
    Put(DownloadRequestTarget::Indexed(30, 0, "http://site/a", FilledDigest(0x30)), Status::Completed);
    CacheSha1(FilledDigest(0x30));
    EXPECT_EQ(BuildActionDownload(30, m_settings, State(), now).state, Action::Pending)
        << "no URL request row";

    Put(DownloadRequestTarget::URLRequest(30), Status::Completed);
    EXPECT_EQ(BuildActionDownload(30, m_settings, State(), now).state, Action::Ready);

    // An indexed download whose SHA-1 is known but not cached.
    Put(DownloadRequestTarget::Indexed(30, 1, "http://site/b", FilledDigest(0x31)), Status::Completed);
    EXPECT_EQ(BuildActionDownload(30, m_settings, State(), now).state, Action::Pending);
    CacheSha1(FilledDigest(0x31));
    EXPECT_EQ(BuildActionDownload(30, m_settings, State(), now).state, Action::Ready);

    // An indexed download without a SHA-1 is never cached.
    Put(DownloadRequestTarget::Indexed(30, 2, "http://site/c"), Status::Completed);
    EXPECT_EQ(BuildActionDownload(30, m_settings, State(), now).state, Action::Pending);
}

TEST_F(DownloadReportTest, AnEntryTellsItsProgressAndItsNextRetry) {
    const TimeValue changed = GetCurrentUTCTime();
    const DownloadRequestTarget cached =
        DownloadRequestTarget::Indexed(40, 0, "http://site/a", FilledDigest(4), 5);
    const DownloadRequestTarget cachedWithoutSize =
        DownloadRequestTarget::Indexed(40, 1, "http://site/b", FilledDigest(4));
    const DownloadRequestTarget partial =
        DownloadRequestTarget::Indexed(40, 2, "http://site/c", std::nullopt, 1000);
    const DownloadRequestTarget started =
        DownloadRequestTarget::Indexed(40, 3, "http://site/d", std::nullopt, 1000);
    const DownloadRequestTarget failed = DownloadRequestTarget::Indexed(40, 4, "http://site/e");
    const DownloadRequestTarget atLimit =
        DownloadRequestTarget::Dynamic(40, FilledDigest(5), 9, "http://site/f");
    Put(cached, Status::Completed, changed);
    Put(cachedWithoutSize, Status::Completed, changed);
    CacheSha1(FilledDigest(4));
    Put(partial, Status::Downloading, changed);
    Partial(partial, 300);
    Put(started, Status::Downloading, changed);
    Put(failed, Status::Failed, changed);
    Put(atLimit, Status::Failed, changed);
    Retried(atLimit, 5);

    using Bytes = std::optional<std::uint64_t>;
    using Minutes = std::optional<std::int64_t>;
    const struct {
        const char* name;
        DownloadRequestTarget target;
        std::int64_t later;  // microseconds after the change
        bool available;
        Bytes downloaded, total;
        Minutes minutes;
    } cases[] = {
        {"cached", cached, 0, true, 5, 5, {}},
        {"cached without a size", cachedWithoutSize, 0, true, {}, {}, {}},
        {"partial file", partial, 0, false, 300, 1000, {}},
        {"no partial file yet", started, 0, false, 0, 1000, {}},
        {"failed 90 s ago", failed, 90'000'000, false, {}, {}, 9},
        {"failed, retry just due", failed, 10 * kMinute + 30'000'000, false, {}, {}, 1},
        {"failed an hour ago", failed, 60 * kMinute, false, {}, {}, -49},
        {"failed at the retry limit", atLimit, 0, false, {}, 9, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<DownloadReportEntry> found = EntryAt(c.target, changed + c.later);
        ASSERT_TRUE(found);
        const DownloadReportEntry& entry = *found;
        EXPECT_EQ(entry.available, c.available);
        EXPECT_EQ(entry.bytesDownloaded, c.downloaded);
        EXPECT_EQ(entry.totalBytes, c.total);
        EXPECT_EQ(entry.minutesToNextRetry, c.minutes);
        EXPECT_EQ(entry.retryLimit, 5u);
    }
    EXPECT_FALSE(BuildDownloadReportEntry(DownloadRequestTarget::Indexed(40, 9, "http://site/z"), m_settings,
                                          State(), changed));
}

TEST_F(DownloadReportTest, TheRetrySettingsAreReadAtEachBuild) {
    const TimeValue changed = GetCurrentUTCTime();
    const DownloadRequestTarget failed = DownloadRequestTarget::Indexed(41, 0, "http://site/e");
    Put(failed, Status::Failed, changed);
    Retried(failed, 2);
    WriteSettings({{"_KVRGather_Download_RetryLimit", "2"}});
    ASSERT_TRUE(EntryAt(failed, changed));
    EXPECT_FALSE(EntryAt(failed, changed)->minutesToNextRetry);

    WriteSettings({{"_KVRGather_Download_RetryLimit", "3"}, {"_KVRGather_Download_RetryMinutes", "30"}});
    const std::optional<DownloadReportEntry> entry = EntryAt(failed, changed);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->minutesToNextRetry, 31);
    EXPECT_EQ(entry->retryLimit, 3u);
}

TEST_F(DownloadReportTest, AnEmptyStoreHasNoActions) {
    EXPECT_TRUE(Build().empty());
}

TEST_F(DownloadReportTest, ASetStopEndsTheBuildBetweenActions) {
    SeedEachState();
    m_stop.Set();
    EXPECT_THROW(Build(), StopRequest);
}

TEST(DownloadReportHead, IsACompleteHeadWithoutALength) {
    const std::string head = DownloadReportHead("text/plain");
    ASSERT_EQ(head.rfind("HTTP/1.1 200 OK\r\nDate: ", 0), 0u) << head;
    const std::string rest = head.substr(head.find("STATUS: "));
    EXPECT_EQ(rest,
              "STATUS: 200\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\nCache-Control: no-cache\r\n"
              "Cache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n\r\n");
}
