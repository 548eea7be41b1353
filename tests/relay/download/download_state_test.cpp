#include "relay/download/download_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/checksum_receiver.h"
#include "foundation/clocks.h"
#include "relay/download/download_test_support.h"
#include "support/captured_log.h"

namespace {

using Status = DownloadStateStatus;
using Targets = std::vector<DownloadRequestTarget>;

constexpr std::int64_t kMinute = 60 * kMicrosecondsPerSecond;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;

const DownloadRequestTarget kURLRequest = DownloadRequestTarget::URLRequest(7);
const DownloadRequestTarget kIndexed = DownloadRequestTarget::Indexed(7, 2, "http://parent/a.zip");
const DownloadRequestTarget kDynamic = DownloadRequestTarget::Dynamic(7, FilledDigest(0xab), 5000, "http://site/b.bin");

std::vector<std::string> Texts(const Targets& targets) {
    std::vector<std::string> texts;
    for (const DownloadRequestTarget& target : targets) texts.push_back(downloadRequestTargetText(target));
    return texts;
}

bool Contains(const Targets& targets, const DownloadRequestTarget& target) {
    const std::vector<std::string> texts = Texts(targets);
    return std::find(texts.begin(), texts.end(), downloadRequestTargetText(target)) != texts.end();
}

constexpr std::uint32_t kRacedTargets = 20;

DownloadRequestTarget RacedTarget(std::uint32_t action) {
    return DownloadRequestTarget::Indexed(action, 0, "http://parent/x");
}

DownloadStateRecord Record(Status status, TimeValue lastUpdate) {
    DownloadStateRecord record;
    record.status = status;
    record.lastUpdate = lastUpdate;
    return record;
}

// A database made as the relay's start-up makes it, and a store over it.
class DownloadStateTest : public DownloadSettingsFixture {
  protected:
    DownloadStateTest() {
        OpenDownloadStateDatabase(m_settings);
        m_state = std::make_unique<DownloadState>(m_settings);
    }

    DownloadState& State() { return *m_state; }
    // Puts a target without a row into the state, dated `lastUpdate`.
    void Put(const DownloadRequestTarget& target, Status status, TimeValue lastUpdate = GetCurrentUTCTime()) {
        State().SetState(target, Record(status, lastUpdate));
    }
    // Two threads, each with a connection of its own, start together and run the step on the same
    // targets, one after the other.
    void RaceOnTwoConnections(const std::function<void(DownloadState&, const DownloadRequestTarget&)>& step) {
        std::atomic<int> ready{0};
        const auto run = [&] {
            DownloadState state(m_settings);
            ++ready;
            while (ready < 2) std::this_thread::yield();
            for (std::uint32_t action = 1; action <= kRacedTargets; ++action) step(state, RacedTarget(action));
        };
        std::thread first(run), second(run);
        first.join();
        second.join();
    }
    std::size_t RowCount(const char* table) {
        return QueryRows(DatabasePath(), (std::string("select * from ") + table).c_str()).size();
    }

