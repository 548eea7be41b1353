#include "relay/service/gather_options_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "settings/configuration_settings.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

const std::string kClientSettings = "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\";
const std::string kServerStorage = "[HKLM\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n";
const std::string kAgentStorage = "[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n";

std::string ClientSetting(const std::string& name, const std::string& value) {
    return kClientSettings + name + "]\n\"value\"=\"" + value + "\"\n\n";
}

std::string StoragePaths(const std::string& server, const std::string& agent) {
    return kServerStorage + "\"StoragePath\"=\"" + server + "\"\n\n" + kAgentStorage + "\"StoragePath\"=\"" +
           agent + "\"\n\n";
}

DigestRecord Sha1Of(const std::string& bytes) {
    const Byte* begin = reinterpret_cast<const Byte*>(bytes.data());
    return DigestRecord(begin, begin + bytes.size());
}

const std::string kSha1Bytes =
    "\x01\x23\x45\x67\x89\xab\xcd\xef\x01\x23\x45\x67\x89\xab\xcd\xef\x01\x23\x45\x67";
const std::string kSha1Hex = "0123456789abcdef0123456789abcdef01234567";

class GatherOptionsManagerTest : public ::testing::Test {
  protected:
    // The stored text of a named client setting, as kvrreg prints it.
    std::string StoredValue(const std::string& name) {
        KvrregRun run = RunKvrreg(
            {"get", "HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name, "value"});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        while (!run.out.empty() && run.out.back() == '\n') run.out.pop_back();
        return run.out;
    }

    TemporaryRegistry m_registry;
    GatherOptionsManager m_options;
};

struct NumberCase {
    const char* getter;
    std::function<std::uint64_t(const GatherOptionsManager&)> read;
    std::uint64_t expected;
};

}  // namespace

TEST_F(GatherOptionsManagerTest, NothingStoredGivesTheDefaults) {
    const NumberCase cases[] = {
        {"GetCacheLimit", &GatherOptionsManager::GetCacheLimit, 1'073'741'824},
        {"GetRetryInterval", &GatherOptionsManager::GetRetryInterval, 600'000'000},
        {"GetInactivityTimeout", &GatherOptionsManager::GetInactivityTimeout, 30'000'000},
        {"GetNumVersionsToServe", &GatherOptionsManager::GetNumVersionsToServe, 7},
        {"GetMaxDownloadJobs", &GatherOptionsManager::GetMaxDownloadJobs, 4'294'967'295},
        {"GetRetryLimit", &GatherOptionsManager::GetRetryLimit, 5},
        {"GetDiffCacheLimitMB", &GatherOptionsManager::GetDiffCacheLimitMB, 4},
        {"GetIndexerWaitTime", &GatherOptionsManager::GetIndexerWaitTime, 32},
        {"GetLimitBytesPerSecond", &GatherOptionsManager::GetLimitBytesPerSecond, 0},
        {"GetDynamicThrottleMaxBytesPerSecond", &GatherOptionsManager::GetDynamicThrottleMaxBytesPerSecond,
         4'294'967'295},
        {"GetDynamicThrottleMinBytesPerSecond", &GatherOptionsManager::GetDynamicThrottleMinBytesPerSecond,
         0},
        {"GetDynamicThrottlePercentage", &GatherOptionsManager::GetDynamicThrottlePercentage, 0},
        {"GetResolveVersionConflicts", &GatherOptionsManager::GetResolveVersionConflicts, 1},
        {"GetCacheCleanupAge", &GatherOptionsManager::GetCacheCleanupAge, 86'400'000'000},
        {"GetCacheCleanupInterval", &GatherOptionsManager::GetCacheCleanupInterval, 3'600'000'000},
        {"GetConnectivitySuccessInterval", &GatherOptionsManager::GetConnectivitySuccessInterval,
         600'000'000},
        {"GetConnectivityFailureInterval", &GatherOptionsManager::GetConnectivityFailureInterval, 60'000'000},
        {"GetPreGatherThreshold", &GatherOptionsManager::GetPreGatherThreshold, 86'400'000'000},
        {"GetSiteVersionPollingPeriod", &GatherOptionsManager::GetSiteVersionPollingPeriod, 1'800'000'000},
        {"GetActiveLoopDelay", &GatherOptionsManager::GetActiveLoopDelay, 1'000'000},
        {"GetInactiveLoopDelay", &GatherOptionsManager::GetInactiveLoopDelay, 3'000'000},
        {"GetUpstreamCheckPeriod", &GatherOptionsManager::GetUpstreamCheckPeriod, 21'600'000'000},
        {"GetConnectivityTestResult", &GatherOptionsManager::GetConnectivityTestResult, 0},
        {"GetGatherFailedAsError", &GatherOptionsManager::GetGatherFailedAsError, 1},
        {"UseUrlMoniker", &GatherOptionsManager::UseUrlMoniker, 1},
        {"UseDownloadService", &GatherOptionsManager::UseDownloadService, 0},
        {"CheckParentFlag", &GatherOptionsManager::CheckParentFlag, 1},
        {"CheckInternetFlag", &GatherOptionsManager::CheckInternetFlag, 1},
        {"HasSha1Index", &GatherOptionsManager::HasSha1Index, 0},
        {"HasUrlIndex", &GatherOptionsManager::HasUrlIndex, 0},
        {"IsDynamicThrottleEnabled", &GatherOptionsManager::IsDynamicThrottleEnabled, 0},
    };
    for (const NumberCase& c : cases) EXPECT_EQ(c.read(m_options), c.expected) << c.getter;

    EXPECT_EQ(m_options.GetThrottleGroup(), "ipaddress");
    EXPECT_EQ(m_options.GetParentRelayURL(), "");
    EXPECT_EQ(m_options.GetDownloadMirrorURL(), "");
    EXPECT_EQ(m_options.GetURLMonAuthName(), "");
    EXPECT_EQ(m_options.GetURLMonAuthPhrase(), "");
    EXPECT_EQ(m_options.GetInternetTestURL(), "");
    EXPECT_TRUE(m_options.GetSha1IndexPath().IsEmpty());
    EXPECT_TRUE(m_options.GetUrlIndexPath().IsEmpty());
    EXPECT_TRUE(m_options.GetIndexerTriggerPath().IsEmpty());
}

TEST_F(GatherOptionsManagerTest, EveryCallReadsTheSettingAgain) {
    ImportWithKvrreg(ClientSetting("_KVRGather_Download_CacheLimitMB", "2") +
                     ClientSetting("_KVRGather_Download_RetryMinutes", "1") +
                     ClientSetting("_KVRGather_Download_Sha1IndexPath", "/srv/index/sha1.idx"));
    EXPECT_EQ(m_options.GetCacheLimit(), 2u * 1'048'576);
    EXPECT_EQ(m_options.GetRetryInterval(), 60'000'000);
    EXPECT_EQ(m_options.GetSha1IndexPath().GetPathString(), "/srv/index/sha1.idx");
    ImportWithKvrreg(ClientSetting("_KVRGather_Download_CacheLimitMB", "4294967295") +
                     ClientSetting("_KVRGather_Mirror_ActiveLoopDelayMilliseconds", "250"));
    EXPECT_EQ(m_options.GetCacheLimit(), 4'294'967'295ull * 1'048'576);
    EXPECT_EQ(m_options.GetActiveLoopDelay(), 250'000);
}

TEST_F(GatherOptionsManagerTest, NumbersOutOfRangeOrNotNumbersAreRepairedInTheStore) {
    const struct {
        const char* name;
        const char* stored;
        std::function<std::uint64_t(const GatherOptionsManager&)> read;
        std::uint64_t expected;
        const char* storedAfter;
    } cases[] = {
        {"_KVRGather_Download_DynamicThrottlePercentage", "250",
         &GatherOptionsManager::GetDynamicThrottlePercentage, 100, "100"},
        {"_KVRGather_Download_DynamicThrottlePercentage", "40",
         &GatherOptionsManager::GetDynamicThrottlePercentage, 40, "40"},
        {"_KVRGather_Download_RetryLimit", "five", &GatherOptionsManager::GetRetryLimit, 5, "5"},
        {"_KVRGather_Download_RetryLimit", "99999999999", &GatherOptionsManager::GetRetryLimit, 4'294'967'295,
         "4294967295"},
        {"_KVRGather_Download_HasSha1Index", "7", &GatherOptionsManager::HasSha1Index, 1, "1"},
        {"_KVRGather_Comm_UseUrlMoniker", "0", &GatherOptionsManager::UseUrlMoniker, 0, "0"},
        {"_KVRGather_Download_DynamicThrottleEnabled", "2", &GatherOptionsManager::IsDynamicThrottleEnabled,
         1, "2"},
    };
    for (const auto& c : cases) {
        ImportWithKvrreg(ClientSetting(c.name, c.stored));
        EXPECT_EQ(c.read(m_options), c.expected) << c.name << " = " << c.stored;
        EXPECT_EQ(StoredValue(c.name), c.storedAfter) << c.name << " = " << c.stored;
    }
}

TEST_F(GatherOptionsManagerTest, ThrottleGroupDefaultsOnlyWhenTheSettingIsMissing) {
    EXPECT_EQ(m_options.GetThrottleGroup(), "ipaddress");
    ImportWithKvrreg(ClientSetting("_KVRGather_Download_ThrottleGroup", ""));
    EXPECT_EQ(m_options.GetThrottleGroup(), "");
    ImportWithKvrreg(ClientSetting("_KVRGather_Download_ThrottleGroup", "subnet"));
    EXPECT_EQ(m_options.GetThrottleGroup(), "subnet");
    ImportWithKvrreg(ClientSetting("_KVRGather_Download_ThrottleGroup", std::string(1023, 'g')));
    EXPECT_EQ(m_options.GetThrottleGroup(), "");
}

TEST_F(GatherOptionsManagerTest, ThrottleSettingsGatherTheThrottleGetters) {
    ImportWithKvrreg(ClientSetting("_KVRGather_Download_LimitBytesPerSecond", "65536") +
                     ClientSetting("_KVRGather_Download_ThrottleGroup", "site") +
                     ClientSetting("_KVRGather_Download_DynamicThrottleEnabled", "1") +
                     ClientSetting("_KVRGather_Download_DynamicThrottleMaxBytesPerSecond", "1000000") +
                     ClientSetting("_KVRGather_Download_DynamicThrottleMinBytesPerSecond", "1000") +
                     ClientSetting("_KVRGather_Download_DynamicThrottlePercentage", "30"));
    ThrottleRequest throttle = m_options.GetThrottleSettings();
    EXPECT_EQ(throttle.rate, 65536u);
    EXPECT_EQ(throttle.group, "site");
    EXPECT_TRUE(throttle.dynamic.enabled);
    EXPECT_EQ(throttle.dynamic.maximum, 1'000'000u);
    EXPECT_EQ(throttle.dynamic.minimum, 1'000u);
    EXPECT_EQ(throttle.dynamic.percentage, 30);
}

TEST_F(GatherOptionsManagerTest, FoldersFollowTheStorageFolders) {
    ImportWithKvrreg(StoragePaths("/srv/kvr", "/var/lib/agent"));
    const struct {
        const char* getter;
        std::function<FileLocation(const GatherOptionsManager&)> read;
        const char* expected;
    } cases[] = {
        {"GetInboxFolder", &GatherOptionsManager::GetInboxFolder, "/srv/kvr/Mirror Server/inbox"},
        {"GetConfigFolder", &GatherOptionsManager::GetConfigFolder, "/srv/kvr/Mirror Server/config"},
        {"GetRevocationListFile", &GatherOptionsManager::GetRevocationListFile,
         "/srv/kvr/Mirror Server/RevocationList/RevocationList.pem"},
        {"GetDownloadStateDatabaseFile", &GatherOptionsManager::GetDownloadStateDatabaseFile,
         "/srv/kvr/Mirror Server/config/DownloadState.db"},
        {"GetDownloadPluginsDatabaseFile", &GatherOptionsManager::GetDownloadPluginsDatabaseFile,
         "/srv/kvr/Mirror Server/config/DownloadPlugins.db"},
        {"GetDownloadWhitelistFile", &GatherOptionsManager::GetDownloadWhitelistFile,
         "/srv/kvr/Mirror Server/config/DownloadWhitelist.txt"},
        {"GetDownloadsFolder", &GatherOptionsManager::GetDownloadsFolder, "wwwroot/vtmirror/downloads"},
        {"GetSha1Folder", &GatherOptionsManager::GetSha1Folder, "wwwroot/vtmirror/downloads/sha1"},
        {"GetActionURLsFolder", &GatherOptionsManager::GetActionURLsFolder,
         "wwwroot/vtmirror/downloads/ActionURLs"},
        {"GetActiveDownloadsFolder", &GatherOptionsManager::GetActiveDownloadsFolder,
         "wwwroot/vtmirror/downloads/ActiveDownloads"},
        {"GetWwwRootFolder", &GatherOptionsManager::GetWwwRootFolder, "/srv/kvr/wwwrootkvr"},
        {"GetMirrorSitesFolder", &GatherOptionsManager::GetMirrorSitesFolder,
         "/srv/kvr/wwwrootkvr/vtmirror/vtsites"},
        {"GetClientActionSiteFolder", &GatherOptionsManager::GetClientActionSiteFolder,
         "/var/lib/agent/__KVRData/actionsite"},
        {"GetMerivantDataFolder", &GatherOptionsManager::GetMerivantDataFolder, "/srv/kvr/MerivantData"},
        {"GetResultsBufferDirectory", &GatherOptionsManager::GetResultsBufferDirectory,
         "/srv/kvr/QuorelData/BufferDir"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.read(m_options).GetPathString(), c.expected) << c.getter;
}

TEST_F(GatherOptionsManagerTest, FolderSettingsReplaceTheDefaultsOnlyWhenNotEmpty) {
    const std::string serverKey = "[HKLM\\Software\\Veltra\\Daruravidu Server]\n";
    const std::string merivantKey = "[HKLM\\Software\\Veltra\\Daruravidu Server\\Merivant]\n";
    const std::string quorelKey = "[HKLM\\Software\\Veltra\\Daruravidu Server\\Quorel]\n";
    ImportWithKvrreg(StoragePaths("/srv/kvr", "/var/lib/agent") + serverKey + "\"wwwRootFolder\"=\"\"\n\n" +
                     merivantKey + "\"DataDirectoryPath\"=\"\"\n\n" + quorelKey + "\"BufferDir\"=\"\"\n\n" +
                     ClientSetting("_KVRRelay_GatherMirror_ClientActionSiteFolder", ""));
    EXPECT_EQ(m_options.GetWwwRootFolder().GetPathString(), "/srv/kvr/wwwrootkvr");
    EXPECT_EQ(m_options.GetClientActionSiteFolder().GetPathString(), "/var/lib/agent/__KVRData/actionsite");
    EXPECT_EQ(m_options.GetMerivantDataFolder().GetPathString(), "/srv/kvr/MerivantData");
    EXPECT_EQ(m_options.GetResultsBufferDirectory().GetPathString(), "/srv/kvr/QuorelData/BufferDir");

    ImportWithKvrreg(serverKey + "\"wwwRootFolder\"=\"/srv/www\"\n\n" + merivantKey +
                     "\"DataDirectoryPath\"=\"/srv/merivant\"\n\n" + quorelKey +
                     "\"BufferDir\"=\"/srv/buffer\"\n\n" +
                     ClientSetting("_KVRRelay_GatherMirror_ClientActionSiteFolder", "/srv/actionsite") +
                     ClientSetting("_KVRRelay_HTTPServer_ServerRootPath", "/srv/relayroot"));
    EXPECT_EQ(m_options.GetWwwRootFolder().GetPathString(), "/srv/www");
    EXPECT_EQ(m_options.GetMirrorSitesFolder().GetPathString(), "/srv/www/vtmirror/vtsites");
    EXPECT_EQ(m_options.GetClientActionSiteFolder().GetPathString(), "/srv/actionsite");
    EXPECT_EQ(m_options.GetMerivantDataFolder().GetPathString(), "/srv/merivant");
    EXPECT_EQ(m_options.GetResultsBufferDirectory().GetPathString(), "/srv/buffer");
    EXPECT_EQ(m_options.GetDownloadsFolder().GetPathString(), "/srv/relayroot/vtmirror/downloads");
}

TEST_F(GatherOptionsManagerTest, WithoutStoragePathTheStorageFoldersFail) {
    const std::function<FileLocation(const GatherOptionsManager&)> serverFolders[] = {
        &GatherOptionsManager::GetInboxFolder,
        &GatherOptionsManager::GetConfigFolder,
        &GatherOptionsManager::GetRevocationListFile,
        &GatherOptionsManager::GetDownloadStateDatabaseFile,
        &GatherOptionsManager::GetWwwRootFolder,
        &GatherOptionsManager::GetMirrorSitesFolder,
        &GatherOptionsManager::GetGatherCacheFolder,
        &GatherOptionsManager::GetMerivantDataFolder,
        &GatherOptionsManager::GetResultsBufferDirectory,
    };
    for (const auto& read : serverFolders) {
        try {
            read(m_options);
            ADD_FAILURE() << "no exception";
        } catch (const MissingRegistrySetting& error) {
            EXPECT_STREQ(error.what(), "Daruravidu Server/StoragePath regkey missing");
        }
    }
    try {
        m_options.GetClientActionSiteFolder();
        ADD_FAILURE() << "no exception";
    } catch (const MissingRegistrySetting& error) {
        EXPECT_STREQ(error.what(), "DaruraviduClient/StoragePath regkey missing");
    }
    EXPECT_EQ(m_options.GetDownloadsFolder().GetPathString(), "wwwroot/vtmirror/downloads");
    EXPECT_EQ(m_options.GetActiveDownloadsFolder().GetPathString(),
              "wwwroot/vtmirror/downloads/ActiveDownloads");
}

TEST_F(GatherOptionsManagerTest, TheGatherCacheFolderIsCreatedButNotItsParents) {
    TemporaryFolder storage;
    ImportWithKvrreg(StoragePaths(storage.Path(), storage.Path()));
    const std::string sites = storage / "wwwrootkvr/vtmirror/vtsites";
    EXPECT_THROW(m_options.GetGatherCacheFolder(), FileIOError);
    EXPECT_FALSE(std::filesystem::exists(sites));

    std::filesystem::create_directories(sites);
    EXPECT_EQ(m_options.GetGatherCacheFolder().GetPathString(), sites + "/gathercache");
    EXPECT_TRUE(std::filesystem::is_directory(sites + "/gathercache"));
    EXPECT_EQ(m_options.GetGatherCacheFolder().GetPathString(), sites + "/gathercache");
}

TEST_F(GatherOptionsManagerTest, DownloadTargetFilesAreNamedByTheTargetsShape) {
    const DigestRecord sha1 = Sha1Of(kSha1Bytes);
    const std::string url = "http://software.example.com/patch.exe";
    const struct {
        const char* shape;
        std::function<DownloadRequestTarget()> make;
        std::string name;  // empty: not a target
    } cases[] = {
        {"URL request", [&] { return DownloadRequestTarget(12, {}, {}, {}, {}); }, "urlrequest_12"},
        {"indexed", [&] { return DownloadRequestTarget(12, 3, {}, {}, url); }, "indexed_12_3"},
        {"indexed with digest and size", [&] { return DownloadRequestTarget(12, 3, sha1, 100, url); },
         "indexed_12_3"},
        {"largest numbers", [&] { return DownloadRequestTarget(4294967295u, 4294967295u, {}, {}, url); },
         "indexed_4294967295_4294967295"},
        {"dynamic", [&] { return DownloadRequestTarget(12, {}, sha1, 100, url); }, "dynamic_" + kSha1Hex},
        {"URL without index or digest", [&] { return DownloadRequestTarget(12, {}, {}, {}, url); }, ""},
        {"dynamic without size", [&] { return DownloadRequestTarget(12, {}, sha1, {}, url); }, ""},
        {"index without URL", [&] { return DownloadRequestTarget(12, 3, sha1, 100, {}); }, ""},
        {"no action", [&] { return DownloadRequestTarget({}, 3, {}, {}, url); }, ""},
        {"nothing", [&] { return DownloadRequestTarget({}, {}, {}, {}, {}); }, ""},
    };
    const std::string active = m_options.GetActiveDownloadsFolder().GetPathString();
    for (const auto& c : cases) {
        if (c.name.empty()) {
            EXPECT_THROW(m_options.GetDownloadTargetFile(c.make()), NotADownloadRequestTarget) << c.shape;
            continue;
        }
        EXPECT_EQ(m_options.GetDownloadTargetFile(c.make()).GetPathString(), active + "/" + c.name)
            << c.shape;
    }
}

TEST_F(GatherOptionsManagerTest, URLPathsAndRequestFileNames) {
    EXPECT_EQ(m_options.GetDownloadsURLPath(), "/vtmirror/downloads");
    EXPECT_EQ(m_options.GetSha1DownloadURLPath(Sha1Of(kSha1Bytes)), "/vtmirror/downloads/sha1/" + kSha1Hex);
    EXPECT_EQ(m_options.GetActionURLPath(4294967295u), "/vtmirror/downloads/ActionURLs/dl_4294967295");
    EXPECT_EQ(m_options.GetDownloadRequestFileName(0).ToString(), "dl_0");
    EXPECT_EQ(m_options.GetDownloadRequestFileName(77).ToString(), "dl_77");
}

TEST_F(GatherOptionsManagerTest, TheGatherServiceStoreHoldsTheConnectivityResultMirrorURLAndCredentials) {
    m_options.SetConnectivityTestResult(3);
    EXPECT_EQ(m_options.GetConnectivityTestResult(), 3u);
    EXPECT_EQ(GatherOptionsManager().GetConnectivityTestResult(), 3u);
    ImportWithKvrreg(
        "[HKLM\\Software\\Veltra\\Daruravidu Server\\GatherService]\n"
        "\"DownloadMirror URL\"=\"http://mirror.example.com/\"\n"
        "\"URLMonAuthName\"=\"relay\"\n\"URLMonAuthPhrase\"=\"secret\"\n");
    EXPECT_EQ(m_options.GetDownloadMirrorURL(), "http://mirror.example.com/");
    EXPECT_EQ(m_options.GetURLMonAuthName(), "relay");
    EXPECT_EQ(m_options.GetURLMonAuthPhrase(), "secret");
    EXPECT_EQ(m_options.GetConnectivityTestResult(), 3u);
}

TEST_F(GatherOptionsManagerTest, AFailedConnectivityWriteIsIgnored) {
    // A hive that does not parse is never written.
    WriteWholeFile(m_registry.MachineHivePath(), "REGEDIT4\n\n[HKLM\\Software\\Veltra]\n\"broken\n");
    EXPECT_NO_THROW(m_options.SetConnectivityTestResult(1));
    EXPECT_EQ(m_options.GetConnectivityTestResult(), 0u);
}
