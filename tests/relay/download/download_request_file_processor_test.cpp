#include "relay/download/download_request_file_processor.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "crypto/openssl_startup.h"
#include "relay/download/download_files.h"
#include "relay/download/download_test_support.h"
#include "support/captured_log.h"

namespace {

using Files = std::map<std::string, std::string>;

constexpr std::int64_t kSettled = 60 * kMicrosecondsPerSecond;
constexpr std::uint32_t kRetriesDisabledCount = 4'294'967'295u;

const std::string kFirst = "first file";
const std::string kSecond = "second file";

std::string Sha1Hex(const std::string& content) {
    return Sha1Of(content).ToHex();
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

const DownloadRequestTarget kURLRequest = DownloadRequestTarget::URLRequest(12);
const DownloadRequestTarget kFirstTarget = DownloadRequestTarget::Indexed(12, 1, "http://site/1");
const DownloadRequestTarget kSecondTarget = DownloadRequestTarget::Indexed(12, 2, "http://site/2");

// A relay's download folders and state, its inbox, and a processor over them on a clock of the test's.
class DownloadRequestFileProcessorTest : public DownloadSettingsFixture {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    DownloadRequestFileProcessorTest() {
        m_processor = std::make_unique<DownloadRequestFileProcessor>(m_settings, m_settings.GetInboxFolder(),
                                                                     m_stop, [this] { return m_now; });
    }

    std::string Downloads(const std::string& path) const {
        return m_settings.GetDownloadsFolder().GetPathString() + "/" + path;
    }
    std::string Inbox(const std::string& name) const {
        return m_settings.GetInboxFolder().GetPathString() + "/" + name;
    }
    // An action folder of the files, dated `age` back with its files.
    void WriteActionFolder(const std::string& name, const Files& files, std::int64_t age = kSettled) {
        for (const auto& [file, content] : files) WriteAgedFile(Downloads(name + "/" + file), content, age);
        FileItem(Location(Downloads(name))).SetLastWriteTime(GetCurrentUTCTime() - age);
    }
    // The folder of action 12 listing the two downloads with their SHA-1s.
    Files ActionFolderOf12(Files more) {
        more["dl_12"] =
            RequestFile(12, {{{"http://site/1", "", Sha1Hex(kFirst)}}, {{"http://site/2", "11", "null"}}});
        return more;
    }
    std::string StateOf(const DownloadRequestTarget& target) {
        const std::optional<DownloadStateRecord> record = m_state.GetState(target);
        return record ? DownloadStateName(record->status) : "no state";
    }
    std::string ErrorOf(const DownloadRequestTarget& target) {
        const std::optional<DownloadStateRecord> record = m_state.GetState(target);
        return record && record->error ? record->error->message : "no error";
    }
    std::string Sha1StoredFor(std::uint32_t index) {
        const std::optional<DigestRecord> sha1 = m_state.GetSHA1(12, index);
        return sha1 ? sha1->ToHex() : "none";
    }
    std::uint32_t RetriesOf(const DownloadRequestTarget& target) {
        return m_state.GetState(target)->retryCount;
    }

    // The database as the relay's start-up makes it, before the store below opens it.
    const bool m_databaseOpened = (OpenDownloadStateDatabase(m_settings), true);
    Event m_stop;
    std::int64_t m_now = 1'000 * kSettled;
    std::unique_ptr<DownloadRequestFileProcessor> m_processor;
    DownloadState m_state{m_settings};
};

TEST_F(DownloadRequestFileProcessorTest, AFolderWithoutMarkersFailsEveryDownloadForGood) {
    WriteActionFolder("12", ActionFolderOf12({{"lastFailure", "Parent unreachable"}}));
    m_processor->RunPass();
    for (const DownloadRequestTarget& target : {kFirstTarget, kSecondTarget}) {
        EXPECT_EQ(StateOf(target), "FAILED");
        EXPECT_EQ(ErrorOf(target), "Parent unreachable");
        EXPECT_EQ(RetriesOf(target), kRetriesDisabledCount);
    }
    EXPECT_EQ(StateOf(kURLRequest), "COMPLETED");
    EXPECT_EQ(Names(Downloads("ActionURLs")), std::set<std::string>{"dl_12"});
    EXPECT_FALSE(std::filesystem::exists(Downloads("12")));
}

TEST_F(DownloadRequestFileProcessorTest, APendingFolderFailsItsDownloadsRetryably) {
    WriteActionFolder("12", ActionFolderOf12({{"pending", ""}}));
    m_processor->RunPass();
    EXPECT_EQ(StateOf(kFirstTarget), "FAILED");
    EXPECT_EQ(ErrorOf(kFirstTarget), "");
    EXPECT_EQ(RetriesOf(kFirstTarget), 0u);
    EXPECT_FALSE(std::filesystem::exists(Downloads("12")));
}

// The rows may be in any state, NEW and FAILED included: completion goes through QUEUED.
TEST_F(DownloadRequestFileProcessorTest, ASucceededFolderPutsItsFilesInTheCacheAndCompletesTheirRows) {
    m_state.ReplaceIndexedDownloads(12, {kFirstTarget});
    m_state.SetFailed(kURLRequest, DownloadError{});
    // The second file's name carries its SHA-1 in upper case, as some producers write it.
    WriteActionFolder("12", ActionFolderOf12({{"0", ""},
                                              {"sha1_1_" + Sha1Hex(kFirst), kFirst},
                                              {"sha1_2_" + UpperCase(Sha1Hex(kSecond)), kSecond}}));
    m_processor->RunPass();

    EXPECT_EQ(Names(Downloads("sha1")), (std::set<std::string>{Sha1Hex(kFirst), Sha1Hex(kSecond)}));
    EXPECT_EQ(ReadWholeFile(Downloads("sha1/" + Sha1Hex(kSecond))), kSecond);
    for (const auto& [target, content] :
         {std::pair{kFirstTarget, kFirst}, std::pair{kSecondTarget, kSecond}}) {
        EXPECT_EQ(StateOf(target), "COMPLETED");
        EXPECT_EQ(Sha1StoredFor(*target.GetIndex()), Sha1Hex(content));
        EXPECT_EQ(m_state.GetSize(12, *target.GetIndex()), content.size());
    }
    EXPECT_EQ(StateOf(kURLRequest), "COMPLETED");
    EXPECT_EQ(ReadWholeFile(Downloads("ActionURLs/dl_12")), ActionFolderOf12({})["dl_12"]);
    EXPECT_FALSE(std::filesystem::exists(Downloads("12")));
}

TEST_F(DownloadRequestFileProcessorTest, AFileThatIsMissingOrNotWhatWasAskedFailsItsDownloadRetryably) {
    const std::string first = Sha1Hex(kFirst), second = Sha1Hex(kSecond);
    const struct {
        const char* name;
        Files files;
        std::string firstError;
        std::string secondError;
    } cases[] = {
        {"hashes that differ from the names",
         {{"sha1_1_" + second, kFirst}, {"sha1_2_" + first, kSecond}},
         "File name SHA1 " + second + " does not match actual SHA1 " + first,
         "File name SHA1 " + first + " does not match actual SHA1 " + second},
        {"missing files",
         {},
         "The downloaded file of index 1 is missing",
         "The downloaded file of index 2 is missing"},
        {"names without a whole SHA-1",
         {{"sha1_1_" + first.substr(1), kFirst}, {"sha1_2_x", kSecond}},
         "The file name sha1_1_" + first.substr(1) + " holds no SHA1",
         "The file name sha1_2_x holds no SHA1"},
        {"files other than the request's",
         {{"sha1_1_" + second, kSecond}, {"sha1_2_" + first, "1234567"}},
         "Requested SHA1 " + first + " does not match actual SHA1 " + second,
         "Requested size 11 does not match actual size 7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Files files = ActionFolderOf12(c.files);
        files["0"] = "";
        WriteActionFolder("12", files);
        m_processor->RunPass();
        EXPECT_EQ(ErrorOf(kFirstTarget), c.firstError);
        EXPECT_EQ(ErrorOf(kSecondTarget), c.secondError);
        for (const DownloadRequestTarget& target : {kFirstTarget, kSecondTarget}) {
            EXPECT_EQ(StateOf(target), "FAILED");
            EXPECT_EQ(RetriesOf(target), 0u);
        }
        EXPECT_TRUE(Names(Downloads("sha1")).empty());
        EXPECT_FALSE(std::filesystem::exists(Downloads("12")));
    }
}

TEST_F(DownloadRequestFileProcessorTest, AFolderThatDoesNotReadIsSetAsideAndTheNextOneProcessed) {
    CapturedLog log;
    WriteActionFolder("11", {{"dl_11", "+\n11\nhttp://site/1\nsize:10\n"}, {"0", ""}});
    WriteActionFolder("12", ActionFolderOf12({{"pending", ""}}));
    WriteActionFolder("13", {{"dl_13", RequestFile(14)}, {"0", ""}});
    WriteActionFolder("14", {{"0", ""}});
    WriteActionFolder("15", {{"dl_15", "+\nfifteen\n"}, {"0", ""}});
    WriteActionFolder("cache", {{"dl_16", RequestFile(16)}});
    m_processor->RunPass();
    EXPECT_EQ(StateOf(kFirstTarget), "FAILED");
    EXPECT_EQ(Names(Downloads("")), (std::set<std::string>{"ActionURLs", "sha1", "cache", "failed_11",
                                                           "failed_13", "failed_14", "failed_15"}));
    EXPECT_EQ(Names(Downloads("failed_11")), (std::set<std::string>{"dl_11", "0"}));
    EXPECT_EQ(Names(Downloads("ActionURLs")), std::set<std::string>{"dl_12"});
    EXPECT_EQ(log.LinesStartingWith("critical: DownloadRequestFileProcessor: " + Downloads("1")).size(), 4u);
    EXPECT_EQ(log.LinesStartingWith("critical: DownloadRequestFileProcessor: " + Downloads("13") +
                                    " does not read (class InvalidDownloadRequestFile); renamed to " +
                                    Downloads("failed_13"))
                  .size(),
              1u);

    // A later folder of the same action replaces the one set aside.
    WriteActionFolder("11", {{"dl_11", "*\n11\n"}});
    m_processor->RunPass();
    EXPECT_EQ(Names(Downloads("failed_11")), std::set<std::string>{"dl_11"});
}

TEST_F(DownloadRequestFileProcessorTest, AFolderStillBeingWrittenWaitsUntilItHasSettled) {
    WriteActionFolder("12", ActionFolderOf12({{"0", ""}, {"sha1_1_" + Sha1Hex(kFirst), kFirst}}));
    WriteAgedFile(Downloads("12/sha1_2_" + Sha1Hex(kSecond)), kSecond, 1 * kMicrosecondsPerSecond);
    m_processor->RunPass();
    m_processor->RunPass();
    EXPECT_TRUE(std::filesystem::exists(Downloads("12")));
    EXPECT_EQ(StateOf(kFirstTarget), "no state");

    // Nothing in the downloads folder itself changes: the pass looks again because the folder waited.
    FileItem(Location(Downloads("12/sha1_2_" + Sha1Hex(kSecond))))
        .SetLastWriteTime(GetCurrentUTCTime() - kSettled);
    FileItem(Location(Downloads("12"))).SetLastWriteTime(GetCurrentUTCTime() - kSettled);
    m_processor->RunPass();
    EXPECT_FALSE(std::filesystem::exists(Downloads("12")));
    EXPECT_EQ(StateOf(kFirstTarget), "COMPLETED");
}

TEST_F(DownloadRequestFileProcessorTest, AnInboxFileDroppedAfterAnIdlePassIsTakenIn) {
    m_processor->RunPass();
    m_processor->RunPass();
    WriteAgedFile(Inbox("dl_12"), ActionFolderOf12({})["dl_12"], kSettled);
    m_processor->RunPass();
    EXPECT_TRUE(Names(m_settings.GetInboxFolder().GetPathString()).empty());
    EXPECT_EQ(ReadWholeFile(Downloads("ActionURLs/dl_12")), ActionFolderOf12({})["dl_12"]);
    EXPECT_EQ(StateOf(kFirstTarget), "NEW");
    EXPECT_EQ(Sha1StoredFor(1), Sha1Hex(kFirst));
    EXPECT_EQ(StateOf(kSecondTarget), "NEW");
    EXPECT_EQ(m_state.GetSize(12, 2), 11u);
    EXPECT_EQ(StateOf(kURLRequest), "COMPLETED");
}

TEST_F(DownloadRequestFileProcessorTest, AnInboxFileYoungerThanFiveSecondsWaits) {
    WriteAgedFile(Inbox("dl_12"), RequestFile(12), 0);
    m_processor->RunPass();
    m_processor->RunPass();
    EXPECT_TRUE(std::filesystem::exists(Inbox("dl_12")));
    FileItem(Location(Inbox("dl_12"))).SetLastWriteTime(GetCurrentUTCTime() - 6 * kMicrosecondsPerSecond);
    m_processor->RunPass();
    EXPECT_FALSE(std::filesystem::exists(Inbox("dl_12")));
    EXPECT_EQ(StateOf(kURLRequest), "COMPLETED");
}

TEST_F(DownloadRequestFileProcessorTest, AnInboxFileThatDoesNotReadIsSetAsideAndTheNextOneTakenIn) {
    CapturedLog log;
    WriteAgedFile(Inbox("dl_11"), "+\n11\nhttp://site/1\n", kSettled);
    WriteAgedFile(Inbox("dl_12"), RequestFile(13), kSettled);
    WriteAgedFile(Inbox("dl_13"), RequestFile(13), kSettled);
    WriteAgedFile(Inbox("dl_x"), RequestFile(14), kSettled);
    m_processor->RunPass();
    EXPECT_EQ(Names(m_settings.GetInboxFolder().GetPathString()),
              (std::set<std::string>{"failed_dl_11", "failed_dl_12", "dl_x"}));
    EXPECT_EQ(Names(Downloads("ActionURLs")), std::set<std::string>{"dl_13"});
    EXPECT_EQ(StateOf(DownloadRequestTarget::URLRequest(13)), "COMPLETED");
    EXPECT_EQ(StateOf(kURLRequest), "no state");
    EXPECT_EQ(log.LinesStartingWith("critical: DownloadRequestFileProcessor: " + Inbox("dl_1")).size(), 2u);
}

TEST_F(DownloadRequestFileProcessorTest, AnInboxFileOfAnActionAlreadyCachedIsOnlyDeleted) {
    WriteAgedFile(Downloads("ActionURLs/dl_12"), RequestFile(12), kSettled);
    WriteAgedFile(Inbox("dl_12"), ActionFolderOf12({})["dl_12"], kSettled);
    m_processor->RunPass();
    EXPECT_FALSE(std::filesystem::exists(Inbox("dl_12")));
    EXPECT_EQ(ReadWholeFile(Downloads("ActionURLs/dl_12")), RequestFile(12));
    EXPECT_EQ(StateOf(kURLRequest), "no state");
    EXPECT_EQ(StateOf(kFirstTarget), "no state");
}

TEST_F(DownloadRequestFileProcessorTest, AFailedPassIsTriedAgainWithinAMinuteNotAtEveryPass) {
    WriteAgedFile(Inbox("dl_12"), RequestFile(12, {{{"u", "", "null"}}}), kSettled);
    ExecuteOn(
        DatabasePath(),
        "create trigger refuse before insert on INDEXED_DOWNLOADS begin select raise(abort, 'refused'); end");
    EXPECT_THROW(m_processor->RunPass(), SQLite::Error);
    ExecuteOn(DatabasePath(), "drop trigger refuse");
    EXPECT_EQ(StateOf(kURLRequest), "no state");

    m_now += DownloadRequestFileProcessor::kLookAgainInterval - 1;
    m_processor->RunPass();
    EXPECT_TRUE(std::filesystem::exists(Inbox("dl_12")));
    m_now += 1;
    m_processor->RunPass();
    EXPECT_FALSE(std::filesystem::exists(Inbox("dl_12")));
    EXPECT_EQ(StateOf(kURLRequest), "COMPLETED");
}

TEST_F(DownloadRequestFileProcessorTest, AStopEndsThePassAfterOneEntryAndTheRestWaitsForTheNext) {
    WriteAgedFile(Inbox("dl_12"), RequestFile(12), kSettled);
    WriteAgedFile(Inbox("dl_13"), RequestFile(13), kSettled);
    m_stop.Set();
    m_processor->RunPass();
    EXPECT_EQ(Names(m_settings.GetInboxFolder().GetPathString()).size(), 1u);
    m_stop.Reset();
    m_processor->RunPass();
    EXPECT_TRUE(Names(m_settings.GetInboxFolder().GetPathString()).empty());
    EXPECT_EQ(Names(Downloads("ActionURLs")), (std::set<std::string>{"dl_12", "dl_13"}));
}

}  // namespace
