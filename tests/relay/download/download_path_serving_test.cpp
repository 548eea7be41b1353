#include "relay/download/download_path_serving.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "foundation/file_item.h"
#include "http/http_request.h"
#include "relay/download/download_manager_fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kReadyMarker = "/vtmirror/downloads/0";
const std::string kFirst = "first download";
const std::string kSecond = "second download";

// What a request path serves: the mapped path, "unchanged", or "status <code>".
class DownloadPathServingTest : public DownloadManagerFixture {
  protected:
    DownloadPathServingTest() {
        // The parent's list names the first download's SHA-1 and leaves the second's open.
        AtParent("12/dl_12", RequestFile(12, {{"http://site/1", std::to_string(kFirst.size()), FirstHex()},
                                              {"http://site/2", "", "null"}}));
        AtParent("12/1", kFirst);
        AtParent("12/2", kSecond);
    }

    static std::string FirstHex() { return Sha1Of(kFirst).ToHex(); }
    static std::string SecondHex() { return Sha1Of(kSecond).ToHex(); }

    std::string Serve(const std::string& path) { return Serve(m_serving, path); }
    static std::string Serve(DownloadPathServing& serving, const std::string& path) {
        try {
            const std::optional<std::string> served =
                serving.MapDownloadPath(ConstData(std::string_view(path)), kReadyMarker);
            return served ? *served : "unchanged";
        } catch (const HTTPRequestError& error) {
            return "status " + std::to_string(error.Status());
        }
    }
    // Passes until nothing is left to start or complete.
    void WorkUntilIdle() {
        for (int pass = 0; pass < 5; ++pass) Manager().DoWork();
    }
    // Action 12 fetched whole through a first miss.
    void FetchAction() {
        ASSERT_EQ(Serve("/vtmirror/downloads/12/1"), "status 404");
        WorkUntilIdle();
        ASSERT_EQ(StateOf(DownloadRequestTarget::URLRequest(12)), "COMPLETED");
    }
    DownloadRequestTarget Indexed(std::uint32_t index) {
        return DownloadRequestTarget::Indexed(12, index, "http://site/" + std::to_string(index));
    }

    DownloadPathServing m_serving{m_settings, Manager()};
};

}  // namespace

// A miss asks for the action's list; the list brings its downloads, which are fetched, checked,
// stored and COMPLETED; the clients are pinged once for the action, and the paths now hit.
TEST_F(DownloadPathServingTest, AMissFetchesTheActionAndThenHits) {
    EXPECT_EQ(Serve("/vtmirror/downloads/12/0"), "status 404");
    FetchAction();
    EXPECT_EQ(Downloader().started,
              (std::vector<std::string>{"aid=12,index=null,sha1=null,size=null,url=null",
                                        "aid=12,index=1,sha1=" + FirstHex() + ",size=14,url=http%3a%2f%2fsite%2f1",
                                        "aid=12,index=2,sha1=null,size=null,url=http%3a%2f%2fsite%2f2"}));
    EXPECT_EQ(StateOf(Indexed(1)), "COMPLETED");
    EXPECT_EQ(StateOf(Indexed(2)), "COMPLETED");
    EXPECT_EQ(m_state->GetSHA1(12, 2)->ToHex(), SecondHex());
    EXPECT_EQ(m_notifier.actionPings, std::vector<std::uint32_t>{12});

    EXPECT_EQ(Serve("/vtmirror/downloads/12/1"), "/vtmirror/downloads/sha1/" + FirstHex());
    EXPECT_EQ(Serve("/vtmirror/downloads/12/2"), "/vtmirror/downloads/sha1/" + SecondHex());
    EXPECT_EQ(Serve("/vtmirror/downloads/12/0"), kReadyMarker);
    EXPECT_EQ(Serve("/vtmirror/downloads/12/dl_12"), "/vtmirror/downloads/ActionURLs/dl_12");
    EXPECT_EQ(Serve("/vtmirror/downloads/sha1/" + FirstHex()), "/vtmirror/downloads/sha1/" + FirstHex());
    // Every spelling the file serving reads as the same file maps the same way.
    EXPECT_EQ(Serve("/vtmirror/downloads/%31%32/./1;x"), "/vtmirror/downloads/sha1/" + FirstHex());
    EXPECT_EQ(Downloader().started.size(), 3u);
}

// Once the action's list is applied, a miss of one file fetches that file alone. Applying the list
// again would set every row back to NEW with the list's SHA-1s, and the second download, whose SHA-1
// the list leaves open, would be fetched once more.
TEST_F(DownloadPathServingTest, AFurtherMissLeavesTheAppliedActionAlone) {
    FetchAction();
    std::filesystem::remove(Downloads("sha1/" + FirstHex()));
    Downloader().started.clear();

    EXPECT_EQ(Serve("/vtmirror/downloads/12/1"), "status 404");
    EXPECT_EQ(Serve("/vtmirror/downloads/12/0"), "status 404");
    WorkUntilIdle();
    EXPECT_EQ(Downloader().started, std::vector<std::string>{"aid=12,index=1,sha1=" + FirstHex() +
                                                             ",size=14,url=http%3a%2f%2fsite%2f1"});
    EXPECT_EQ(m_state->GetSHA1(12, 2)->ToHex(), SecondHex());
    EXPECT_EQ(StateOf(Indexed(1)), "COMPLETED");
    EXPECT_EQ(StateOf(Indexed(2)), "COMPLETED");
    EXPECT_EQ(m_notifier.actionPings, std::vector<std::uint32_t>{12});
    EXPECT_EQ(Serve("/vtmirror/downloads/12/1"), "/vtmirror/downloads/sha1/" + FirstHex());
}

