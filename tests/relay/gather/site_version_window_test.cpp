#include "relay/gather/site_version_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "relay/gather/mirror_directory_lock.h"
#include "support/temporary_folder.h"

namespace {

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::string Version(std::uint32_t version) {
    return "daruravidumirror_3_" + std::to_string(version);
}

class SiteVersionWindowTest : public ::testing::Test {
  protected:
    void Make(const std::set<std::string>& names) {
        for (const std::string& name : names) std::filesystem::create_directories(m_sites / name);
    }
    // The window after `newVersion` while `committed` ("" for none) is the committed folder.
    void CutWindow(std::uint32_t newVersion, std::uint32_t numVersionsToServe, const std::string& committed = "") {
        const CommittedSiteVersion copy{committed.empty() ? "" : m_sites / committed, {}};
        DeleteOlderSiteVersions(FileLocation(m_sites.Path().c_str()), 3, newVersion, numVersionsToServe,
                                [&copy] { return copy; });
    }

    TemporaryFolder m_sites;
};

TEST_F(SiteVersionWindowTest, TheNewestVersionsUpToTheNewOneStay) {
    struct Case {
        std::uint32_t newVersion;
        std::uint32_t numVersionsToServe;
        std::set<std::uint32_t> kept;
    };
    const Case cases[] = {
        {10, 7, {4, 5, 6, 7, 8, 9, 10}},
        {2, 7, {0, 1, 2}},
        {10, 1, {10}},
    };
    for (const Case& c : cases) {
        TemporaryFolder sites;
        for (std::uint32_t version = 0; version <= 11; ++version)
            std::filesystem::create_directories(sites / Version(version));
        DeleteOlderSiteVersions(FileLocation(sites.Path().c_str()), 3, c.newVersion, c.numVersionsToServe,
                                [] { return CommittedSiteVersion{}; });
        std::set<std::string> expected;
        for (std::uint32_t version : c.kept) expected.insert(Version(version));
        EXPECT_EQ(FolderNames(sites.Path()), expected) << c.newVersion << " keeping " << c.numVersionsToServe;
    }
}

// Another site's folders, names that carry no version and plain files are no versions of the site.
TEST_F(SiteVersionWindowTest, OnlyTheSitesVersionFoldersGo) {
    Make({Version(1), Version(5), "daruravidumirror_31_1", "daruravidumirror_3_x", "manymirror_3_1_77", "gathercache"});
    std::filesystem::create_directories(m_sites / (Version(1) + "/sub"));
    std::ofstream(m_sites / "daruravidumirror_3_2") << "a file";
    CutWindow(5, 1);
    EXPECT_EQ(FolderNames(m_sites.Path()), (std::set<std::string>{Version(5), "daruravidumirror_31_1",
                                                                  "daruravidumirror_3_x", "manymirror_3_1_77",
                                                                  "gathercache", "daruravidumirror_3_2"}));
}

// The copy served stays whatever the window says: a newer one an archive committed meanwhile, an
// older one, and with no versions to serve the new one itself when it is the committed one.
TEST_F(SiteVersionWindowTest, TheCommittedFolderAndOnesBeingWrittenStay) {
    Make({Version(1), Version(2), Version(8), Version(12)});
    CutWindow(8, 2, Version(12));
    EXPECT_EQ(FolderNames(m_sites.Path()), (std::set<std::string>{Version(8), Version(12)}));

    CutWindow(12, 0, Version(12));
    EXPECT_EQ(FolderNames(m_sites.Path()), (std::set<std::string>{Version(12)}));

    Make({Version(13)});
    MirrorDirectoryLockToken writing;
    writing.AcquireLock(m_sites / Version(13));
    CutWindow(12, 1, Version(12));
    EXPECT_EQ(FolderNames(m_sites.Path()), (std::set<std::string>{Version(12), Version(13)}));
    writing.Release();
    CutWindow(12, 1, Version(12));
    EXPECT_EQ(FolderNames(m_sites.Path()), (std::set<std::string>{Version(12)}));
}

TEST(PrepareSiteVersionDirectory, EmptiesTheFilesOfALeftDirectoryAndKeepsItsFolders) {
    TemporaryFolder sites;
    const std::string directory = sites / "daruravidumirror_3_4";
    PrepareSiteVersionDirectory(FileLocation(directory.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(directory));

    std::filesystem::create_directories(directory + "/sub");
    std::ofstream(directory + "/left") << "from a cancelled gather";
    std::ofstream(directory + "/sub/inner") << "kept";
    PrepareSiteVersionDirectory(FileLocation(directory.c_str()));
    EXPECT_EQ(FolderNames(directory), std::set<std::string>{"sub"});
    EXPECT_TRUE(std::filesystem::exists(directory + "/sub/inner"));
}

}  // namespace
