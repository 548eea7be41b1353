#include "relay/service/gather_options_manager.h"

#include <initializer_list>
#include <string>

#include "base/time_value.h"
#include "foundation/file_operations.h"
#include "http/http_server_settings.h"
#include "settings/configuration_settings.h"
#include "settings/subsection_store.h"

namespace {

constexpr unsigned kNoMaximum = 0xFFFFFFFF;
// Texts of named client settings are read into a buffer of this size; a longer text reads as empty.
constexpr unsigned kClientTextBufferSize = 1024;

constexpr std::int64_t kMicrosecondsPerMillisecond = 1'000;
constexpr std::int64_t kMicrosecondsPerMinute = 60 * kMicrosecondsPerSecond;
constexpr std::int64_t kCacheCleanupInterval = 3'600 * kMicrosecondsPerSecond;
constexpr std::int64_t kCacheCleanupAge = kSecondsPerDay * kMicrosecondsPerSecond;
constexpr std::uint64_t kBytesPerMegabyte = 1'048'576;

// A named client setting read as a number within 0 .. maximum.
struct ClientNumber {
    const char* name;
    unsigned defaultValue;
    unsigned maximum = kNoMaximum;
};

// A named client setting read as 0 or 1.
struct ClientFlag {
    const char* name;
    bool defaultValue;
};

// A named client setting read as a text: empty when missing or too long.
struct ClientText {
    const char* name;
};

// The same read as a location: unset when empty.
struct ClientPath {
    const char* name;
};

constexpr ClientNumber kGatherFailedAsError{"_KVRGather_Log_GatherFailedAsError", 1};
constexpr ClientFlag kUseUrlMoniker{"_KVRGather_Comm_UseUrlMoniker", true};
constexpr ClientFlag kUseDownloadService{"_KVRGather_Comm_UseDownloadService", false};
constexpr ClientText kParentRelayURL{"_KVRGather_Comm_ParentRelayURL"};
constexpr ClientFlag kCheckParentFlag{"_KVRGather_Download_CheckParentFlag", true};
constexpr ClientFlag kCheckInternetFlag{"_KVRGather_Download_CheckInternetFlag", true};
constexpr ClientNumber kCacheLimitMB{"_KVRGather_Download_CacheLimitMB", 1024};
constexpr ClientNumber kDiffCacheLimitMB{"_KVRGather_Download_DiffCacheLimitMB", 4};
constexpr ClientFlag kHasSha1Index{"_KVRGather_Download_HasSha1Index", false};
constexpr ClientFlag kHasUrlIndex{"_KVRGather_Download_HasUrlIndex", false};
constexpr ClientNumber kLimitBytesPerSecond{"_KVRGather_Download_LimitBytesPerSecond", 0};
constexpr ClientNumber kRetryLimit{"_KVRGather_Download_RetryLimit", 5};
constexpr ClientNumber kRetryMinutes{"_KVRGather_Download_RetryMinutes", 10};
constexpr ClientNumber kInactivityTimeoutSeconds{"_KVRGather_Download_InactivityTimeout", 30};
constexpr ClientPath kSha1IndexPath{"_KVRGather_Download_Sha1IndexPath"};
constexpr ClientPath kUrlIndexPath{"_KVRGather_Download_UrlIndexPath"};
constexpr ClientPath kIndexerTriggerPath{"_KVRGather_Indexer_TriggerPath"};
constexpr ClientNumber kIndexerWaitTime{"_KVRGather_Indexer_WaitTime", 32};
constexpr ClientNumber kNumVersionsToServe{"_KVRGather_Download_NumVersionsToServe", 7};
constexpr ClientNumber kMaxDownloadJobs{"_KVRGather_Download_MaxDownloadJobs", kNoMaximum};
constexpr const char* kThrottleGroup = "_KVRGather_Download_ThrottleGroup";
constexpr const char* kDefaultThrottleGroup = "ipaddress";
constexpr ClientNumber kDynamicThrottleEnabled{"_KVRGather_Download_DynamicThrottleEnabled", 0};
constexpr ClientNumber kDynamicThrottleMax{"_KVRGather_Download_DynamicThrottleMaxBytesPerSecond",
                                           kNoMaximum};
constexpr ClientNumber kDynamicThrottleMin{"_KVRGather_Download_DynamicThrottleMinBytesPerSecond", 0};
constexpr ClientNumber kDynamicThrottlePercentage{"_KVRGather_Download_DynamicThrottlePercentage", 0, 100};

// Settings objects, each built for the one read.
struct SettingNumber {
    int mode;
    const char* component;
    const char* section;
    const char* name;
    std::uint32_t defaultValue;
};

struct SettingText {
    int mode;
    const char* component;
    const char* section;
    const char* name;
    const char* defaultValue;
};

constexpr int kMachineSetting = 1;
constexpr int kNamedSetting = 2;
constexpr const char* kRelayComponent = "KVRRelay";

constexpr SettingNumber kSuccessIntervalMinutes{kNamedSetting, "KVRGather", "ConnectivityTest",
                                                "SuccessInterval", 10};
constexpr SettingNumber kFailureIntervalMinutes{kNamedSetting, "KVRGather", "ConnectivityTest",
                                                "FailureInterval", 1};
constexpr SettingText kInternetTestURL{kNamedSetting, "KVRGather", "ConnectivityTest", "InternetTestURL", ""};
constexpr SettingNumber kPreGatherThresholdMinutes{kNamedSetting, "KVRGather", "Mirror",
                                                   "PreGatherThresholdMinutes", 1440};
constexpr SettingNumber kSiteVersionPollingMinutes{kNamedSetting, "KVRGather", "Mirror",
                                                   "SiteVersionPollingPeriod", 30};
constexpr SettingNumber kActiveLoopDelayMilliseconds{kNamedSetting, "KVRGather", "Mirror",
                                                     "ActiveLoopDelayMilliseconds", 1000};
constexpr SettingNumber kInactiveLoopDelayMilliseconds{kNamedSetting, "KVRGather", "Mirror",
                                                       "InactiveLoopDelayMilliseconds", 3000};
constexpr SettingNumber kUpstreamCheckPeriodMinutes{kNamedSetting, kRelayComponent, "GatherMirror",
                                                    "UpstreamCheckPeriodMinutes", 360};
constexpr SettingNumber kResolveVersionConflicts{kNamedSetting, kRelayComponent, "GatherMirror",
                                                 "ResolveVersionConflicts", 1};
constexpr SettingText kClientActionSiteFolder{kNamedSetting, kRelayComponent, "GatherMirror",
                                              "ClientActionSiteFolder", ""};
constexpr SettingText kWwwRootFolder{kMachineSetting, "Daruravidu Server", "", "wwwRootFolder", ""};
constexpr SettingText kMerivantDataFolder{kMachineSetting, "Daruravidu Server", "Merivant",
                                          "DataDirectoryPath", ""};
constexpr SettingText kResultsBufferFolder{kMachineSetting, "Daruravidu Server", "Quorel", "BufferDir", ""};

// The gather service's own store (settings/subsection_store.h).
constexpr const char* kConnectivityTestResult = "ConnectivityTestResult";
constexpr const char* kDownloadMirrorURL = "DownloadMirror URL";
constexpr const char* kURLMonAuthName = "URLMonAuthName";
constexpr const char* kURLMonAuthPhrase = "URLMonAuthPhrase";

constexpr const char* kDownloadsURLPath = "/vtmirror/downloads";

unsigned Read(const ClientNumber& setting) {
    unsigned value = setting.defaultValue;
    GetClientSettingNumber(setting.name, value, 0, setting.maximum, setting.defaultValue);
    return value;
}

bool Read(const ClientFlag& setting) {
    bool value = setting.defaultValue;
    GetClientSettingBool(setting.name, value, setting.defaultValue);
    return value;
}

// Empty when missing or too long for the buffer; `found` tells which.
std::string ReadClientText(const char* name, bool& found) {
    char buffer[kClientTextBufferSize];
    if (!GetClientSettingText(name, buffer, sizeof buffer, found)) return std::string();
    return buffer;
}

std::string Read(const ClientText& setting) {
    bool found = false;
    return ReadClientText(setting.name, found);
}

FileLocation Read(const ClientPath& setting) {
    return FileLocation(Read(ClientText{setting.name}).c_str());
}

std::uint32_t Read(const SettingNumber& setting) {
    return ConfigurationNumber(setting.mode, setting.component, setting.section, setting.name,
                               setting.defaultValue)
        .GetValue();
}

std::string Read(const SettingText& setting) {
    return ConfigurationString(setting.mode, setting.component, setting.section, setting.name,
                               setting.defaultValue)
        .GetText();
}

std::int64_t Minutes(std::uint32_t minutes) {
    return static_cast<std::int64_t>(minutes) * kMicrosecondsPerMinute;
}

std::int64_t Milliseconds(std::uint32_t milliseconds) {
    return static_cast<std::int64_t>(milliseconds) * kMicrosecondsPerMillisecond;
}

FileLocation ChildPath(const FileLocation& parent, std::initializer_list<const char*> names) {
    FileLocation path = parent;
    for (const char* name : names) path = path.MakeChild(name);
    return path;
}

// The folder setting when it is not empty, else the default's path.
template <typename MakeDefault>
FileLocation FolderSetting(const SettingText& setting, MakeDefault makeDefault) {
    std::string folder = Read(setting);
    if (!folder.empty()) return FileLocation(folder.c_str());
    return makeDefault();
}

FileLocation MirrorServerFolder() {
    return GetServerStoragePath().MakeChild("Mirror Server");
}

std::string Decimal(std::uint64_t value) {
    return std::to_string(value);
}

}  // namespace

