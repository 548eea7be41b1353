// Archived sites dropped into the gather inbox, made by the test tool: installed when they verify and
// are newer, refused and set aside in "inbox/failed" otherwise, left alone while being written.
#include "relay/gather/inbox_archives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "relay/gather/site_gather_run_fixture.h"
#include "support/file_bytes.h"

namespace {

using namespace std::chrono_literals;

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

class InboxArchivesTest : public SiteGatherRunTest {
  protected:
    // An archive of the demo site's version as an inbox file, written long enough ago to be settled.
    std::string Drop(const std::string& name, std::uint32_t version, const std::vector<SiteFile>& files,
                     const ArchivedSiteParts& parts = {}) {
        const std::string path = Inbox() + "/" + name;
        WriteFile(path, ArchivedSiteBytes(kDemoSiteURL, version, files, parts));
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - 60s);
        return path;
    }
    void Process() { ProcessInboxArchives(FileLocation(Inbox().c_str()), m_options, State(), Map()); }
    std::string Failed() const { return Inbox() + "/failed"; }
};

TEST_F(InboxArchivesTest, ANewerVerifiedArchiveIsInstalledAndAnEqualOneIsOnlyDeleted) {
    MakeMirrorFolder("daruravidumirror_1_2");
    MakeMirrorFolder("daruravidumirror_1_11");
    Drop("archive_10", 10, kSiteVersion2, {.manifestName = "MANIFEST"});
    Process();
    const std::string installed = SiteFolder(kDemoSiteURL, 10);
    EXPECT_EQ(State().GetCommittedLocation(kDemoSiteURL), installed);
    for (const SiteFile& file : kSiteVersion2) EXPECT_EQ(ReadFileBytes(installed + "/" + file.name), file.content);
    EXPECT_EQ(Logged("debug", ": Successfully unpacked archived site.").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 2)));  // outside the window of 7
    EXPECT_FALSE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 11)));
    EXPECT_TRUE(Logged("critical", "without verification").empty());

    Drop("archive_again", 10, kSiteVersion1);
    Process();
    EXPECT_EQ(FolderNames(Inbox()).count("archive_again"), 0u);
    EXPECT_EQ(Logged("debug", ": Successfully unpacked archived site.").size(), 1u);
    EXPECT_EQ(ReadFileBytes(installed + "/a.txt"), "one and two");
    EXPECT_TRUE(FolderNames(Failed()).empty());
}

TEST_F(InboxArchivesTest, AnArchiveWithoutAListIsInstalledUnverified) {
    Drop("archive_plain", 3, kSiteVersion1, {.withList = false});
    Process();
    EXPECT_EQ(State().GetCommittedVersion(kDemoSiteURL), 3u);
    EXPECT_EQ(Logged("critical", "without verification").size(), 1u);
}

TEST_F(InboxArchivesTest, AnArchiveThatFailsItsCheckIsSetAsideAndNothingIsInstalled) {
    struct Case {
        const char* name;
        ArchivedSiteParts parts;
    };
    const Case cases[] = {
        {"archive_tampered", {.archivedFiles = std::vector<SiteFile>{{"a.txt", "changed"}, {"b.txt", "unchanged"}}}},
        {"archive_other_version", {.listVersion = 4}},
        {"archive_foreign_signer", {.signer = ActionSiteSigner()}},
        {"archive_no_manifest", {.manifestName = ""}},
        {"archive_bad_manifest", {.manifest = "1\r\nseven\r\nhttp://x/y\r\n"}},
        {"archive_no_site_id", {.manifest = "1\r\n3\r\nnot a url\r\n", .withList = false}},
    };
    for (const Case& c : cases) Drop(c.name, 3, kSiteVersion1, c.parts);
    Process();
    std::set<std::string> names;
    for (const Case& c : cases) names.insert(c.name);
    EXPECT_EQ(FolderNames(Failed()), names);
    EXPECT_EQ(Logged("critical", "Failed to process archive_* file: ").size(), std::size(cases));
    EXPECT_FALSE(State().HasCommittedLocation(kDemoSiteURL));
    EXPECT_FALSE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 3)));
    for (const std::string& name : FolderNames(MirrorSites())) EXPECT_FALSE(name.starts_with("temp")) << name;
}

TEST_F(InboxArchivesTest, OnlyTheNewestFailuresAreKept) {
    std::filesystem::create_directories(Failed());
    for (std::size_t i = 0; i < kFailedArchivesKept; ++i) {
        const std::string path = Failed() + "/archive_old" + std::to_string(i);
        WriteFileBytes(path, "failed before");
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1 + i));
    }
    Drop("archive_new", 3, kSiteVersion1, {.manifestName = ""});
    Process();
    std::set<std::string> kept = FolderNames(Failed());
    EXPECT_EQ(kept.size(), kFailedArchivesKept);
    EXPECT_EQ(kept.count("archive_new"), 1u);
    EXPECT_EQ(kept.count("archive_old" + std::to_string(kFailedArchivesKept - 1)), 0u);
}

// A file still being copied in is left for a later pass; a folder of that name is no archive.
TEST_F(InboxArchivesTest, AFileJustWrittenAndFoldersStay) {
    const std::string path = Drop("archive_copying", 3, kSiteVersion1);
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now());
    std::filesystem::create_directories(Inbox() + "/archive_folder");
    Process();
    EXPECT_EQ(FolderNames(Inbox()).count("archive_copying"), 1u);
    EXPECT_EQ(FolderNames(Inbox()).count("archive_folder"), 1u);
    EXPECT_FALSE(State().HasCommittedLocation(kDemoSiteURL));
}

}  // namespace
