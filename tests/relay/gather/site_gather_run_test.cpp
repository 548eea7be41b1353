// Whole site gathers, from the directory request to the outcome the gather state records, against a
// parent that publishes signed sites.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "relay/gather/mirror_directory_lock.h"
#include "relay/gather/site_gather_run_fixture.h"
#include "support/file_bytes.h"

namespace {

using namespace std::chrono_literals;

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::map<std::string, std::string> ContentOf(const std::string& folder) {
    std::map<std::string, std::string> content;
    for (const SiteFile& file : ReadSiteTree(folder))
        if (!file.name.starts_with("__")) content[file.name] = file.content;
    return content;
}

std::map<std::string, std::string> ContentOf(const std::vector<SiteFile>& files) {
    std::map<std::string, std::string> content;
    for (const SiteFile& file : files) content[file.name] = file.content;
    return content;
}

using SiteGatherRun = SiteGatherRunTest;

TEST_F(SiteGatherRun, AFirstGatherCommitsTheVersionAndTheNextComesByDifference) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    Gather(kDemoSiteURL);
    const std::string first = SiteFolder(kDemoSiteURL, 1);
    EXPECT_EQ(State().GetCommittedLocation(kDemoSiteURL), first);
    EXPECT_EQ(State().GetStatus(kDemoSiteURL).message, "Site available.");
    EXPECT_EQ(ContentOf(first), ContentOf(kSiteVersion1));
    for (const char* served : {"__sdirlist", "__sdirlistc", "__fullsite"})
        EXPECT_TRUE(std::filesystem::exists(first + "/" + served)) << served;

    m_sites.PublishVersion(kDemoSiteURL, 2, kSiteVersion2, DemoSiteSigner(), {{1, kSiteVersion1}});
    Gather(kDemoSiteURL);
    EXPECT_EQ(State().GetCommittedVersion(kDemoSiteURL), 2u);
    EXPECT_EQ(ContentOf(SiteFolder(kDemoSiteURL, 2)), ContentOf(kSiteVersion2));
    EXPECT_EQ(m_parent.RequestsFor(SiteParent::VersionPath(kDemoSiteURL, 2) + "__fullsite"), 0u);
    const std::vector<std::string> requests = m_parent.Requests();
    const auto lastDirectoryRequest = std::find_if(requests.rbegin(), requests.rend(), [](const std::string& request) {
        return ScriptedParent::PathOf(request) == kParentGatherPath;
    });
    ASSERT_NE(lastDirectoryRequest, requests.rend());
    EXPECT_NE(lastDirectoryRequest->find("x_veltra_client_site_version: 1\r\n"), std::string::npos);
}

// How a gather ends without a new version, each from a site that holds version 2.
TEST_F(SiteGatherRun, EndingsWithoutANewVersion) {
    m_sites.PublishVersion(kDemoSiteURL, 2, kSiteVersion2, DemoSiteSigner());
    Gather(kDemoSiteURL);
    const std::string committed = SiteFolder(kDemoSiteURL, 2);
    WriteFileBytes(committed + "/planted", "untouched");
    const std::size_t foldersBefore = FolderNames(MirrorSites()).size();

    // The parent answers an empty body: the relay's version is its own.
    Gather(kDemoSiteURL);
    // The parent is behind the relay.
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    Gather(kDemoSiteURL);
    // A request made before the relay held version 2 finds it committed.
    m_sites.PublishVersion(kDemoSiteURL, 2, kSiteVersion2, DemoSiteSigner());
    SiteGatherParams early = Queued(kDemoSiteURL);
    early.localVersion = 0;
    Process(early);

    EXPECT_EQ(Logged("debug", ": Already have latest version of site.").size(), 3u);
    EXPECT_EQ(Logged("debug", ": GatherFinishedEarly.  Site location already committed: " + committed).size(), 1u);
    EXPECT_EQ(State().GetStatus(kDemoSiteURL).message, "Site available.");
    EXPECT_EQ(FolderNames(MirrorSites()).size(), foldersBefore);
    EXPECT_EQ(ReadFileBytes(committed + "/planted"), "untouched");
}