    std::unique_ptr<DownloadState> m_state;
};

TEST_F(DownloadStateTest, ChangesOfStateFollowTheTable) {
    // Rows: the state now; columns: the new state, both in the order NEW .. SUSPENDED.
    const char* const allowed[kDownloadStateStatusCount] = {
        /* NEW               */ "-Y--YY-",
        /* REQUEST_SUBMITTED */ "-Y--YY-",
        /* DOWNLOADING       */ "--YYY-Y",
        /* COMPLETED         */ "-Y--YY-",
        /* FAILED            */ "-Y--YY-",
        /* QUEUED            */ "--YYY-Y",
        /* SUSPENDED         */ "----YY-",
    };
    std::uint32_t action = 100;
    for (std::uint32_t from = 0; from < kDownloadStateStatusCount; ++from) {
        for (std::uint32_t to = 0; to < kDownloadStateStatusCount; ++to) {
            const Status old = static_cast<Status>(from);
            const Status wanted = static_cast<Status>(to);
            SCOPED_TRACE(std::string(DownloadStateName(old)) + " -> " + DownloadStateName(wanted));
            const bool expected = allowed[from][to] == 'Y';
            EXPECT_EQ(IsAllowedDownloadStateChange(old, wanted), expected);

            const DownloadRequestTarget target = DownloadRequestTarget::Indexed(++action, 0, "http://parent/x");
            Put(target, old);
            if (expected) {
                EXPECT_EQ(State().SetState(target, Record(wanted, GetCurrentUTCTime())).status, wanted);
            } else {
                try {
                    State().SetState(target, Record(wanted, GetCurrentUTCTime()));
                    ADD_FAILURE() << "the change was made";
                } catch (const InvalidDownloadStateChange& refused) {
                    EXPECT_EQ(std::string(refused.what()), std::string("Invalid download state change (") +
                                                               DownloadStateName(old) + " -> " +
                                                               DownloadStateName(wanted) + ")");
                }
            }
            EXPECT_EQ(State().GetState(target)->status, expected ? wanted : old);
        }
    }
}

TEST_F(DownloadStateTest, TheFirstChangeInsertsARowAndEveryChangeIsLogged) {
    CapturedLog log;
    for (const DownloadRequestTarget& target : {kURLRequest, kIndexed, kDynamic}) {
        SCOPED_TRACE(downloadRequestTargetText(target));
        EXPECT_EQ(State().GetState(target), std::nullopt);
        const DownloadStateRecord queued = State().SetQueued(target);
        EXPECT_EQ(queued.status, Status::Queued);
        EXPECT_EQ(queued.retryCount, 0u);
        const std::optional<DownloadStateRecord> stored = State().GetState(target);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->status, Status::Queued);
        EXPECT_EQ(stored->lastUpdate, queued.lastUpdate);
        EXPECT_EQ(stored->lastUpdate % kMicrosecondsPerSecond, 0);
        EXPECT_EQ(stored->retryCount, 0u);
        EXPECT_FALSE(stored->error);
        State().SetDownloading(target);
    }
    EXPECT_EQ(log.LinesStartingWith("debug: DownloadState: "),
              (std::vector<std::string>{
                  "debug: DownloadState: download {aid=7,index=null,sha1=null,size=null,url=null} changed from no state to QUEUED",
                  "debug: DownloadState: download {aid=7,index=null,sha1=null,size=null,url=null} changed from QUEUED to "
                  "DOWNLOADING",
                  "debug: DownloadState: download {aid=7,index=2,sha1=null,size=null,url=http%3a%2f%2fparent%2fa.zip} changed "
                  "from no state to QUEUED",
                  "debug: DownloadState: download {aid=7,index=2,sha1=null,size=null,url=http%3a%2f%2fparent%2fa.zip} changed "
                  "from QUEUED to DOWNLOADING",
                  "debug: DownloadState: download {aid=7,index=null,sha1=abababababababababababababababababababab,size=5000,"
                  "url=http%3a%2f%2fsite%2fb.bin} changed from no state to QUEUED",
                  "debug: DownloadState: download {aid=7,index=null,sha1=abababababababababababababababababababab,size=5000,"
                  "url=http%3a%2f%2fsite%2fb.bin} changed from QUEUED to DOWNLOADING",
              }));
}

