#include "relay/gather/url_to_gather_id_map.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

const std::string kSites = "http://parent:52311/cgi-bin/vtgather.exe/";

// One record of the older binary map file.
std::string LegacyRecord(std::uint32_t id, const std::string& url, std::uint32_t length = 0) {
    if (length == 0) length = static_cast<std::uint32_t>(8 + url.size());
    std::string record;
    for (std::uint32_t value : {length, id})
        for (int shift = 0; shift < 32; shift += 8) record += static_cast<char>(value >> shift);
    return record + url;
}

class GatherMapTest : public ::testing::Test {
  protected:
    GatherMapTest() { std::filesystem::create_directories(m_folder / "sites"); }

    std::string Inbox() const { return m_folder / "inbox"; }
    std::string MapFile() const { return Inbox() + "/vtemapfile.xml"; }
    std::string LegacyFile() const { return Inbox() + "/vtemapfile"; }
    void Write(const std::string& path, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteWholeFile(path, content);
    }
    URLToGatherIDMap Load() const {
        return URLToGatherIDMap(FileLocation(Inbox().c_str()), FileLocation((m_folder / "sites").c_str()));
    }
    std::string MapDocument(std::uint32_t nextID, const std::string& pairs) {
        return "<?xml version=\"1.0\"?>\r\n<URLtoID NextID=\"" + std::to_string(nextID) + "\">\r\n" + pairs +
               "</URLtoID>";
    }
    static std::string Pair(std::uint32_t id, const std::string& url) {
        return "<UrlToIdPair ID=\"" + std::to_string(id) + "\">" + url + "</UrlToIdPair>\r\n";
    }

    TemporaryFolder m_folder;
};

}  // namespace

TEST_F(GatherMapTest, StartsEmptyAndWritesTheRootAlone) {
    URLToGatherIDMap map = Load();
    EXPECT_TRUE(map.CopyMap().empty());
    EXPECT_EQ(map.GetNextID(), 1u);
    EXPECT_EQ(ReadWholeFile(MapFile()), "<?xml version=\"1.0\"?>\r\n<URLtoID NextID=\"1\"></URLtoID>");
}

TEST_F(GatherMapTest, HandsOutIdsByCanonicalURLAndWritesThemInURLOrder) {
    URLToGatherIDMap map = Load();
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + "Updates"), 1u);
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + "Updates?x=1#frag"), 1u);
    EXPECT_EQ(map.GetGatherID(kSites + "Updates#frag"), 1u);
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + "actionsite"), 2u);
    EXPECT_EQ(map.GetGatherID(kSites + "updates"), 0u);  // letter case is kept
    EXPECT_EQ(map.GetOrCreateGatherID("http://parent:52311"), 0u);
    EXPECT_EQ(map.GetOrCreateGatherID("no url"), 0u);
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + std::string("a\0b", 3)), 0u);  // the file could not carry it
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + "a\nb"), 0u);
    EXPECT_EQ(map.GetNextID(), 3u);
    EXPECT_EQ(ReadWholeFile(MapFile()),
              MapDocument(3, Pair(1, kSites + "Updates") + Pair(2, kSites + "actionsite")));

    EXPECT_EQ(map.GetURLForID(2), kSites + "actionsite");
    EXPECT_THROW(map.GetURLForID(9), NoSuchGatherSiteID);
    EXPECT_EQ(map.GetURLTextForID(9), "No URL for provided ID.");

    URLToGatherIDMap reloaded = Load();
    EXPECT_EQ(reloaded.CopyMap(), map.CopyMap());
    EXPECT_EQ(reloaded.GetNextID(), 3u);
}

TEST_F(GatherMapTest, RemovedIdsAreNeverHandedOutAgain) {
    URLToGatherIDMap map = Load();
    ASSERT_EQ(map.GetOrCreateGatherID(kSites + "a"), 1u);
    ASSERT_EQ(map.GetOrCreateGatherID(kSites + "b"), 2u);
    EXPECT_EQ(map.RemoveURL(kSites + "b"), 2u);
    EXPECT_EQ(map.RemoveURL(kSites + "b"), 0u);
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + "c"), 3u);
    EXPECT_EQ(Load().GetOrCreateGatherID(kSites + "d"), 4u);
}

TEST_F(GatherMapTest, ConvertsTheOlderFile) {
    Write(LegacyFile(), LegacyRecord(7, kSites + "b") + LegacyRecord(3, kSites + "a") + LegacyRecord(0, "", 8) +
                            LegacyRecord(9, kSites + "after the end"));
    URLToGatherIDMap map = Load();
    EXPECT_EQ(map.GetNextID(), 8u);
    EXPECT_EQ(ReadWholeFile(MapFile()), MapDocument(8, Pair(3, kSites + "a") + Pair(7, kSites + "b")));
    EXPECT_FALSE(std::filesystem::exists(LegacyFile()));
}

