#include "relay/gather/many_version_cleanup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "crypto/openssl_startup.h"
#include "formats/file_list.h"
#include "relay/gather/gather_cache.h"
#include "relay/gather/many_version_list.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::string CacheName(const std::string& content) {
    return Sha1Hex(content) + ".sha1";
}

class ManyVersionCleanupTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    ManyVersionCleanupTest() {
        std::filesystem::create_directories(DirLists());
        std::filesystem::create_directories(Cache());
    }

    std::string Sites() const { return m_sites.Path(); }
    std::string DirLists() const { return m_sites / "manydirlists_3"; }
    std::string Cache() const { return m_sites / "gathercache"; }
    FileLocation At(const std::string& path) const { return FileLocation(path.c_str()); }

    // Version `version` of many-version (version) holding the files: its list and archives in the
    // dirlist folder, its site directory, its files in the cache. Answers its SHA-1 text.
    std::string HoldVersion(std::uint32_t version, const std::vector<SiteFile>& files) {
        const ManyVersionList manyVersion = ManyVersionFromText(std::to_string(version));
        const std::string digest = ManyVersionDigestText(manyVersion);
        FileListOptions options;
        options.version = version;
        options.sourceVersions = std::to_string(version);
        WriteFileBytes(DirLists() + "/__mdirlist_" + digest, FileListForFiles(files, options));
        WriteFileBytes(DirLists() + "/__mdirlistc_" + digest, "signed list");
        WriteFileBytes(DirLists() + "/__fullsite_" + digest, "archive");
        std::filesystem::create_directories(m_sites / ManyMirror(version));
        for (const SiteFile& file : files) WriteFileBytes(Cache() + "/" + CacheName(file.content), file.content);
        return digest;
    }
    static std::string ManyMirror(std::uint32_t version) {
        return "manymirror_3_" + std::to_string(version) + "_" +
               std::to_string(ManyVersionCRC(ManyVersionFromText(std::to_string(version))));
    }
    // The cleanup while the gather state holds `committedVersion` (0: none) as the committed copy.
    void CleanUp(std::uint32_t numVersionsToServe, std::uint32_t committedVersion = 0) {
        CommittedSiteVersion committed;
        if (committedVersion != 0) {
            committed.location = m_sites / ManyMirror(committedVersion);
            committed.manyVersion = ManyVersionFromText(std::to_string(committedVersion));
        }
        CleanUpManyVersionSite(At(DirLists()), At(Sites()), At(Cache()), 3, numVersionsToServe,
                               [&committed] { return committed; });
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_sites;
};

TEST_F(ManyVersionCleanupTest, KeepsTheNewestVersionsWithWhatOnlyTheyNeed) {
    const std::string d1 = HoldVersion(1, {{"a", "one"}, {"shared", "s"}});
    const std::string d2 = HoldVersion(2, {{"a", "two"}, {"shared", "s"}});
    const std::string d3 = HoldVersion(3, {{"a", "three"}, {"shared", "s"}});
    for (const auto& [from, to] : {std::pair(d1, d2), std::pair(d2, d3)})
        WriteFileBytes(DirLists() + "/__diffsite_" + from + "_to_" + to, "update");
    std::filesystem::create_directories(m_sites / "manymirror_3_9_99");
    std::filesystem::create_directories(m_sites / "daruravidumirror_3_1");

    CleanUp(2);
    EXPECT_EQ(FolderNames(DirLists()),
              (std::set<std::string>{"__mdirlist_" + d2, "__mdirlistc_" + d2, "__fullsite_" + d2, "__mdirlist_" + d3,
                                     "__mdirlistc_" + d3, "__fullsite_" + d3, "__diffsite_" + d1 + "_to_" + d2,
                                     "__diffsite_" + d2 + "_to_" + d3}));
    EXPECT_EQ(FolderNames(Sites()), (std::set<std::string>{"manydirlists_3", "gathercache", ManyMirror(2), ManyMirror(3),
                                                           "daruravidumirror_3_1"}));
    EXPECT_EQ(FolderNames(Cache()), (std::set<std::string>{CacheName("two"), CacheName("three"), CacheName("s")}));

    CleanUp(0);
    EXPECT_TRUE(FolderNames(DirLists()).empty());
    EXPECT_EQ(FolderNames(Sites()), (std::set<std::string>{"manydirlists_3", "gathercache", "daruravidumirror_3_1"}));
    EXPECT_TRUE(FolderNames(Cache()).empty());
}