TEST_F(DownloadStateTest, AFailureKeepsItsErrorUntilTheNextChange) {
    CapturedLog log;
    Put(kIndexed, Status::Downloading);
    State().SetFailed(kIndexed, DownloadError{DownloadErrorKind::RemovedFromCache, "gone from the cache \xC3\xA9"});
    std::optional<DownloadStateRecord> stored = State().GetState(kIndexed);
    ASSERT_TRUE(stored && stored->error);
    EXPECT_EQ(stored->status, Status::Failed);
    EXPECT_EQ(stored->error->kind, DownloadErrorKind::RemovedFromCache);
    EXPECT_EQ(stored->error->message, "gone from the cache \xC3\xA9");
    EXPECT_EQ(log.LinesStartingWith("debug: Download failed: "),
              std::vector<std::string>{"debug: Download failed: aid=7,index=2,sha1=null,size=null,url=http%3a%2f%2fparent%2fa.zip"
                                       "\r\nReason: gone from the cache \xC3\xA9"});

    State().SetQueued(kIndexed);
    EXPECT_FALSE(State().GetState(kIndexed)->error);
    EXPECT_EQ(QueryRows(DatabasePath(), "select ErrorCode, ErrorString from INDEXED_DOWNLOADS"),
              std::vector<std::string>{"NULL|NULL"});
}

TEST_F(DownloadStateTest, AnErrorWithOneColumnMissingReadsAsNoError) {
    Put(kURLRequest, Status::Failed);
    ExecuteOn(DatabasePath(), "update URL_REQUESTS set ErrorCode = 2");
    EXPECT_FALSE(State().GetState(kURLRequest)->error);
}

struct DueCase {
    const char* name;
    Status status;
    std::int64_t age;  // how long ago the last change was; negative: in the future
    unsigned retries;  // IncrementRetryCount calls
    bool disabled;     // DisableRetries
    bool due;
};

// With the default settings: at most 5 retries, 10 minutes apart.
const DueCase kDueCases[] = {
    {"new", Status::New, 0, 0, false, true},
    {"new, retries disabled", Status::New, 0, 0, true, true},
    {"failed ten minutes ago", Status::Failed, 10 * kMinute, 0, false, true},
    {"failed nine minutes ago", Status::Failed, 9 * kMinute, 0, false, false},
    {"failed an hour from now", Status::Failed, -kHour, 0, false, true},
    {"failed, retried four times", Status::Failed, kHour, 4, false, true},
    {"failed, retried five times", Status::Failed, kHour, 5, false, false},
    {"failed, retries disabled", Status::Failed, kHour, 0, true, false},
    {"failed, retries disabled, retried again", Status::Failed, kHour, 1, true, false},
    {"queued", Status::Queued, kHour, 0, false, false},
    {"completed", Status::Completed, kHour, 0, false, false},
    {"suspended", Status::Suspended, kHour, 0, false, false},
    {"request submitted", Status::RequestSubmitted, kHour, 0, false, false},
};

TEST_F(DownloadStateTest, DueAreNewTargetsAndFailedOnesWhoseRetryHasCome) {
    for (const DueCase& c : kDueCases) {
        for (DownloadRequestTarget target : {kURLRequest, kIndexed, kDynamic}) {
            SCOPED_TRACE(std::string(c.name) + ": " + downloadRequestTargetText(target));
            State().DeleteAll();
            Put(target, c.status, GetCurrentUTCTime() - c.age);
            if (c.disabled) State().DisableRetries(target);
            for (unsigned retry = 0; retry < c.retries; ++retry) State().IncrementRetryCount(target);
            EXPECT_EQ(Texts(State().GetDue()),
                      c.due ? std::vector<std::string>{downloadRequestTargetText(target)} : std::vector<std::string>{});
        }
    }
}

TEST_F(DownloadStateTest, TheRetryLimitAndIntervalAreReadAtEachCall) {
    Put(kIndexed, Status::Failed, GetCurrentUTCTime() - 2 * kMinute);
    State().IncrementRetryCount(kIndexed);
    EXPECT_TRUE(State().GetDue().empty());
    WriteSettings({{"_KVRGather_Download_RetryMinutes", "1"}});
    EXPECT_EQ(State().GetDue().size(), 1u);
    WriteSettings({{"_KVRGather_Download_RetryMinutes", "1"}, {"_KVRGather_Download_RetryLimit", "1"}});
    EXPECT_TRUE(State().GetDue().empty());
    State().ResetRetryCount(kIndexed);
    EXPECT_EQ(State().GetDue().size(), 1u);
}

