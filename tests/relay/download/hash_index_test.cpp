#include "relay/download/hash_index.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "crypto/openssl_startup.h"
#include "relay/download/download_files.h"
#include "relay/download/download_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// Test labels: HashIndexTest tsan
// The indexes of a machine beside the relay: a file held outside the cache, the two index files and
// the indexer's trigger, all in the test's folder; both indexes on unless a test says otherwise.
class HashIndexTest : public DownloadSettingsFixture {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    HashIndexTest() {
        Configure({});
        WriteAgedFile(Held(), kContent, 0);
    }

    void Configure(const std::vector<std::pair<std::string, std::string>>& overrides) {
        std::vector<std::pair<std::string, std::string>> settings = {
            {"_KVRGather_Download_Sha1IndexPath", Sha1Index()},
            {"_KVRGather_Download_UrlIndexPath", UrlIndex()},
            {"_KVRGather_Indexer_TriggerPath", Trigger()},
            {"_KVRGather_Download_HasSha1Index", "1"},
            {"_KVRGather_Download_HasUrlIndex", "1"},
        };
        settings.insert(settings.end(), overrides.begin(), overrides.end());
        WriteSettings(settings);
    }

    std::string Held() const { return m_folder / "held/a.bin"; }
    std::string Sha1Index() const { return m_folder / "sha1index.xml"; }
    std::string UrlIndex() const { return m_folder / "urlindex.xml"; }
    std::string Trigger() const { return m_folder / "regenerate"; }

    // An index file of one entry per (key, path), dated `age` microseconds back.
    void WriteIndex(const std::string& file, const char* attribute,
                    const std::vector<std::pair<std::string, std::string>>& entries, std::int64_t age = 0) {
        std::string document = "<index>";
        for (const auto& [key, path] : entries)
            document += std::string("<file ") + attribute + "=\"" + key + "\">" + path + "</file>";
        WriteAgedFile(file, document + "</index>", age);
    }

    std::string Found(const std::optional<FileLocation>& location) const {
        return location ? location->GetPathString() : "nothing";
    }

    const std::string kContent = "held outside the cache";
    const DigestRecord m_sha1 = Sha1Of(kContent);
    Event m_stop;
};

TEST_F(HashIndexTest, FindsAFileBySha1WhileItStillHasThatSha1) {
    const std::string hex = m_sha1.ToHex();
    WriteAgedFile(m_folder / "held/other.bin", "other bytes", 0);
    WriteIndex(Sha1Index(), "sha1",
               {{hex, m_folder / "held/stale.bin"}, {hex, Held()}, {FilledDigest(1).ToHex(), m_folder / "held/other.bin"}});
    HashIndex index(m_settings, m_stop);
    EXPECT_EQ(Found(index.FindBySha1(m_sha1)), Held()) << "the later entry of a key wins";
    // An entry whose file changed since it was indexed, or is gone, finds nothing.
    EXPECT_EQ(Found(index.FindBySha1(FilledDigest(1))), "nothing");
    std::filesystem::remove(Held());
    EXPECT_EQ(Found(index.FindBySha1(m_sha1)), "nothing");
    EXPECT_FALSE(std::filesystem::exists(Trigger())) << "a plain look-up never asks the indexer";
}

TEST_F(HashIndexTest, FindsAFileByUrlWithoutCheckingIt) {
    WriteIndex(UrlIndex(), "url", {{"http://site/a.bin", Held()}, {"http://site/gone.bin", m_folder / "gone"}});
    HashIndex index(m_settings, m_stop);
    EXPECT_EQ(Found(index.FindByUrl("http://site/a.bin")), Held());
    EXPECT_EQ(Found(index.FindByUrl("http://site/gone.bin")), m_folder / "gone");
    EXPECT_EQ(Found(index.FindByUrl("http://site/b.bin")), "nothing");
}

TEST_F(HashIndexTest, AnIndexThatIsOffFindsNothing) {
    WriteIndex(Sha1Index(), "sha1", {{m_sha1.ToHex(), Held()}});
    WriteIndex(UrlIndex(), "url", {{"http://site/a.bin", Held()}});
    Configure({{"_KVRGather_Download_HasSha1Index", "0"}, {"_KVRGather_Download_HasUrlIndex", "0"},
               {"_KVRGather_Indexer_WaitTime", "0"}});
    HashIndex index(m_settings, m_stop);
    EXPECT_EQ(Found(index.FindBySha1(m_sha1)), "nothing");
    EXPECT_EQ(Found(index.RegenerateAndFindBySha1(m_sha1)), "nothing");
    EXPECT_EQ(Found(index.FindByUrl("http://site/a.bin")), "nothing");
    EXPECT_FALSE(std::filesystem::exists(Trigger()));
}

