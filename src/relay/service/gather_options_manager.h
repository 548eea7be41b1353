// GatherOptionsManager: the relay's one source of the settings and file locations of downloading,
// gathering and its own folders. The download relay sees it as a DownloadSettingsProvider, the hash
// indexes as HashIndexOptions, the masthead look-up (crypto/masthead_store.h) as its
// MastheadSearchFolders; site gathering and start-up use the class.
//
// Nothing is cached: every getter reads its setting when it is called, so a changed setting takes
// effect on the next call, and every path is composed from the settings of the moment. The run
// routine builds one for the whole run and hands it to the components by reference; a short-lived
// one elsewhere is equivalent.
//
// Where the values come from:
// - Named client settings "_KVRGather_<section>_<name>" (settings/subsection_store.h): numbers are
//   brought into 0 .. their maximum (4294967295 unless said), a text that is not a number gives the
//   default, and both corrections are written back; flags are numbers within 0 .. 1; texts are read
//   into 1,024 bytes and are empty when missing or longer.
// - Settings objects (settings/configuration_settings.h), mode 2 unless said.
// - The gather service's store (HKLM "Software\Veltra\Daruravidu Server\GatherService"):
//   "ConnectivityTestResult", "DownloadMirror URL", "URLMonAuthName" and "URLMonAuthPhrase".
//
// Folders. "Server storage" is GetServerStoragePath, "client storage" GetClientStoragePath; a getter
// whose path starts there throws their MissingRegistrySetting when that "StoragePath" is not set.
// A folder setting counts only when it is not empty.
//
//   GetInboxFolder                server storage/Mirror Server/inbox
//   GetConfigFolder               server storage/Mirror Server/config
//   GetRevocationListFile         server storage/Mirror Server/RevocationList/RevocationList.pem
//   GetDownloadStateDatabaseFile  config folder/DownloadState.db
//   GetDownloadPluginsDatabaseFile  config folder/DownloadPlugins.db
//   GetDownloadWhitelistFile      config folder/DownloadWhitelist.txt
//   GetDownloadsFolder            "_KVRRelay_HTTPServer_ServerRootPath" (the HTTP server's root,
//                                 default "wwwroot" in the working folder)/vtmirror/downloads
//   GetSha1Folder, GetActionURLsFolder, GetActiveDownloadsFolder
//                                 downloads folder/sha1, /ActionURLs, /ActiveDownloads
//   GetWwwRootFolder              HKLM "Daruravidu Server" "wwwRootFolder", else server storage/wwwrootkvr
//   GetMirrorSitesFolder          www root/vtmirror/vtsites
//   GetGatherCacheFolder          mirror sites folder/gathercache, created when missing (not its parents)
//   GetClientActionSiteFolder     "_KVRRelay_GatherMirror_ClientActionSiteFolder", else
//                                 client storage/__KVRData/actionsite
//   GetMerivantDataFolder         HKLM "Daruravidu Server\Merivant" "DataDirectoryPath", else
//                                 server storage/MerivantData
//   GetResultsBufferDirectory     HKLM "Daruravidu Server\Quorel" "BufferDir", else
//                                 server storage/QuorelData/BufferDir
//
// Thread-safety: any thread may call any getter. The getters that read a setting (not the folder,
// file, URL-path and name getters, nor GetConnectivityTestResult) read one at a time under the
// object's lock. Not copied.
#pragma once

#include <cstdint>
#include <string>

#include "crypto/masthead_store.h"
#include "foundation/critical_section.h"
#include "relay/service/download_settings_provider.h"
#include "relay/service/hash_index_options.h"

class GatherOptionsManager : public DownloadSettingsProvider, public HashIndexOptions, public MastheadSearchFolders {
  public:
    GatherOptionsManager() = default;
    GatherOptionsManager(const GatherOptionsManager&) = delete;
    GatherOptionsManager& operator=(const GatherOptionsManager&) = delete;

    // DownloadSettingsProvider.
    FileLocation GetDownloadStateDatabaseFile() const override;
    FileLocation GetDownloadPluginsDatabaseFile() const override;
    FileLocation GetSha1Folder() const override;
    FileLocation GetDownloadsFolder() const override;
    FileLocation GetActionURLsFolder() const override;
    FileLocation GetActiveDownloadsFolder() const override;
    FileLocation GetDownloadWhitelistFile() const override;
    // In the active downloads folder: "urlrequest_<action>" for a URL request, "indexed_<action>_<index>"
    // for an indexed download, "dynamic_<SHA-1 in hex>" for a dynamic one.
    FileLocation GetDownloadTargetFile(const DownloadRequestTarget& target) const override;
    // "dl_<action>".
    FileName GetDownloadRequestFileName(std::uint32_t actionID) const override;
    // "/vtmirror/downloads".
    std::string GetDownloadsURLPath() const override;
    // "/vtmirror/downloads/sha1/<SHA-1 in hex>".
    std::string GetSha1DownloadURLPath(const DigestRecord& sha1) const override;
    // "/vtmirror/downloads/ActionURLs/dl_<action>".
    std::string GetActionURLPath(std::uint32_t actionID) const override;
    // "Download_RetryLimit", 5.
    std::uint32_t GetRetryLimit() const override;
    // "Download_RetryMinutes", 10.
    std::int64_t GetRetryInterval() const override;
    // "Download_MaxDownloadJobs", 4294967295.
    std::uint32_t GetMaxDownloadJobs() const override;
    // "Download_CacheLimitMB", 1024, in bytes.
    std::uint64_t GetCacheLimit() const override;
    // One day: handed to the cache clean-up with the cache limit.
    std::int64_t GetCacheCleanupAge() const override;
    // One hour: the least time between two clean-ups of the download cache.
    std::int64_t GetCacheCleanupInterval() const override;
    // "Comm_UseDownloadService", 0.
    bool UseDownloadService() const override;
    // "Comm_UseUrlMoniker", 1.
    bool UseUrlMoniker() const override;
    // "Download_CheckParentFlag", 1.
    bool CheckParentFlag() const override;
    // "Download_CheckInternetFlag", 1.
    bool CheckInternetFlag() const override;
    // "Download_InactivityTimeout", 30 seconds.
    std::int64_t GetInactivityTimeout() const override;
    // GetLimitBytesPerSecond, GetThrottleGroup and the dynamic throttle getters together.
    ThrottleRequest GetThrottleSettings() const override;