TEST_F(DownloadStateTest, DueTargetsComeURLRequestsFirstThenIndexedThenDynamic) {
    Put(kDynamic, Status::New);
    Put(kIndexed, Status::New);
    Put(kURLRequest, Status::New);
    EXPECT_EQ(Texts(State().GetDue()), Texts({kURLRequest, kIndexed, kDynamic}));
}

TEST_F(DownloadStateTest, ADynamicRetryCountIsSharedByEveryRowWithItsDigest) {
    const DownloadRequestTarget sibling = DownloadRequestTarget::Dynamic(8, kDynamic.GetSha1().value(), 5000, "http://mirror/b");
    const DownloadRequestTarget other = DownloadRequestTarget::Dynamic(7, FilledDigest(0xcd), 5000, "http://site/b.bin");
    for (const DownloadRequestTarget& target : {kDynamic, sibling, other}) Put(target, Status::Failed);
    State().IncrementRetryCount(kDynamic);
    State().IncrementRetryCount(sibling);
    EXPECT_EQ(State().GetState(kDynamic)->retryCount, 2u);
    EXPECT_EQ(State().GetState(sibling)->retryCount, 2u);
    EXPECT_EQ(State().GetState(other)->retryCount, 0u);
    State().ResetRetryCount(sibling);
    EXPECT_EQ(State().GetState(kDynamic)->retryCount, 0u);
}

TEST_F(DownloadStateTest, ADisabledCountStaysAtItsLimitWhenASiblingIsRetried) {
    const DownloadRequestTarget sibling = DownloadRequestTarget::Dynamic(8, kDynamic.GetSha1().value(), 5000, "http://mirror/b");
    Put(kDynamic, Status::Failed);
    State().DisableRetries(kDynamic);
    // The sibling's row comes later and starts a count of its own at 0; retrying it adds one to every
    // row of the digest, but the disabled one is at its limit.
    Put(sibling, Status::Failed);
    State().IncrementRetryCount(sibling);
    EXPECT_EQ(State().GetState(kDynamic)->retryCount, kRetriesDisabled);
    EXPECT_EQ(State().GetState(sibling)->retryCount, 1u);
    for (const DownloadRequestTarget& target : {kURLRequest, kIndexed}) {
        Put(target, Status::Failed);
        State().DisableRetries(target);
        State().IncrementRetryCount(target);
        EXPECT_EQ(State().GetState(target)->retryCount, kRetriesDisabled) << downloadRequestTargetText(target);
    }
}

TEST_F(DownloadStateTest, DynamicDownloadsUnchangedForSevenDaysAreNotFound) {
    const DownloadRequestTarget recent = kDynamic;
    const DownloadRequestTarget old = DownloadRequestTarget::Dynamic(7, kDynamic.GetSha1().value(), 5000, "http://old/b");
    Put(recent, Status::Completed, GetCurrentUTCTime() - 6 * kDay);
    Put(old, Status::Completed, GetCurrentUTCTime() - 8 * kDay);
    const std::uint32_t crc = ChecksumOfRange(kDynamic.GetSha1()->Bytes());
    EXPECT_EQ(Texts(State().GetDynamicDownloadsByAction(7)), Texts({recent}));
    EXPECT_EQ(Texts(State().GetDynamicDownloadsByCRC(crc)), Texts({recent}));
    EXPECT_EQ(Texts(State().GetDynamicDownloadsBySHA1(*kDynamic.GetSha1())), Texts({recent}));
    EXPECT_TRUE(State().GetDynamicDownloadsByCRC(crc + 1).empty());
    EXPECT_TRUE(State().GetDynamicDownloadsBySHA1(FilledDigest(0)).empty());
}