template <typename Setting>
auto GatherOptionsManager::ReadUnderLock(const Setting& setting) const {
    CriticalSectionGuard hold(m_lock);
    return Read(setting);
}

std::string GatherOptionsManager::ReadGatherServiceText(const char* name) const {
    CriticalSectionGuard hold(m_lock);
    bool found = false;
    return std::string(gatherServiceSubsectionStore().GetText(name, found).GetConstData().View());
}

FileLocation GatherOptionsManager::GetInboxFolder() const {
    return MirrorServerFolder().MakeChild("inbox");
}

FileLocation GatherOptionsManager::GetConfigFolder() const {
    return MirrorServerFolder().MakeChild("config");
}

FileLocation GatherOptionsManager::GetRevocationListFile() const {
    return ChildPath(MirrorServerFolder(), {"RevocationList", "RevocationList.pem"});
}

FileLocation GatherOptionsManager::GetDownloadStateDatabaseFile() const {
    return GetConfigFolder().MakeChild("DownloadState.db");
}

FileLocation GatherOptionsManager::GetDownloadPluginsDatabaseFile() const {
    return GetConfigFolder().MakeChild("DownloadPlugins.db");
}

FileLocation GatherOptionsManager::GetDownloadWhitelistFile() const {
    return GetConfigFolder().MakeChild("DownloadWhitelist.txt");
}