TEST_F(SiteGatherRun, AVersionDirectoryBeingWrittenIsTriedAgainLater) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    const SiteGatherParams request = Queued(kDemoSiteURL);
    MirrorDirectoryLockToken installing;
    installing.AcquireLock(SiteFolder(kDemoSiteURL, 1));
    Process(request);
    EXPECT_EQ(State().GetSiteRecord(SiteID(kDemoSiteURL)).errorText,
              std::to_string(SiteID(kDemoSiteURL)) + ": Files in use by some other process.  Will try again later.");
    EXPECT_EQ(TakeQueue(), std::vector<std::string>{std::string(kDemoSiteURL) + " (no expected version)"});
}

TEST_F(SiteGatherRun, AListTheSitesMastheadDoesNotAcceptFailsTheGather) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, ActionSiteSigner());
    Gather(kDemoSiteURL);
    const SiteGatherStatus status = State().GetStatus(kDemoSiteURL);
    EXPECT_EQ(status.code, SiteGatherStatusCode::kGatherError);
    EXPECT_NE(status.message.find("NoAuthorizedSignature"), std::string::npos) << status.message;
    EXPECT_FALSE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 1)));
}

TEST_F(SiteGatherRun, AStopDuringAFetchCancelsTheGatherAtOnce) {
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    const std::string fullSite = SiteParent::VersionPath(kDemoSiteURL, 1) + "__fullsite";
    m_parent.Hold(fullSite);
    const SiteGatherParams request = Queued(kDemoSiteURL);
    std::thread gather([&] { Process(request); });
    ASSERT_TRUE(m_parent.AwaitArrivals(fullSite, 1));
    const auto stopped = std::chrono::steady_clock::now();
    m_stop.Set();
    gather.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
    EXPECT_EQ(State().GetSiteRecord(SiteID(kDemoSiteURL)).errorText,
              std::to_string(SiteID(kDemoSiteURL)) + ": Gather cancelled by stop request.");
}

// An archive committed version 10 while a request made at version 7 was waiting; the parent's
// version 8 is gathered, but version 10 stays committed and its folder stays.
TEST_F(SiteGatherRun, TheCommittedCopyOutlivesTheWindowOfAnOlderGather) {
    SetClientSetting("_KVRGather_Download_NumVersionsToServe", "2");
    m_sites.PublishVersion(kDemoSiteURL, 7, kSiteVersion1, DemoSiteSigner());
    Gather(kDemoSiteURL);
    const SiteGatherParams waiting = Queued(kDemoSiteURL);
    std::filesystem::create_directories(SiteFolder(kDemoSiteURL, 10));
    State().SuccessfulSiteGather(SiteID(kDemoSiteURL), "", 10, ManyVersionList{}, SiteVersion(),
                                 SiteFolder(kDemoSiteURL, 10));

    m_sites.PublishVersion(kDemoSiteURL, 8, kSiteVersion2, DemoSiteSigner());
    Process(waiting);
    EXPECT_EQ(State().GetCommittedLocation(kDemoSiteURL), SiteFolder(kDemoSiteURL, 10));
    EXPECT_TRUE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 10)));
    EXPECT_TRUE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 8)));
    EXPECT_TRUE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 7)));
}

// With no versions to serve, the version just gathered is the one left: it is the committed one.
TEST_F(SiteGatherRun, WithNoVersionsToServeOnlyTheCommittedVersionStays) {
    SetClientSetting("_KVRGather_Download_NumVersionsToServe", "0");
    m_sites.PublishVersion(kDemoSiteURL, 1, kSiteVersion1, DemoSiteSigner());
    Gather(kDemoSiteURL);
    EXPECT_TRUE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 1)));
    m_sites.PublishVersion(kDemoSiteURL, 2, kSiteVersion2, DemoSiteSigner(), {{1, kSiteVersion1}});
    Gather(kDemoSiteURL);
    EXPECT_FALSE(std::filesystem::exists(SiteFolder(kDemoSiteURL, 1)));
    EXPECT_EQ(ContentOf(SiteFolder(kDemoSiteURL, 2)), ContentOf(kSiteVersion2));
    EXPECT_EQ(State().GetCommittedLocation(kDemoSiteURL), SiteFolder(kDemoSiteURL, 2));
}