    // HashIndexOptions.
    // "Download_Sha1IndexPath", "Download_UrlIndexPath", "Indexer_TriggerPath": unset when empty.
    FileLocation GetSha1IndexPath() const override;
    FileLocation GetUrlIndexPath() const override;
    FileLocation GetIndexerTriggerPath() const override;
    // "Indexer_WaitTime", 32.
    std::uint32_t GetIndexerWaitTime() const override;
    // "Download_HasSha1Index", 0; "Download_HasUrlIndex", 0.
    bool HasSha1Index() const override;
    bool HasUrlIndex() const override;

    // "Log_GatherFailedAsError", 1 (any non-zero value is true).
    bool GetGatherFailedAsError() const;
    // "Comm_ParentRelayURL", empty.
    std::string GetParentRelayURL() const;
    // "Download_DiffCacheLimitMB", 4, in megabytes.
    std::uint32_t GetDiffCacheLimitMB() const;
    // "Download_NumVersionsToServe", 7.
    std::uint32_t GetNumVersionsToServe() const;
    // "_KVRRelay_GatherMirror_ResolveVersionConflicts", 1.
    std::uint32_t GetResolveVersionConflicts() const;
    // "Download_LimitBytesPerSecond", 0.
    std::uint32_t GetLimitBytesPerSecond() const;
    // "Download_DynamicThrottleEnabled", 0 (any non-zero value is true).
    bool IsDynamicThrottleEnabled() const;
    // "Download_DynamicThrottleMaxBytesPerSecond", 4294967295.
    std::uint32_t GetDynamicThrottleMaxBytesPerSecond() const;
    // "Download_DynamicThrottleMinBytesPerSecond", 0.
    std::uint32_t GetDynamicThrottleMinBytesPerSecond() const;
    // "Download_DynamicThrottlePercentage", 0, at most 100.
    std::uint32_t GetDynamicThrottlePercentage() const;
    // "Download_ThrottleGroup": "ipaddress" only when the setting does not exist.
    std::string GetThrottleGroup() const;

    // Microseconds, from settings objects of component "KVRGather": "ConnectivityTest" "SuccessInterval"
    // (10 minutes) and "FailureInterval" (1 minute); "Mirror" "PreGatherThresholdMinutes" (1440),
    // "SiteVersionPollingPeriod" (30 minutes), "ActiveLoopDelayMilliseconds" (1000) and
    // "InactiveLoopDelayMilliseconds" (3000).
    std::int64_t GetConnectivitySuccessInterval() const;
    std::int64_t GetConnectivityFailureInterval() const;
    std::int64_t GetPreGatherThreshold() const;
    std::int64_t GetSiteVersionPollingPeriod() const;
    std::int64_t GetActiveLoopDelay() const;
    std::int64_t GetInactiveLoopDelay() const;
    // "_KVRRelay_GatherMirror_UpstreamCheckPeriodMinutes", 360, in microseconds.
    std::int64_t GetUpstreamCheckPeriod() const;

    // The gather service's "DownloadMirror URL", empty.
    std::string GetDownloadMirrorURL() const;
    // The gather service's "URLMonAuthName" and "URLMonAuthPhrase", empty: the credentials of the
    // URL-moniker fetches.
    std::string GetURLMonAuthName() const;
    std::string GetURLMonAuthPhrase() const;
    // The URL of the internet connectivity test, a page that answers a GET with 200 while the internet
    // can be reached: "ConnectivityTest" "InternetTestURL" of component "KVRGather". Empty by default,
    // so that a relay reaches out to no one its administrator did not name; the test then fails.
    std::string GetInternetTestURL() const;
    // The gather service's "ConnectivityTestResult", 0.
    std::uint32_t GetConnectivityTestResult() const;
    // Writes "ConnectivityTestResult"; a failed write is ignored.
    void SetConnectivityTestResult(std::uint32_t result);

    FileLocation GetInboxFolder() const;
    FileLocation GetConfigFolder() const;
    FileLocation GetRevocationListFile() const;
    FileLocation GetWwwRootFolder() const;
    FileLocation GetMirrorSitesFolder() const;
    // EmptyFileLocationError when the path is unset; the file errors of creating the folder.
    FileLocation GetGatherCacheFolder() const;
    FileLocation GetClientActionSiteFolder() const;
    FileLocation GetMerivantDataFolder() const;
    FileLocation GetResultsBufferDirectory() const;

    // Where the masthead look-up searches: the two folders above.
    FileLocation ClientActionSiteFolder() const override { return GetClientActionSiteFolder(); }
    FileLocation MerivantDataFolder() const override { return GetMerivantDataFolder(); }

  private:
    // Reads one setting under the lock.
    template <typename Setting>
    auto ReadUnderLock(const Setting& setting) const;
    // A text of the gather service's store under the lock; empty when missing.
    std::string ReadGatherServiceText(const char* name) const;

    mutable CriticalSection m_lock;
};
