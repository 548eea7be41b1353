// Completing a many-version site version in the gather cache against a scripted parent, over both
// transports.
#include "relay/gather/many_version_completion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "crypto/site_archive_unpacker.h"
#include "formats/file_list_reader.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/site_gather_fixture.h"
#include "support/site_content.h"

namespace {

const std::vector<SiteFile> kVersion1 = {{"a.txt", "one", 100}, {"b.txt", "unchanged", 200}};
const std::vector<SiteFile> kVersion2 = {{"a.txt", "one and two", 300}, {"b.txt", "unchanged", 200}, {"c.txt", "new", 400}};

std::set<std::string> CacheNamesOf(const std::vector<SiteFile>& files) {
    std::set<std::string> names;
    for (const SiteFile& file : files) names.insert(Sha1Hex(file.content) + ".sha1");
    return names;
}

std::set<std::string> FileNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

class ManyVersionCompletionTest : public SiteGatherTest {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    ManyVersionCompletionTest()
        : m_digest1(ManyVersionDigestText(ManyVersionFromText("1"))),
          m_digest2(ManyVersionDigestText(ManyVersionFromText("2"))),
          m_siteFolder("manymirror_3_2_" + std::to_string(ManyVersionCRC(ManyVersionFromText("2")))) {
        const std::string text = ListText(kVersion2, 2);
        ReadFileListBytes(ConstData(std::string_view(text)), 0, m_list);
        std::filesystem::create_directories(SiteDirectory());
        std::filesystem::create_directories(DirLists());
    }

    static std::string ListText(const std::vector<SiteFile>& files, std::uint32_t version) {
        FileListOptions options;
        options.version = version;
        options.sourceVersions = std::to_string(version);
        options.extraHeaders = {{"fullsiteurl", "http://root.example.test/actionsite/__fullsite"}};
        return FileListForFiles(files, options);
    }
    std::string SiteDirectory() const { return MirrorSites() + "/" + m_siteFolder; }
    std::string DirLists() const { return MirrorSites() + "/manydirlists_3"; }
    std::string Cache() const { return MirrorSites() + "/gathercache"; }
    std::string ParentFile(const std::string& name) const { return "/vtmirror/vtsites/manydirlists_3/" + name; }
    std::string AllDiffsPath() const { return ParentFile("__alldiffs_" + m_digest2); }
    std::string FullSitePath() const { return ParentFile("__fullsite_" + m_digest2); }
    std::string DiffSiteName() const { return "__diffsite_" + m_digest1 + "_to_" + m_digest2; }

    // Version 1 as the relay holds it: its list in the dirlist folder, its files in the cache.
    void HoldVersion1() {
        WriteFileBytes(DirLists() + "/__mdirlist_" + m_digest1, ListText(kVersion1, 1));
        PutIntoCache(kVersion1);
    }
    void PutIntoCache(const std::vector<SiteFile>& files) {
        std::filesystem::create_directories(Cache());
        for (const SiteFile& file : files) WriteFileBytes(Cache() + "/" + Sha1Hex(file.content) + ".sha1", file.content);
    }
    std::unique_ptr<SiteGatherWorker> RelayParentWorker() {
        const std::string at = "http://internal/vtmirror/vtsites/";
        return AnsweredWorker("x-kvr-http-local-addr: " + at + "gathercache/\r\n"
                              "x-kvrgather-fullsite-url: http://internal" + FullSitePath() + "\r\n"
                              "x-kvrgather-alldiffs-url: http://internal" + AllDiffsPath() + "\r\n"
                              "x-kvrgather-single-fullsite-url: " + at + m_siteFolder + "/__fullsite\r\n");
    }
    void Complete() {
        std::unique_ptr<SiteGatherWorker> worker = RelayParentWorker();
        worker->SetSiteDirectory(FileLocation(SiteDirectory().c_str()));
        CompleteManyVersionSite(*worker, m_list);
    }
    // The names of the relay's own "__fullsite_" for the version, unpacked against the list.
    std::set<std::string> ServedFullSite() {
        const std::string unpacked = m_folder / "unpacked";
        std::filesystem::create_directories(unpacked);
        UnpackFullSiteArchive(FileLocation((DirLists() + "/__fullsite_" + m_digest2).c_str()),
                              FileLocation(unpacked.c_str()), m_list);
        std::set<std::string> names;
        for (const SiteFile& file : ReadSiteTree(unpacked)) names.insert(file.name + "=" + file.content);
        return names;
    }
    static std::set<std::string> Contents(const std::vector<SiteFile>& files) {
        std::set<std::string> names;
        for (const SiteFile& file : files) names.insert(file.name + "=" + file.content);
        return names;
    }