// The committed copy stays whatever the window: an archive or an earlier gather may have committed
// a version older than the newest lists, and with no versions to serve it alone remains.
TEST_F(ManyVersionCleanupTest, TheCommittedVersionStaysOutsideTheWindow) {
    const std::string d1 = HoldVersion(1, {{"a", "one"}});
    HoldVersion(2, {{"a", "two"}});
    const std::string d3 = HoldVersion(3, {{"a", "three"}});

    CleanUp(1, 1);
    EXPECT_EQ(FolderNames(DirLists()),
              (std::set<std::string>{"__mdirlist_" + d1, "__mdirlistc_" + d1, "__fullsite_" + d1, "__mdirlist_" + d3,
                                     "__mdirlistc_" + d3, "__fullsite_" + d3}));
    EXPECT_EQ(FolderNames(Sites()), (std::set<std::string>{"manydirlists_3", "gathercache", ManyMirror(1), ManyMirror(3)}));
    EXPECT_EQ(FolderNames(Cache()), (std::set<std::string>{CacheName("one"), CacheName("three")}));

    CleanUp(0, 3);
    EXPECT_EQ(FolderNames(DirLists()),
              (std::set<std::string>{"__mdirlist_" + d3, "__mdirlistc_" + d3, "__fullsite_" + d3}));
    EXPECT_EQ(FolderNames(Sites()), (std::set<std::string>{"manydirlists_3", "gathercache", ManyMirror(3)}));
    EXPECT_EQ(FolderNames(Cache()), (std::set<std::string>{CacheName("three")}));
}

TEST_F(ManyVersionCleanupTest, AListThatDoesNotReadEndsTheCleanupBeforeAnyDeletion) {
    HoldVersion(1, {{"a", "one"}});
    HoldVersion(2, {{"a", "two"}});
    WriteFileBytes(DirLists() + "/__mdirlist_broken", "not a list");
    EXPECT_THROW(CleanUp(1), NotAFileList);
    EXPECT_EQ(FolderNames(Cache()).size(), 2u);
    EXPECT_EQ(FolderNames(DirLists()).size(), 7u);
}

// Only "FILE" entries of a list still served keep a cache file; a write under way is never touched.
TEST_F(ManyVersionCleanupTest, UnreferencedCacheFilesGo) {
    ListFields nonClient = EntryFieldsOf({"n", "non-client"}, "http://parent/");
    for (auto& [name, value] : nonClient)
        if (name == "type") value = "NONCLIENTFILE";
    FileListOptions options;
    options.sourceVersions = "1";
    WriteFileBytes(DirLists() + "/__mdirlist_x",
                   FileListText(options, {nonClient, EntryFieldsOf({"f", "file"}, "http://parent/")}));
    std::filesystem::create_directories(m_sites / "daruravidumirror_6_1");
    WriteFileBytes(m_sites / "daruravidumirror_6_1/__sdirlist", FileListForFiles({{"s", "single"}}, FileListOptions()));
    for (const char* content : {"non-client", "file", "single", "unreferenced"})
        WriteFileBytes(Cache() + "/" + CacheName(content), content);
    WriteFileBytes(Cache() + "/veltraAbc123.tmp", "being written");

    DeleteUnreferencedCacheFiles(At(Sites()), At(Cache()));
    EXPECT_EQ(FolderNames(Cache()),
              (std::set<std::string>{CacheName("file"), CacheName("single"), "veltraAbc123.tmp"}));
}

TEST(DeleteOldManyMirrorDirectories, DeletesOnlyTheSitesManyMirrorFoldersNotKept) {
    TemporaryFolder sites;
    for (const char* name : {"manymirror_3_1_11", "manymirror_3_2_22", "MANYMIRROR_3_3_33", "manymirror_31_1_11",
                             "manymirror_4_1_11", "daruravidumirror_3_1", "manydirlists_3"})
        std::filesystem::create_directories(sites / name);
    std::filesystem::create_directories(sites / "manymirror_3_1_11/inner");
    WriteWholeFile(sites / "manymirror_3_1_11/inner/a", "a");
    WriteWholeFile(sites / "manymirror_3_file", "not a folder");

    DeleteOldManyMirrorDirectories(FileLocation(sites.Path().c_str()), 3, FolderNameSet{"ManyMirror_3_2_22"},
                                   [] { return CommittedSiteVersion{}; });
    EXPECT_EQ(FolderNames(sites.Path()),
              (std::set<std::string>{"manymirror_3_2_22", "manymirror_31_1_11", "manymirror_4_1_11",
                                     "daruravidumirror_3_1", "manydirlists_3", "manymirror_3_file"}));
}

}  // namespace