FileLocation GatherOptionsManager::GetDownloadsFolder() const {
    // The server serves its files from its root, so "/vtmirror/downloads/..." requests reach this folder.
    return ChildPath(ReadServerRootPath(kRelayComponent), {"vtmirror", "downloads"});
}

FileLocation GatherOptionsManager::GetSha1Folder() const {
    return GetDownloadsFolder().MakeChild("sha1");
}

FileLocation GatherOptionsManager::GetActionURLsFolder() const {
    return GetDownloadsFolder().MakeChild("ActionURLs");
}

FileLocation GatherOptionsManager::GetActiveDownloadsFolder() const {
    return GetDownloadsFolder().MakeChild("ActiveDownloads");
}

FileLocation GatherOptionsManager::GetWwwRootFolder() const {
    return FolderSetting(kWwwRootFolder, [] { return GetServerStoragePath().MakeChild("wwwrootkvr"); });
}

FileLocation GatherOptionsManager::GetMirrorSitesFolder() const {
    return ChildPath(GetWwwRootFolder(), {"vtmirror", "vtsites"});
}

FileLocation GatherOptionsManager::GetGatherCacheFolder() const {
    FileLocation folder = GetMirrorSitesFolder().MakeChild("gathercache");
    CreateDirectoryChecked(folder);
    return folder;
}

FileLocation GatherOptionsManager::GetClientActionSiteFolder() const {
    return FolderSetting(kClientActionSiteFolder, [] {
        return ChildPath(GetClientStoragePath(), {"__KVRData", "actionsite"});
    });
}

FileLocation GatherOptionsManager::GetMerivantDataFolder() const {
    return FolderSetting(kMerivantDataFolder,
                         [] { return GetServerStoragePath().MakeChild("MerivantData"); });
}

