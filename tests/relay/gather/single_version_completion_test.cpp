// Completing a single-version site directory against a scripted parent, over both transports.
#include "relay/gather/single_version_completion.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "crypto/site_archive_unpacker.h"
#include "formats/file_list_reader.h"
#include "formats/site_archive_extraction.h"
#include "relay/gather/gather_fetch.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/site_content_check.h"
#include "relay/gather/site_gather_fixture.h"
#include "support/exception_text.h"
#include "support/site_content.h"

namespace {

const std::vector<SiteFile> kVersion1 = {{"a.txt", "one", 100}, {"b.txt", "unchanged", 200}};
const std::vector<SiteFile> kVersion2 = {{"a.txt", "one and two", 300}, {"b.txt", "unchanged", 200}, {"c.txt", "new", 400}};
// Where the parent keeps version 2, and the root's URLs that the list names.
constexpr const char* kParentFolder = "/vtmirror/vtsites/daruravidumirror_3_2/";
constexpr const char* kRootSite = "http://root.example.test/Updates/";

std::map<std::string, std::string> TreeOf(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const SiteFile& file : ReadSiteTree(folder)) tree[file.name] = file.content;
    return tree;
}

std::map<std::string, std::string> TreeOf(const std::vector<SiteFile>& files) {
    std::map<std::string, std::string> tree;
    for (const SiteFile& file : files) tree[file.name] = file.content;
    return tree;
}

class SingleVersionCompletionTest : public SiteGatherTest {
  protected:
    SingleVersionCompletionTest() { UseList(kVersion2, 2, "01"); }  // a difference from version 1

    // The list of the version being gathered, whose site directory is made.
    void UseList(const std::vector<SiteFile>& files, std::uint32_t version, const std::string& differenceList) {
        FileListOptions options;
        options.version = version;
        options.extraHeaders = {{"fullsiteurl", std::string(kRootSite) + "__fullsite"},
                                {"sitediffbaseurl", std::string(kRootSite) + "__diffsite"},
                                {"sitedifflist", differenceList}};
        const std::string text = FileListForFiles(files, options);
        ReadFileListBytes(ConstData(std::string_view(text)), 0, m_list);
        std::filesystem::create_directories(SiteDirectory());
    }

    std::string SiteDirectory() const { return MirrorSites() + "/daruravidumirror_3_" + std::to_string(m_list.GetVersion()); }
    std::string InSite(const std::string& name) const { return SiteDirectory() + "/" + name; }
    // A parent that keeps the version in its own folder and names that as its local address.
    std::unique_ptr<SiteGatherWorker> RelayParentWorker() {
        return AnsweredWorker("x-kvr-http-local-addr: http://internal" + std::string(kParentFolder) + "\r\n");
    }
    void ServeFromParentFolder(const std::string& name, const std::string& bytes) {
        m_parent.Serve(kParentFolder + name, bytes);
    }
    void Complete(SiteGatherWorker& worker) {
        worker.SetSiteDirectory(FileLocation(SiteDirectory().c_str()));
        CompleteSingleVersionSite(worker, m_list);
    }
    // What the relay's own "__fullsite" holds, unpacked against the list.
    std::map<std::string, std::string> ServedFullSite() {
        const std::string unpacked = m_folder / "unpacked";
        std::filesystem::create_directories(unpacked);
        UnpackFullSiteArchive(FileLocation(InSite("__fullsite").c_str()), FileLocation(unpacked.c_str()), m_list);
        return TreeOf(unpacked);
    }
    // The content of each difference site of the version, as the parent's "__alldiffs" holds them.
    static std::string AllDiffs(const std::vector<ArchiveMember>& differenceSites) {
        return SiteArchiveBytes(differenceSites);
    }
    static ArchiveMember DifferenceSite1() {
        return {"__diffsite1", SiteArchiveContent(UpdateArchiveMembers(kVersion1, kVersion2)), 0};
    }

    STDFileList m_list;
};

TEST_P(SingleVersionCompletionTest, TheAllDiffsArchiveAndTheEarlierVersionComplete) {
    WriteSiteTree(MirrorSites() + "/daruravidumirror_3_1", kVersion1);
    ServeFromParentFolder("__alldiffs", AllDiffs({DifferenceSite1()}));
    Complete(*RelayParentWorker());

    std::map<std::string, std::string> tree = TreeOf(SiteDirectory());
    for (const char* name : {"__alldiffs", "__diffsite1", "__fullsite"}) EXPECT_EQ(tree.erase(name), 1u) << name;
    EXPECT_EQ(tree, TreeOf(kVersion2));
    EXPECT_EQ(ServedFullSite(), TreeOf(kVersion2));
    EXPECT_EQ(m_parent.RequestsFor(std::string(kParentFolder) + "__fullsite"), 0u);
}

// The newest earlier version goes first; one whose difference site does not apply is logged and the
// next is tried.
TEST_P(SingleVersionCompletionTest, EarlierVersionsAreTriedNewestFirst) {
    const std::vector<SiteFile> version3 = {{"a.txt", "three", 500}, {"b.txt", "unchanged", 200}};
    UseList(version3, 3, "011");
    WriteSiteTree(MirrorSites() + "/daruravidumirror_3_1", kVersion1);
    WriteSiteTree(MirrorSites() + "/daruravidumirror_3_2", kVersion2);
    ServeFromParentFolder("__alldiffs",
                          AllDiffs({{"__diffsite1", SiteArchiveContent(UpdateArchiveMembers(kVersion1, version3)), 0},
                                    {"__diffsite2", "no archive", 0}}));
    Complete(*RelayParentWorker());

    EXPECT_EQ(Logged("critical", "Unable to apply diffsite ").size(), 1u);
    EXPECT_TRUE(SiteDirectoryPassesCheck(FileLocation(SiteDirectory().c_str()), m_list));
    EXPECT_EQ(m_parent.RequestsFor(std::string(kParentFolder) + "__fullsite"), 0u);
}