// The index is read again only when its file's last-write time moved: a file rewritten with the old
// time keeps the old entries, a deleted file empties the index, and a file re-created with the time
// last loaded stays unread.
TEST_F(HashIndexTest, ReloadsAnIndexFileWhenItsLastWriteTimeChanges) {
    const std::int64_t hourAgo = 3'600'000'000;
    WriteIndex(UrlIndex(), "url", {{"http://site/a.bin", Held()}}, hourAgo);
    HashIndex index(m_settings, m_stop);
    ASSERT_EQ(Found(index.FindByUrl("http://site/a.bin")), Held());
    const TimeValue loaded = FileItem(Location(UrlIndex())).GetLastWriteTime();

    WriteIndex(UrlIndex(), "url", {{"http://site/b.bin", Held()}});
    FileItem(Location(UrlIndex())).SetLastWriteTime(loaded);
    EXPECT_EQ(Found(index.FindByUrl("http://site/b.bin")), "nothing");
    EXPECT_EQ(Found(index.FindByUrl("http://site/a.bin")), Held());

    std::filesystem::remove(UrlIndex());
    EXPECT_EQ(Found(index.FindByUrl("http://site/a.bin")), "nothing");

    WriteIndex(UrlIndex(), "url", {{"http://site/b.bin", Held()}});
    FileItem(Location(UrlIndex())).SetLastWriteTime(loaded);
    EXPECT_EQ(Found(index.FindByUrl("http://site/b.bin")), "nothing");

    FileItem(Location(UrlIndex())).SetLastWriteTime(loaded + 1'000'000);
    EXPECT_EQ(Found(index.FindByUrl("http://site/b.bin")), Held());
}

TEST_F(HashIndexTest, AnIndexFileThatDoesNotReadLeavesTheIndexEmptyUntilItChanges) {
    const struct {
        const char* name;
        std::string document;
    } cases[] = {
        {"not XML", "<index><file sha1=\""},
        {"a sha1 that is not hexadecimal", "<index><file sha1=\"" + m_sha1.ToHex() + "\">" + Held() +
                                               "</file><file sha1=\"xyz\">/b</file></index>"},
        {"an entry without its attribute", "<index><file>" + Held() + "</file></index>"},
        {"no element", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteIndex(Sha1Index(), "sha1", {{m_sha1.ToHex(), Held()}}, 7'200'000'000);
        HashIndex index(m_settings, m_stop);
        ASSERT_EQ(Found(index.FindBySha1(m_sha1)), Held());
        WriteAgedFile(Sha1Index(), c.document, 3'600'000'000);
        EXPECT_EQ(Found(index.FindBySha1(m_sha1)), "nothing");
        WriteIndex(Sha1Index(), "sha1", {{m_sha1.ToHex(), Held()}});
        EXPECT_EQ(Found(index.FindBySha1(m_sha1)), Held());
    }
}

TEST_F(HashIndexTest, RegenerationWithoutWaitTimeMakesTheTriggerAndReturns) {
    std::filesystem::create_directory(Trigger());  // an empty folder in the way is replaced
    Configure({{"_KVRGather_Indexer_WaitTime", "0"}});
    HashIndex index(m_settings, m_stop);
    const auto started = Clock::now();
    index.RequestRegeneration();
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
    EXPECT_TRUE(std::filesystem::is_regular_file(Trigger()));
    EXPECT_EQ(std::filesystem::file_size(Trigger()), 0u);
}

TEST_F(HashIndexTest, RegenerationWithoutTriggerPathDoesNothing) {
    Configure({{"_KVRGather_Indexer_TriggerPath", ""}});
    HashIndex index(m_settings, m_stop);
    const auto started = Clock::now();
    EXPECT_EQ(Found(index.RegenerateAndFindBySha1(m_sha1)), "nothing");
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
}

// The indexer writes the new index and deletes the trigger within the first pause: the wait ends
// after that pause, and the look-up that follows reads the new index.
TEST_F(HashIndexTest, RegenerationWaitsForTheIndexerAndLooksUpAgain) {
    WriteIndex(Sha1Index(), "sha1", {}, 3'600'000'000);
    HashIndex index(m_settings, m_stop);
    ASSERT_EQ(Found(index.FindBySha1(m_sha1)), "nothing");
    std::thread indexer([this] {
        while (!std::filesystem::exists(Trigger())) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        WriteIndex(Sha1Index(), "sha1", {{m_sha1.ToHex(), Held()}});
        std::filesystem::remove(Trigger());
    });
    const auto started = Clock::now();
    EXPECT_EQ(Found(index.RegenerateAndFindBySha1(m_sha1)), Held());
    const auto took = Clock::now() - started;
    indexer.join();
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(2900)) << "ended after the first pause, not the second";
}

TEST_F(HashIndexTest, TheStopEventEndsTheWaitAtOnce) {
    HashIndex index(m_settings, m_stop);  // the default wait time: 63 seconds at most
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_stop.Set();
    });
    const auto started = Clock::now();
    index.RequestRegeneration();
    const auto took = Clock::now() - started;
    stopper.join();
    EXPECT_LT(took, std::chrono::milliseconds(900));
    EXPECT_TRUE(std::filesystem::exists(Trigger())) << "the trigger stays for the indexer";
}

}  // namespace