TEST_F(DownloadStateTest, AURLWithANulByteIsKeptWhole) {
    const std::string url("http://site/a\0b", 15);
    const DownloadRequestTarget dynamic = DownloadRequestTarget::Dynamic(9, FilledDigest(1), 10, url);
    const DownloadRequestTarget cut = DownloadRequestTarget::Dynamic(9, FilledDigest(1), 10, "http://site/a");
    const DownloadRequestTarget indexed = DownloadRequestTarget::Indexed(9, 0, url);
    Put(dynamic, Status::Queued);
    Put(indexed, Status::Queued);
    EXPECT_EQ(State().GetState(cut), std::nullopt);
    Put(cut, Status::New);
    EXPECT_EQ(State().GetState(dynamic)->status, Status::Queued);

    const Targets found = State().GetDynamicDownloadsByAction(9);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(Contains(found, dynamic));
    EXPECT_TRUE(Contains(found, cut));
    EXPECT_EQ(State().GetActionDownloads(9).at(0).GetURL(), url);
}

TEST_F(DownloadStateTest, AnEmptyURLIsStoredAsEmptyText) {
    const DownloadRequestTarget empty = DownloadRequestTarget::Indexed(9, 0, "");
    Put(empty, Status::New);
    EXPECT_EQ(QueryRows(DatabasePath(), "select count(*) from INDEXED_DOWNLOADS where URL = ''"),
              std::vector<std::string>{"1"});
    EXPECT_EQ(State().GetActionDownloads(9).at(0).GetURL(), "");
}