// Without the parent's "__alldiffs" the relay builds its own from the difference sites it fetches.
TEST_P(SingleVersionCompletionTest, AMissingAllDiffsIsBuiltFromTheDifferenceSites) {
    WriteSiteTree(MirrorSites() + "/daruravidumirror_3_1", kVersion1);
    ServeFromParentFolder("__alldiffs", "not an archive");
    ServeFromParentFolder("__diffsite1", UpdateArchiveBytes(kVersion1, kVersion2));
    Complete(*RelayParentWorker());

    const std::string extracted = m_folder / "extracted";
    std::filesystem::create_directories(extracted);
    ExtractSiteArchive(FileLocation(InSite("__alldiffs").c_str()), FileLocation(extracted.c_str()),
                       [](std::string_view) { return true; }, false);
    EXPECT_EQ(TreeOf(extracted), (std::map<std::string, std::string>{{"__diffsite1", DifferenceSite1().data}}));
    EXPECT_TRUE(SiteDirectoryPassesCheck(FileLocation(SiteDirectory().c_str()), m_list));
    EXPECT_EQ(m_parent.RequestsFor(std::string(kParentFolder) + "__fullsite"), 0u);
}

// With the parent's single-full-site URL every name is resolved against it; the full site it names
// is kept as the served one.
TEST_P(SingleVersionCompletionTest, TheFullSiteCompletesWhatTheDifferencesCannot) {
    const std::string fullSite = FullSiteArchiveBytes(kVersion2);
    m_parent.Serve("/single/__fullsite", fullSite);
    std::unique_ptr<SiteGatherWorker> worker =
        AnsweredWorker("x-kvrgather-single-fullsite-url: http://internal/single/__fullsite\r\n");
    Complete(*worker);

    EXPECT_EQ(ReadFileBytes(InSite("__fullsite")), fullSite);
    EXPECT_TRUE(SiteDirectoryPassesCheck(FileLocation(SiteDirectory().c_str()), m_list));
    EXPECT_EQ(m_parent.RequestsFor("/single/__alldiffs"), 1u);
    EXPECT_EQ(m_parent.RequestsFor("/single/__diffsite1"), 1u);
    EXPECT_EQ(m_parent.RequestsFor("/single/__fullsite"), 1u);
}

TEST_P(SingleVersionCompletionTest, ContentAlreadyInPlaceNeedsNoFullSite) {
    WriteSiteTree(SiteDirectory(), kVersion2);
    Complete(*RelayParentWorker());
    EXPECT_EQ(m_parent.RequestsFor(std::string(kParentFolder) + "__fullsite"), 0u);
    EXPECT_EQ(ServedFullSite(), TreeOf(kVersion2));
}

// An all-diffs archive carries difference sites only: a member named like one of the relay's own
// files, or any other name, is never written.
TEST_P(SingleVersionCompletionTest, APlantedAllDiffsMemberWritesNothing) {
    WriteSiteTree(SiteDirectory(), kVersion2);
    WriteFileBytes(InSite("__sdirlist"), "the relay's own list");
    ServeFromParentFolder("__alldiffs", AllDiffs({{"__sdirlist", "planted"},
                                                  {"__fullsite", "planted"},
                                                  {"__ALLDIFFS", "planted"},
                                                  {"dir/__mdirlist_ab", "planted"},
                                                  {"a.txt", "planted"},
                                                  {"__diffsite1x", "planted"},
                                                  {"../__diffsite", "planted"}}));
    Complete(*RelayParentWorker());

    std::map<std::string, std::string> tree = TreeOf(SiteDirectory());
    EXPECT_EQ(tree["__sdirlist"], "the relay's own list");
    for (const char* name : {"__sdirlist", "__alldiffs", "__fullsite"}) EXPECT_EQ(tree.erase(name), 1u) << name;
    EXPECT_EQ(tree, TreeOf(kVersion2));
    EXPECT_EQ(ServedFullSite(), TreeOf(kVersion2));
}

TEST_P(SingleVersionCompletionTest, ContentOfAnotherSHA1FailsTheCheck) {
    std::vector<SiteFile> tampered = kVersion2;
    tampered[0].content = "one and TWO";
    ServeFromParentFolder("__fullsite", FullSiteArchiveBytes(tampered));
    std::unique_ptr<SiteGatherWorker> worker = RelayParentWorker();
    EXPECT_EQ(ErrorOf([&] { Complete(*worker); }), "Unable to get site content (failed to pass sha1 hash value checks).");
    EXPECT_FALSE(std::filesystem::exists(InSite("a.txt")));
}

TEST_P(SingleVersionCompletionTest, AFullSiteThatCannotBeFetchedEndsWithTheFetchsText) {
    std::unique_ptr<SiteGatherWorker> worker = RelayParentWorker();
    const std::string url = m_parent.URL(std::string(kParentFolder) + "__fullsite");
    EXPECT_EQ(ErrorOf([&] { Complete(*worker); }),
              "GetURL failure on " + url + ": General transport failure.\r\n'" + url + "' http failure code 404");
}

TEST_P(SingleVersionCompletionTest, AStopDuringAHungFetchEndsTheChain) {
    m_parent.Hang(std::string(kParentFolder) + "__fullsite");
    std::unique_ptr<SiteGatherWorker> worker = RelayParentWorker();
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_stop.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Complete(*worker), GatherCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    stopper.join();
}

INSTANTIATE_TEST_SUITE_P(BothTransports, SingleVersionCompletionTest, ::testing::Bool(), TransportName);

}  // namespace