FileLocation GatherOptionsManager::GetResultsBufferDirectory() const {
    return FolderSetting(kResultsBufferFolder, [] {
        return ChildPath(GetServerStoragePath(), {"QuorelData", "BufferDir"});
    });
}

// Only the three shapes a DownloadRequestTarget can take have a file; the last check stands in case
// a target ever reaches here in some other shape.
FileLocation GatherOptionsManager::GetDownloadTargetFile(const DownloadRequestTarget& target) const {
    std::string name;
    if (target.IsURLRequest())
        name = "urlrequest_" + Decimal(*target.GetActionID());
    else if (target.IsIndexed())
        name = "indexed_" + Decimal(*target.GetActionID()) + "_" + Decimal(*target.GetIndex());
    else if (target.IsDynamic())
        name = "dynamic_" + target.GetSha1()->ToHex();
    else
        throw NotADownloadRequestTarget();
    return GetActiveDownloadsFolder().MakeChild(name.c_str());
}

FileName GatherOptionsManager::GetDownloadRequestFileName(std::uint32_t actionID) const {
    return FileName(("dl_" + Decimal(actionID)).c_str());
}

std::string GatherOptionsManager::GetDownloadsURLPath() const {
    return kDownloadsURLPath;
}

std::string GatherOptionsManager::GetSha1DownloadURLPath(const DigestRecord& sha1) const {
    return std::string(kDownloadsURLPath) + "/sha1/" + sha1.ToHex();
}

std::string GatherOptionsManager::GetActionURLPath(std::uint32_t actionID) const {
    return std::string(kDownloadsURLPath) + "/ActionURLs/dl_" + Decimal(actionID);
}

std::uint32_t GatherOptionsManager::GetRetryLimit() const {
    return ReadUnderLock(kRetryLimit);
}

std::int64_t GatherOptionsManager::GetRetryInterval() const {
    return Minutes(ReadUnderLock(kRetryMinutes));
}

std::uint32_t GatherOptionsManager::GetMaxDownloadJobs() const {
    return ReadUnderLock(kMaxDownloadJobs);
}

std::uint64_t GatherOptionsManager::GetCacheLimit() const {
    return static_cast<std::uint64_t>(ReadUnderLock(kCacheLimitMB)) * kBytesPerMegabyte;
}

std::int64_t GatherOptionsManager::GetCacheCleanupAge() const {
    return kCacheCleanupAge;
}

std::int64_t GatherOptionsManager::GetCacheCleanupInterval() const {
    return kCacheCleanupInterval;
}

bool GatherOptionsManager::UseDownloadService() const {
    return ReadUnderLock(kUseDownloadService);
}

bool GatherOptionsManager::UseUrlMoniker() const {
    return ReadUnderLock(kUseUrlMoniker);
}

bool GatherOptionsManager::CheckParentFlag() const {
    return ReadUnderLock(kCheckParentFlag);
}

bool GatherOptionsManager::CheckInternetFlag() const {
    return ReadUnderLock(kCheckInternetFlag);
}

std::int64_t GatherOptionsManager::GetInactivityTimeout() const {
    return static_cast<std::int64_t>(ReadUnderLock(kInactivityTimeoutSeconds)) * kMicrosecondsPerSecond;
}

ThrottleRequest GatherOptionsManager::GetThrottleSettings() const {
    CriticalSectionGuard hold(m_lock);  // one consistent set: the getters enter again
    DynamicThrottleRequest dynamic(IsDynamicThrottleEnabled(), GetDynamicThrottleMaxBytesPerSecond(),
                                   GetDynamicThrottleMinBytesPerSecond(), GetDynamicThrottlePercentage());
    std::string group = GetThrottleGroup();
    return ThrottleRequest(GetLimitBytesPerSecond(), ConstData(group), dynamic);
}

FileLocation GatherOptionsManager::GetSha1IndexPath() const {
    return ReadUnderLock(kSha1IndexPath);
}

FileLocation GatherOptionsManager::GetUrlIndexPath() const {
    return ReadUnderLock(kUrlIndexPath);
}

FileLocation GatherOptionsManager::GetIndexerTriggerPath() const {
    return ReadUnderLock(kIndexerTriggerPath);
}

std::uint32_t GatherOptionsManager::GetIndexerWaitTime() const {
    return ReadUnderLock(kIndexerWaitTime);
}