// Test labels: DownloadStateTest.TwoConnectionsSettingOneNewTargetMakeOneRow tsan
TEST_F(DownloadStateTest, TwoConnectionsSettingOneNewTargetMakeOneRow) {
    std::atomic<int> failures{0};
    RaceOnTwoConnections([&](DownloadState& state, const DownloadRequestTarget& target) {
        try {
            state.SetRequestSubmitted(target);
        } catch (const std::exception& error) {
            ++failures;
            ADD_FAILURE() << error.what();
        }
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(RowCount("INDEXED_DOWNLOADS"), kRacedTargets);
}

// Test labels: DownloadStateTest.OfTwoConnectionsCompletingOneDownloadOnlyOneSucceeds tsan
TEST_F(DownloadStateTest, OfTwoConnectionsCompletingOneDownloadOnlyOneSucceeds) {
    for (std::uint32_t action = 1; action <= kRacedTargets; ++action) Put(RacedTarget(action), Status::Downloading);
    std::atomic<int> completed{0};
    std::atomic<int> refused{0};
    RaceOnTwoConnections([&](DownloadState& state, const DownloadRequestTarget& target) {
        try {
            state.SetCompleted(target);
            ++completed;
        } catch (const InvalidDownloadStateChange&) {
            ++refused;
        }
    });
    EXPECT_EQ(completed, static_cast<int>(kRacedTargets));
    EXPECT_EQ(refused, static_cast<int>(kRacedTargets));
}

TEST_F(DownloadStateTest, ACallersTransactionHoldsTheStoresChangesUntilItCommits) {
    {
        SQLite::WriteTransaction transaction = State().BeginWriteTransaction();
        State().SetQueued(kURLRequest);
        State().SetQueued(kIndexed);
        EXPECT_EQ(RowCount("URL_REQUESTS") + RowCount("INDEXED_DOWNLOADS"), 0u);
        EXPECT_THROW(State().SetNew(kIndexed), InvalidDownloadStateChange);
        EXPECT_EQ(State().GetState(kIndexed)->status, Status::Queued);
    }
    EXPECT_EQ(State().GetState(kURLRequest), std::nullopt);
    {
        SQLite::WriteTransaction transaction = State().BeginWriteTransaction();
        State().SetQueued(kURLRequest);
        transaction.Commit();
    }
    EXPECT_EQ(RowCount("URL_REQUESTS"), 1u);
}

TEST_F(DownloadStateTest, ReplacingAnActionsDownloadsIsAllOrNothing) {
    Put(DownloadRequestTarget::Indexed(7, 0, "http://parent/old0"), Status::Completed);
    Put(DownloadRequestTarget::Indexed(7, 1, "http://parent/old1"), Status::Failed);
    Put(DownloadRequestTarget::Indexed(8, 0, "http://parent/other"), Status::Queued);
    const Targets replacement = {DownloadRequestTarget::Indexed(7, 0, "http://parent/new0", FilledDigest(2), 10),
                                 DownloadRequestTarget::Indexed(7, 5, "http://parent/new5")};
    State().ReplaceIndexedDownloads(7, replacement);
    EXPECT_EQ(QueryRows(DatabasePath(), "select ActionID, DownloadIndex, URL, Status from INDEXED_DOWNLOADS order by 1, 2"),
              (std::vector<std::string>{"7|0|http://parent/new0|0", "7|5|http://parent/new5|0", "8|0|http://parent/other|5"}));
    EXPECT_EQ(Texts(State().GetActionDownloads(7)), Texts(replacement));

    const Targets twice = {DownloadRequestTarget::Indexed(7, 3, "http://parent/x"),
                           DownloadRequestTarget::Indexed(7, 3, "http://parent/x")};
    EXPECT_THROW(State().ReplaceIndexedDownloads(7, twice), InvalidDownloadStateChange);
    EXPECT_EQ(Texts(State().GetActionDownloads(7)), Texts(replacement));
}

TEST_F(DownloadStateTest, DeletingAnActionKeepsItsDynamicDownloads) {
    for (const DownloadRequestTarget& target : {kURLRequest, kIndexed, kDynamic}) Put(target, Status::Completed);
    Put(DownloadRequestTarget::Indexed(8, 0, "http://parent/other"), Status::Completed);
    Put(DownloadRequestTarget::Dynamic(9, FilledDigest(3), 1, "http://site/c"), Status::Completed);
    EXPECT_EQ(State().GetActionIDs(), (std::vector<std::uint32_t>{7, 8, 9}));
    State().DeleteAction(7);
    EXPECT_EQ(State().GetState(kURLRequest), std::nullopt);
    EXPECT_EQ(State().GetState(kIndexed), std::nullopt);
    EXPECT_EQ(State().GetState(kDynamic)->status, Status::Completed);
    EXPECT_EQ(State().GetActionIDs(), (std::vector<std::uint32_t>{7, 8, 9}));
    State().DeleteAll();
    EXPECT_TRUE(State().GetActionIDs().empty());
    EXPECT_EQ(RowCount("URL_REQUESTS") + RowCount("INDEXED_DOWNLOADS") + RowCount("DYNAMIC_DOWNLOADS"), 0u);
}

TEST_F(DownloadStateTest, SuspendedTargetsOfEveryKind) {
    const DownloadRequestTarget queued = DownloadRequestTarget::Indexed(7, 3, "http://parent/q");
    for (const DownloadRequestTarget& target : {kDynamic, kIndexed, kURLRequest}) Put(target, Status::Suspended);
    Put(queued, Status::Queued);
    EXPECT_EQ(Texts(State().GetSuspended()), Texts({kURLRequest, kIndexed, kDynamic}));
}

TEST_F(DownloadStateTest, TheStartUpResetMakesInterruptedDownloadsNewAgain) {
    const DownloadRequestTarget failed = DownloadRequestTarget::Indexed(7, 3, "http://parent/f");
    const TimeValue then = GetCurrentUTCTime() - kHour;
    Put(kURLRequest, Status::Queued, then);
    Put(kIndexed, Status::Downloading, then);
    State().IncrementRetryCount(kIndexed);
    Put(kDynamic, Status::Queued, then);
    State().SetFailed(failed, DownloadError{DownloadErrorKind::Generic, "refused"});
    ExecuteOn(DatabasePath(), "update INDEXED_DOWNLOADS set ErrorCode = 2, ErrorString = 'stale' where DownloadIndex = 2");
    m_state.reset();

    OpenDownloadStateDatabase(m_settings);
    DownloadState state(m_settings);
    for (const DownloadRequestTarget& target : {kURLRequest, kIndexed, kDynamic}) {
        SCOPED_TRACE(downloadRequestTargetText(target));
        const std::optional<DownloadStateRecord> record = state.GetState(target);
        EXPECT_EQ(record->status, Status::New);
        EXPECT_EQ(record->lastUpdate, then / kMicrosecondsPerSecond * kMicrosecondsPerSecond);
        EXPECT_FALSE(record->error);
    }
    EXPECT_EQ(state.GetState(kIndexed)->retryCount, 1u);
    EXPECT_EQ(state.GetState(failed)->status, Status::Failed);
    EXPECT_EQ(state.GetState(failed)->error->message, "refused");
}

TEST_F(DownloadStateTest, DetailsOfIndexedDownloads) {
    Put(kIndexed, Status::Queued);
    EXPECT_EQ(State().GetSize(7, 2), std::nullopt);
    EXPECT_EQ(State().GetSHA1(7, 2), std::nullopt);
    EXPECT_EQ(State().GetExpectedSize(kIndexed), std::nullopt);
    State().SetContentLength(7, 2, 6'000'000'000);
    EXPECT_EQ(State().GetExpectedSize(kIndexed), 6'000'000'000u);
    State().SetSize(7, 2, 5'000'000'000);
    State().SetSHA1(7, 2, FilledDigest(0x5a));
    EXPECT_EQ(State().GetSize(7, 2), 5'000'000'000u);
    EXPECT_EQ(State().GetContentLength(7, 2), 6'000'000'000u);
    EXPECT_EQ(State().GetSHA1(7, 2)->ToHex(), FilledDigest(0x5a).ToHex());
    EXPECT_EQ(QueryRows(DatabasePath(), "select SHA1 from INDEXED_DOWNLOADS"),
              std::vector<std::string>{"5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a"});
    // The stored size does not count for the target in hand, which carries its own or none.
    EXPECT_EQ(State().GetExpectedSize(kIndexed), 6'000'000'000u);
    EXPECT_EQ(State().GetExpectedSize(DownloadRequestTarget::Indexed(7, 2, "u", std::nullopt, 42)), 42u);
    EXPECT_EQ(State().GetExpectedSize(kDynamic), 5000u);
    EXPECT_EQ(State().GetExpectedSize(kURLRequest), std::nullopt);
    // No row: nothing to set, nothing to read.
    State().SetSize(7, 9, 1);
    EXPECT_EQ(State().GetSize(7, 9), std::nullopt);
    EXPECT_EQ(RowCount("INDEXED_DOWNLOADS"), 1u);
}

TEST_F(DownloadStateTest, AStoredNumberOutsideItsRangeIsRefusedOnReading) {
    const struct {
        const char* change;
        bool outOfRange;  // else an unknown state
    } cases[] = {
        {"update URL_REQUESTS set RetryCount = 4294967296", true},
        {"update URL_REQUESTS set RetryCount = -1", true},
        {"update URL_REQUESTS set ActionID = 4294967296", true},
        {"update URL_REQUESTS set Status = 7", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        State().DeleteAll();
        Put(kURLRequest, Status::Failed, GetCurrentUTCTime() - kHour);
        ExecuteOn(DatabasePath(), c.change);
        const auto readAll = [&] {
            State().GetState(kURLRequest);
            State().GetDue();
        };
        if (c.outOfRange) {
            try {
                readAll();
                ADD_FAILURE() << "read";
            } catch (const std::out_of_range& error) {
                EXPECT_STREQ(error.what(), "SQLite integer value out of range");
            }
        } else {
            EXPECT_THROW(readAll(), InvalidDownloadStateStatus);
        }
    }
}

}  // namespace