TEST_F(GatherMapTest, ABrokenOlderFileKeepsItsLargestIdUsed) {
    struct Case {
        const char* what;
        std::string bytes;
        std::uint32_t nextID;
    };
    // An id counts once it has been read, even from the record that breaks the file.
    const Case cases[] = {
        {"record too long", LegacyRecord(4, kSites + "a") + LegacyRecord(12, kSites + "b", 1025), 5},
        {"record too short", LegacyRecord(4, kSites + "a") + LegacyRecord(12, kSites + "b", 7), 5},
        {"cut record", LegacyRecord(4, kSites + "a") + LegacyRecord(12, kSites + "b").substr(0, 20), 13},
        {"URL twice", LegacyRecord(4, kSites + "a") + LegacyRecord(12, kSites + "a"), 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(Inbox());
        Write(LegacyFile(), c.bytes);
        URLToGatherIDMap map = Load();
        EXPECT_TRUE(map.CopyMap().empty());
        EXPECT_EQ(map.GetNextID(), c.nextID);
    }
}

TEST_F(GatherMapTest, AFileThatDoesNotReadIsSetAsideAndTheOlderFileUsed) {
    struct Case {
        const char* what;
        std::string document;
    };
    const Case cases[] = {
        {"same URL twice", MapDocument(5, Pair(1, kSites + "a") + Pair(2, kSites + "a"))},
        {"torn", MapDocument(5, Pair(1, kSites + "a")).substr(0, 60)},
        {"next id no number", "<URLtoID NextID=\"x\"></URLtoID>"},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(Inbox());
        Write(MapFile(), c.document);
        Write(LegacyFile(), LegacyRecord(2, kSites + "old"));
        URLToGatherIDMap map = Load();
        EXPECT_EQ(map.CopyMap(), (GatherIDMap{{kSites + "old", 2}}));
        EXPECT_EQ(ReadWholeFile(Inbox() + "/vtemapfile.xml.bad"), c.document);
        EXPECT_FALSE(std::filesystem::exists(LegacyFile()));
    }
}

TEST_F(GatherMapTest, SkipsPairsThatCannotBeSites) {
    Write(MapFile(), MapDocument(9, Pair(1, kSites + "a") + Pair(1, kSites + "b") + Pair(0, kSites + "c") +
                                        Pair(4, "http://parent") + Pair(5, kSites + "e")));
    URLToGatherIDMap map = Load();
    EXPECT_EQ(map.CopyMap(), (GatherIDMap{{kSites + "a", 1}, {kSites + "e", 5}}));
    EXPECT_EQ(map.GetOrCreateGatherID(kSites + "b"), 9u);
}

// The next id is above every id on record, whatever the file says: a map restored from an old copy
// or lost altogether must not give a new site the folders of another.
TEST_F(GatherMapTest, NextIdStaysAboveTheMapAndTheMirrorFolders) {
    Write(MapFile(), MapDocument(2, Pair(6, kSites + "a")));
    EXPECT_EQ(Load().GetNextID(), 7u);
    EXPECT_EQ(ReadWholeFile(MapFile()), MapDocument(7, Pair(6, kSites + "a")));

    for (const char* folder : {"daruravidumirror_11_3", "MANYMIRROR_14_2_77", "manydirlists_12", "manymirror_x_1",
                               "daruravidumirror_9"})
        std::filesystem::create_directories(m_folder / "sites/" + folder);
    EXPECT_EQ(Load().GetNextID(), 15u);
    std::filesystem::remove(MapFile());
    URLToGatherIDMap lost = Load();
    EXPECT_EQ(lost.GetOrCreateGatherID(kSites + "new"), 15u);

    lost.KeepNextIDAbove(20);
    EXPECT_EQ(Load().GetNextID(), 21u);
}

// A writer killed at any moment leaves the file it replaced or the new one, never a part, so the
// map reads again with every id it handed out before its last save.
TEST_F(GatherMapTest, AKilledWriterLeavesAReadableMap) {
    for (int delayMilliseconds : {2, 7, 15}) {
        std::filesystem::remove_all(Inbox());
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            URLToGatherIDMap map = Load();
            for (int site = 0;; ++site) map.GetOrCreateGatherID(kSites + "site" + std::to_string(site));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMilliseconds));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);

        URLToGatherIDMap map = Load();
        EXPECT_FALSE(std::filesystem::exists(Inbox() + "/vtemapfile.xml.bad")) << delayMilliseconds;
        for (const auto& [url, id] : map.CopyMap()) EXPECT_LT(id, map.GetNextID());
    }
}