    const std::string m_digest1;
    const std::string m_digest2;
    const std::string m_siteFolder;
    STDFileList m_list;
};

TEST_P(ManyVersionCompletionTest, TheAllDiffsArchiveAndAnEarlierListComplete) {
    HoldVersion1();
    m_parent.Serve(AllDiffsPath(),
                   SiteArchiveBytes({{DiffSiteName(), SiteArchiveContent(UpdateArchiveMembers(kVersion1, kVersion2))}}));
    Complete();

    std::set<std::string> cache = FileNames(Cache());
    for (const std::string& name : CacheNamesOf(kVersion2)) EXPECT_EQ(cache.count(name), 1u) << name;
    EXPECT_EQ(FileNames(DirLists()), (std::set<std::string>{"__mdirlist_" + m_digest1, "__alldiffs_" + m_digest2,
                                                             DiffSiteName(), "__fullsite_" + m_digest2}));
    EXPECT_EQ(ServedFullSite(), Contents(kVersion2));
    EXPECT_EQ(m_parent.RequestsFor(FullSitePath()), 0u);
}

// A difference whose result is not the new file's content leaves nothing in the cache; the full site
// then completes the version.
TEST_P(ManyVersionCompletionTest, ACorruptDifferenceFallsBackToTheFullSite) {
    HoldVersion1();
    const std::string wrong = "one and TWO";
    m_parent.Serve(AllDiffsPath(),
                   SiteArchiveBytes({{DiffSiteName(), SiteArchiveContent({{"__dif_a.txt", DifferenceBytes("one", wrong)},
                                                                          {"c.txt", "new"}})}}));
    m_parent.Serve(FullSitePath(), FullSiteArchiveBytes(kVersion2));
    Complete();

    std::set<std::string> expected = CacheNamesOf(kVersion1);
    expected.merge(CacheNamesOf(kVersion2));
    EXPECT_EQ(FileNames(Cache()), expected);
    EXPECT_EQ(Logged("critical", "Unable to apply diffsite ").size(), 1u);
    EXPECT_EQ(m_parent.RequestsFor(FullSitePath()), 1u);
    EXPECT_EQ(ServedFullSite(), Contents(kVersion2));
}

TEST_P(ManyVersionCompletionTest, AnEntryNoWaySuppliesIsLoggedAndTheFullSiteCompletes) {
    HoldVersion1();
    WriteFileBytes(DirLists() + "/" + DiffSiteName(), SiteArchiveBytes({{"c.txt", "new"}}));
    m_parent.Serve(FullSitePath(), FullSiteArchiveBytes(kVersion2));
    Complete();
    const std::string logged = "Unable to find file \"a.txt\" in diffsite \"" + DirLists() + "/" + DiffSiteName() + "\"";
    EXPECT_EQ(Logged("critical", logged).size(), 1u);
    EXPECT_EQ(ServedFullSite(), Contents(kVersion2));
}

// An all-diffs archive carries difference sites to this version only, and never replaces one: a
// member named like a list or a full site of the relay's is never written.
TEST_P(ManyVersionCompletionTest, APlantedAllDiffsMemberWritesNothing) {
    PutIntoCache(kVersion2);
    WriteFileBytes(DirLists() + "/" + DiffSiteName(), "held before");
    const std::string other = std::string(40, 'a');
    m_parent.Serve(AllDiffsPath(), SiteArchiveBytes({{"__mdirlist_" + m_digest2, "planted"},
                                                     {"__mdirlistc_" + m_digest2, "planted"},
                                                     {"__fullsite_" + m_digest2, "planted"},
                                                     {"__ALLDIFFS_" + m_digest2, "planted"},
                                                     {"__diffsite_" + m_digest1 + "_to_" + other, "planted"},
                                                     {"__diffsite_" + std::string(40, 'Z') + "_to_" + m_digest2, "planted"},
                                                     {DiffSiteName(), "planted"}}));
    Complete();

    EXPECT_EQ(FileNames(DirLists()),
              (std::set<std::string>{"__alldiffs_" + m_digest2, DiffSiteName(), "__fullsite_" + m_digest2}));
    EXPECT_EQ(ReadFileBytes(DirLists() + "/" + DiffSiteName()), "held before");
    EXPECT_EQ(ServedFullSite(), Contents(kVersion2));
    EXPECT_EQ(m_parent.RequestsFor(FullSitePath()), 0u) << "the content was in place";
}

TEST_P(ManyVersionCompletionTest, TheFullSiteFillsTheCache) {
    m_parent.Serve(FullSitePath(), FullSiteArchiveBytes(kVersion2));
    Complete();
    EXPECT_EQ(FileNames(Cache()), CacheNamesOf(kVersion2));
    std::set<std::string> site = FileNames(SiteDirectory());
    EXPECT_EQ(site.erase("__fullsite"), 1u);
    EXPECT_EQ(site, (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
}

INSTANTIATE_TEST_SUITE_P(BothTransports, ManyVersionCompletionTest, ::testing::Bool(), TransportName);

}  // namespace