bool GatherOptionsManager::HasSha1Index() const {
    return ReadUnderLock(kHasSha1Index);
}

bool GatherOptionsManager::HasUrlIndex() const {
    return ReadUnderLock(kHasUrlIndex);
}

bool GatherOptionsManager::GetGatherFailedAsError() const {
    return ReadUnderLock(kGatherFailedAsError) != 0;
}

std::string GatherOptionsManager::GetParentRelayURL() const {
    return ReadUnderLock(kParentRelayURL);
}

std::uint32_t GatherOptionsManager::GetDiffCacheLimitMB() const {
    return ReadUnderLock(kDiffCacheLimitMB);
}

std::uint32_t GatherOptionsManager::GetNumVersionsToServe() const {
    return ReadUnderLock(kNumVersionsToServe);
}

std::uint32_t GatherOptionsManager::GetResolveVersionConflicts() const {
    return ReadUnderLock(kResolveVersionConflicts);
}

std::uint32_t GatherOptionsManager::GetLimitBytesPerSecond() const {
    return ReadUnderLock(kLimitBytesPerSecond);
}

bool GatherOptionsManager::IsDynamicThrottleEnabled() const {
    return ReadUnderLock(kDynamicThrottleEnabled) != 0;
}

std::uint32_t GatherOptionsManager::GetDynamicThrottleMaxBytesPerSecond() const {
    return ReadUnderLock(kDynamicThrottleMax);
}

std::uint32_t GatherOptionsManager::GetDynamicThrottleMinBytesPerSecond() const {
    return ReadUnderLock(kDynamicThrottleMin);
}

std::uint32_t GatherOptionsManager::GetDynamicThrottlePercentage() const {
    return ReadUnderLock(kDynamicThrottlePercentage);
}

std::string GatherOptionsManager::GetThrottleGroup() const {
    CriticalSectionGuard hold(m_lock);
    bool found = false;
    std::string group = ReadClientText(kThrottleGroup, found);
    return found ? group : kDefaultThrottleGroup;
}

std::int64_t GatherOptionsManager::GetConnectivitySuccessInterval() const {
    return Minutes(ReadUnderLock(kSuccessIntervalMinutes));
}

std::int64_t GatherOptionsManager::GetConnectivityFailureInterval() const {
    return Minutes(ReadUnderLock(kFailureIntervalMinutes));
}

std::int64_t GatherOptionsManager::GetPreGatherThreshold() const {
    return Minutes(ReadUnderLock(kPreGatherThresholdMinutes));
}

std::int64_t GatherOptionsManager::GetSiteVersionPollingPeriod() const {
    return Minutes(ReadUnderLock(kSiteVersionPollingMinutes));
}

std::int64_t GatherOptionsManager::GetActiveLoopDelay() const {
    return Milliseconds(ReadUnderLock(kActiveLoopDelayMilliseconds));
}

std::int64_t GatherOptionsManager::GetInactiveLoopDelay() const {
    return Milliseconds(ReadUnderLock(kInactiveLoopDelayMilliseconds));
}

std::int64_t GatherOptionsManager::GetUpstreamCheckPeriod() const {
    return Minutes(ReadUnderLock(kUpstreamCheckPeriodMinutes));
}

std::string GatherOptionsManager::GetDownloadMirrorURL() const {
    return ReadGatherServiceText(kDownloadMirrorURL);
}

std::string GatherOptionsManager::GetURLMonAuthName() const {
    return ReadGatherServiceText(kURLMonAuthName);
}

std::string GatherOptionsManager::GetURLMonAuthPhrase() const {
    return ReadGatherServiceText(kURLMonAuthPhrase);
}

std::string GatherOptionsManager::GetInternetTestURL() const {
    return ReadUnderLock(kInternetTestURL);
}

std::uint32_t GatherOptionsManager::GetConnectivityTestResult() const {
    bool found = false;
    return gatherServiceSubsectionStore().GetNumber(kConnectivityTestResult, found);
}

void GatherOptionsManager::SetConnectivityTestResult(std::uint32_t result) {
    CriticalSectionGuard hold(m_lock);
    try {
        gatherServiceSubsectionStore().SetNumber(kConnectivityTestResult, static_cast<int>(result));
    } catch (...) {
        // Nothing waits on the stored result: the caller goes on with the one it has.
    }
}