TEST_F(SiteGatherRun, AManyVersionSiteFillsItsFolderTheCacheAndItsLists) {
    m_sites.PublishManyVersion(kOperatorSiteURL, 4, "5,8", kSiteVersion1, ActionSiteSigner());
    Gather(kOperatorSiteURL);
    const std::string folder = ManyFolder(kOperatorSiteURL, 4, "5,8");
    EXPECT_EQ(State().GetCommittedLocation(kOperatorSiteURL), folder);
    EXPECT_EQ(ContentOf(folder), ContentOf(kSiteVersion1));
    const std::string digest = ManyVersionDigestText(ManyVersionFromText("5,8"));
    for (const std::string& name : {"__mdirlist_" + digest, "__mdirlistc_" + digest, "__fullsite_" + digest})
        EXPECT_TRUE(std::filesystem::exists(DirLists(kOperatorSiteURL) + "/" + name)) << name;
    for (const SiteFile& file : kSiteVersion1)
        EXPECT_TRUE(std::filesystem::exists(MirrorSites() + "/gathercache/" + Sha1Hex(file.content) + ".sha1"));

    // Entry by entry: (5, 9) held against (5, 8) offered is nothing new, though (5, 8) is newer than
    // (4, 9) and would be gathered.
    SiteGatherParams ahead = Queued(kOperatorSiteURL);
    ahead.localManyVersion = ManyVersionFromText("5,9");
    Process(ahead);
    EXPECT_EQ(Logged("debug", ": Already have latest version of site.").size(), 1u);
}

TEST_F(SiteGatherRun, AManyVersionSiteWhoseSingleListNamesAnotherVersionFails) {
    m_sites.PublishManyVersion(kOperatorSiteURL, 4, "5,8", kSiteVersion1, ActionSiteSigner());
    m_parent.Serve(SiteParent::ManyVersionPath(kOperatorSiteURL, 4) + "single/__sdirlistc",
                   SiteParent::SignedListBytes(5, kSiteVersion1, ActionSiteSigner()));
    Gather(kOperatorSiteURL);
    EXPECT_EQ(State().GetStatus(kOperatorSiteURL).message,
              std::to_string(SiteID(kOperatorSiteURL)) +
                  ": Requirement failure at ProcessSiteGather:198 ( fileList.GetVersion() == "
                  "singleFileList.GetVersion() )");
}

// A reset of the action-site epoch while a many-version gather ran dropped the site: the gather
// reports nothing and leaves nothing behind.
TEST_F(SiteGatherRun, AManyVersionGatherFromBeforeAnEpochResetLeavesNothing) {
    m_sites.PublishManyVersion(kOperatorSiteURL, 4, "5,8", kSiteVersion1, ActionSiteSigner());
    const std::uint32_t actionSite = Map().GetOrCreateGatherID("http://relay.example:52311/cgi-bin/bfgather.exe/actionsite");
    State().SetActionSiteEpoch(actionSite, CalendarTime(1'700'000'000'000'000, TimeZoneOffset()));
    const SiteGatherParams request = Queued(kOperatorSiteURL);
    const std::string folder = ManyFolder(kOperatorSiteURL, 4, "5,8");
    const std::string dirLists = DirLists(kOperatorSiteURL);
    ASSERT_TRUE(State().SetActionSiteEpoch(actionSite, CalendarTime(1'800'000'000'000'000, TimeZoneOffset())));

    Process(request);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(std::filesystem::exists(dirLists));
    EXPECT_TRUE(Logged("debug", ": Gather successful.").empty());
    EXPECT_TRUE(Logged("critical", "unknown site id").empty());
}

}  // namespace