// An action's folder in the downloads folder holds what the request file processor has not taken
// yet, its "0" marker among them: none of it is served, however the path is spelt.
TEST_F(DownloadPathServingTest, NothingIsServedFromAnActionFolder) {
    WriteAgedFile(Downloads("12/0"), "", 0);
    WriteAgedFile(Downloads("12/pending"), "", 0);
    for (const char* path : {"/vtmirror/downloads/12/0", "/vtmirror/downloads/12/0;x", "/vtmirror/downloads//12/0",
                             "/vtmirror/downloads/12/pending", "/vtmirror/downloads/012/0"})
        EXPECT_EQ(Serve(path), "status 404") << path;
    for (const char* path : {"/vtmirror/downloads/0", "/vtmirror/downloads/other/0", "/elsewhere/12/0"})
        EXPECT_EQ(Serve(path), "unchanged") << path;
    EXPECT_EQ(Serve("/vtmirror/downloads/sha1/" + FirstHex()), "unchanged");
    EXPECT_EQ(Serve("/vtmirror/downloads/%2e%2e/x"), "unchanged");
}

TEST_F(DownloadPathServingTest, ASha1HitIsTouchedAndAMissAsksForItsDynamicDownloads) {
    WriteAgedFile(Downloads("sha1/" + FirstHex()), kFirst, 2 * kMicrosecondsPerDay);
    EXPECT_EQ(Serve("/vtmirror/downloads/sha1/" + FirstHex()), "/vtmirror/downloads/sha1/" + FirstHex());
    EXPECT_GT(FileItem(Location(Downloads("sha1/" + FirstHex()))).GetLastWriteTime(),
              GetCurrentUTCTime() - kMicrosecondsPerDay);

    AtParent("sha1/" + SecondHex(), kSecond);
    const DownloadRequestTarget dynamic =
        DownloadRequestTarget::Dynamic(40, Sha1Of(kSecond), kSecond.size(), "http://site/dynamic");
    Put(dynamic, DownloadStateStatus::RequestSubmitted, GetCurrentUTCTime());
    EXPECT_EQ(Serve("/vtmirror/downloads/sha1/" + SecondHex()), "unchanged");
    WorkUntilIdle();
    EXPECT_EQ(StateOf(dynamic), "COMPLETED");
    EXPECT_EQ(m_notifier.sha1Pings, std::vector<std::string>{SecondHex()});
    EXPECT_EQ(Serve("/vtmirror/downloads/sha1/" + SecondHex()), "/vtmirror/downloads/sha1/" + SecondHex());
}

// The plain, "dl_" and SHA-1 hits never open the database: with its file gone, they are still
// served, and only a path that needs the database fails.
TEST_F(DownloadPathServingTest, OnlyPathsThatNeedTheDatabaseOpenIt) {
    FetchAction();
    const std::string database = DatabasePath();
    std::filesystem::rename(database, database + ".moved");
    std::filesystem::create_directory(database);
    DownloadPathServing serving(m_settings, Manager());
    EXPECT_EQ(Serve(serving, "/vtmirror/downloads/0"), "unchanged");
    EXPECT_EQ(Serve(serving, "/vtmirror/downloads/12/dl_12"), "/vtmirror/downloads/ActionURLs/dl_12");
    EXPECT_EQ(Serve(serving, "/vtmirror/downloads/sha1/" + FirstHex()), "/vtmirror/downloads/sha1/" + FirstHex());
    EXPECT_THROW(Serve(serving, "/vtmirror/downloads/12/1"), SQLite::Error);
}

// A database locked by another connection holds a request up for the busy time-out at most; the
// request is then a miss that asks for nothing.
TEST_F(DownloadPathServingTest, ALockedDatabaseDelaysARequestBrieflyAndQueuesNothing) {
    SQLite::Database locker = SQLite::OpenDatabase(DatabasePath().c_str());
    SQLite::SetBusyTimeout(locker.Get(), 10'000);
    SQLite::Execute(locker.Get(), "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; "
                                  "update URL_REQUESTS set Status = Status;");
    // Should the wait not end, the lock goes after two seconds and the time shows it.
    std::thread unlock([&] {
        std::this_thread::sleep_for(2s);
        SQLite::Execute(locker.Get(), "COMMIT");
        locker.Close();
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string served = Serve("/vtmirror/downloads/12/1");
    const auto waited = std::chrono::steady_clock::now() - start;
    unlock.join();
    EXPECT_EQ(served, "status 404");
    EXPECT_LT(waited, 1s);
    WorkUntilIdle();
    EXPECT_TRUE(Downloader().started.empty());
    EXPECT_EQ(StateOf(DownloadRequestTarget::URLRequest(12)), "none");
    FetchAction();
}
