#include "relay/program/diagnostics_settings_sections.h"

#include "foundation/floating_point_text.h"
#include "relay/post/post_results_configuration.h"
#include "relay/program/diagnostics_values.h"
#include "settings/configuration_settings.h"

namespace {

constexpr int kNamedSetting = 2;
// The dynamic throttle percentage is held as a fraction; it is shown in whole percent.
constexpr double kWholePercent = 1;

// The template of a section: the fixed mark-up around "{nameN}: {valueN}" fields, numbered from 1
// across the lists.
std::string SettingsSectionTemplate(const char* id, const char* title, const std::vector<SettingList>& lists) {
    std::string text = std::string("<div class=\"settingsection\" id=\"") + id +
                       "\"><div class=\"settingsectioncontrol\"><div class=\"togglecontrol\" "
                       "onclick=\"toggle_visibility('" +
                       id + "')\">+ " + title +
                       "</div></div><div class=\"settingsectionbody\" style=\"display: none\">";
    unsigned row = 0;
    for (const SettingList& list : lists) {
        text += "<ul>";
        if (list.caption != nullptr) text += list.caption;
        for (std::size_t i = 0; i < list.rows.size(); ++i) {
            const std::string number = std::to_string(++row);
            text += "<li>{name" + number + "}: {value" + number + "}</li>";
        }
        text += "</ul>";
    }
    return text + "</div></div>";
}

std::string NamedText(const char* component, const char* section, const char* name) {
    return ConfigurationString(kNamedSetting, component, section, name, "").GetText();
}

std::uint32_t NamedNumber(const char* component, const char* section, const char* name, std::uint32_t fallback) {
    return ConfigurationNumber(kNamedSetting, component, section, name, fallback).GetValue();
}

std::string PercentText(double fraction) {
    return std::string(FormatFloatingPoint(fraction * 100, kWholePercent).View());
}

}  // namespace

std::string MakeSettingsSection(const char* id, const char* title, const std::vector<SettingList>& lists) {
    std::vector<std::string> arguments;
    for (const SettingList& list : lists) {
        for (const SettingRow& row : list.rows) {
            arguments.push_back(row.label);
            arguments.push_back(row.value);
        }
    }
    return FillPageTemplate(SettingsSectionTemplate(id, title, lists), arguments);
}

std::string MakeRelayControlSettingsSection() {
    return MakeSettingsSection(
        "RelayControlSettingsSection", "Relay Control Settings",
        {{.rows = {
              {"_KVRClient_Relay_NameOverride", NamedText("KVRClient", "Relay", "NameOverride")},
              {"_KVRRelay_Register_Affiliation_AdvertisementList",
               NamedText("KVRRelay", "Register", "Affiliation_AdvertisementList")},
              {"_KVRRelay_Selection_AutoSelectableRelay",
               DecimalText(NamedNumber("KVRRelay", "Selection", "AutoSelectableRelay", 1))},
              {"_KVRRelay_Selection_RelayPriority",
               DecimalText(NamedNumber("KVRRelay", "Selection", "RelayPriority", 0))},
              {"_KVRRelay_Selection_RelayWeight",
               DecimalText(NamedNumber("KVRRelay", "Selection", "RelayWeight", 100))},
          }}});
}

std::string MakeHTTPServerSettingsSection(const HTTPServerSettings& settings) {
    return MakeSettingsSection(
        "HTTPServerSettingsSection", "HTTPServer Settings",
        {{.rows = {
              {"_KVRRelay_HTTPServer_DynamicThrottleEnabled", FlagText(settings.dynamicThrottleEnabled)},
              {"_KVRRelay_HTTPServer_DynamicThrottleMaxKBPS", DecimalText(settings.dynamicThrottleMaxKBPS)},
              {"_KVRRelay_HTTPServer_DynamicThrottleMinKBPS", DecimalText(settings.dynamicThrottleMinKBPS)},
              {"_KVRRelay_HTTPServer_DynamicThrottlePercentage", PercentText(settings.dynamicThrottleFraction)},
              {"_KVRRelay_HTTPServer_HostName", settings.hostName},
              {"_KVRRelay_HTTPServer_HttpLogExpirationDays", DecimalText(settings.AccessLogExpirationDays())},
              {"_KVRRelay_HTTPServer_LogFileSizeLimit", DecimalText(settings.logFileSizeLimit)},
              {"_KVRRelay_HTTPServer_MaxConnections", DecimalText(settings.maxConnections)},
              {"_KVRRelay_HTTPServer_MaxRequestLineLength", DecimalText(settings.maxRequestLineLength)},
              {"_KVRRelay_HTTPServer_PortNumber", DecimalText(settings.port)},
              {"_KVRRelay_HTTPServer_ReadTimeOut", SecondsText(settings.readTimeOut)},
              {"_KVRRelay_HTTPServer_ThrottleKBPS", DecimalText(settings.throttleKBPS)},
              {"_KVRRelay_HTTPServer_UseSSLFlag", FlagText(settings.useTLS)},
              {"_KVRRelay_HTTPServer_WriteTimeOut", SecondsText(settings.writeTimeOut)},
          }}});
}

std::string MakeGatherSettingsSection(const GatherOptionsManager& options) {
    return MakeSettingsSection(
        "GatherSettingsSection", "Gather Settings",
        {{.caption = "Daruravidu Server\\GatherService Settings:",
          .rows = {{"ConnectivityTestResult", DecimalText(options.GetConnectivityTestResult())},
                   {"DownloadMirror URL", options.GetDownloadMirrorURL()}}},
         {.caption = "KVR Client Settings:",
          .rows = {
              {"_KVRGather_ConnectivityTest_SuccessInterval", MinutesText(options.GetConnectivitySuccessInterval())},
              {"_KVRGather_ConnectivityTest_FailureInterval", MinutesText(options.GetConnectivityFailureInterval())},
              {"_KVRGather_Comm_ParentRelayURL", options.GetParentRelayURL()},
              {"_KVRGather_Comm_UseUrlMoniker", FlagText(options.UseUrlMoniker())},
              {"_KVRGather_Comm_UseDownloadService", FlagText(options.UseDownloadService())},
              {"_KVRGather_Download_CacheLimitMB", MegabytesText(options.GetCacheLimit())},
              {"_KVRGather_Download_CheckParentFlag", FlagText(options.CheckParentFlag())},
              {"_KVRGather_Download_CheckInternetFlag", FlagText(options.CheckInternetFlag())},
              {"_KVRGather_Download_DiffCacheLimitMB", DecimalText(options.GetDiffCacheLimitMB())},
              {"_KVRGather_Download_DynamicThrottleEnabled", FlagText(options.IsDynamicThrottleEnabled())},
              {"_KVRGather_Download_DynamicThrottleMaxBytesPerSecond",
               DecimalText(options.GetDynamicThrottleMaxBytesPerSecond())},
              {"_KVRGather_Download_DynamicThrottleMinBytesPerSecond",
               DecimalText(options.GetDynamicThrottleMinBytesPerSecond())},
              {"_KVRGather_Download_DynamicThrottlePercentage", DecimalText(options.GetDynamicThrottlePercentage())},
              {"_KVRGather_Download_HasSha1Index", FlagText(options.HasSha1Index())},
              {"_KVRGather_Download_HasUrlIndex", FlagText(options.HasUrlIndex())},
              {"_KVRGather_Download_InactivityTimeout", SecondsText(options.GetInactivityTimeout())},
              {"_KVRGather_Download_LimitBytesPerSecond", DecimalText(options.GetLimitBytesPerSecond())},
              {"_KVRGather_Download_MaxDownloadJobs", DecimalText(options.GetMaxDownloadJobs())},
              {"_KVRGather_Download_NumVersionsToServe", DecimalText(options.GetNumVersionsToServe())},
              {"_KVRGather_Download_RetryLimit", DecimalText(options.GetRetryLimit())},
              {"_KVRGather_Download_RetryMinutes", MinutesText(options.GetRetryInterval())},
              {"_KVRGather_Download_ThrottleGroup", options.GetThrottleGroup()},
              {"_KVRGather_Indexer_WaitTime", DecimalText(options.GetIndexerWaitTime())},
              {"_KVRGather_Mirror_ActiveLoopDelayMilliseconds", MillisecondsText(options.GetActiveLoopDelay())},
              {"_KVRGather_Mirror_InactiveLoopDelayMilliseconds", MillisecondsText(options.GetInactiveLoopDelay())},
              {"_KVRGather_Mirror_PreGatherThresholdMinutes", MinutesText(options.GetPreGatherThreshold())},
              {"_KVRGather_Mirror_SiteVersionPollingPeriod", MinutesText(options.GetSiteVersionPollingPeriod())},
              {"_KVRGather_Log_GatherFailedAsError", FlagText(options.GetGatherFailedAsError())},
              {"_KVRRelay_GatherMirror_ResolveVersionConflicts", DecimalText(options.GetResolveVersionConflicts())},
              {"_KVRRelay_GatherMirror_UpstreamCheckPeriodMinutes", MinutesText(options.GetUpstreamCheckPeriod())},
          }}});
}

std::string MakePostResultsSettingsSection() {
    return MakeSettingsSection(
        "PostResultsSettingsSection", "Post Results Settings",
        {{.caption = "Daruravidu Server\\PostResults Settings:",
          .rows = {{"BufferDirectoryMaxCount", DecimalText(GetBufferDirectoryMaxCount())},
                   {"BufferDirectoryMaxSize", DecimalText(GetBufferDirectoryMaxSize())},
                   {"TimeoutSeconds", SecondsText(PostResultsSettings::RequestTimeout())}}},
         {.caption = "KVR Client Settings:",
          .rows = {
              {"_KVRRelay_PostResults_ResultTimeLimit", SecondsText(PostResultsSettings::ResultTimeLimit())},
              {"_KVRRelay_PostResults_ResultSizeLimit", DecimalText(PostResultsSettings::ResultSizeLimit())},
              {"_KVRRelay_PostResults_PostTimeoutSeconds", SecondsText(PostResultsSettings::PostTimeout())},
              {"_KVRRelay_PostResults_ParentRelayURL", PostResultsSettings::ParentRelayURL()},
          }}});
}

std::string MakeClientRegisterSettingsSection(const ClientRegisterConfiguration& c) {
    return MakeSettingsSection(
        "ClientRegisterSettingsSection", "Client Register Settings",
        {{.rows = {
              {"_Daruravidu Server_ClientRegister_BatchCount", SignedDecimalText(c.GetBatchCount())},
              {"_Daruravidu Server_ClientRegister_BatchDelay", SignedDecimalText(c.GetBatchDelay())},
              {"_Daruravidu Server_ClientRegister_ChildCountTestPeriod", DecimalText(c.GetChildCountTestPeriod())},
              {"_Daruravidu Server_ClientRegister_ChildRelayCountTestPeriod",
               DecimalText(c.GetChildRelayCountTestPeriod())},
              {"_Daruravidu Server_ClientRegister_ClientRegistrationExpirationPeriod",
               SignedDecimalText(c.GetClientRegistrationExpirationPeriod())},
              {"_Daruravidu Server_ClientRegister_DisableChildUDPMessages",
               FlagText(c.GetDisableChildUDPMessages() != 0)},
              {"_Daruravidu Server_ClientRegister_DisableCollisionDetection",
               FlagText(c.GetDisableCollisionDetection() != 0)},
              {"_Daruravidu Server_ClientRegister_IsDescendantExpirationAge",
               SignedDecimalText(c.GetIsDescendantExpirationAge())},
              {"_Daruravidu Server_ClientRegister_MaxChildCount", DecimalText(c.GetMaxChildCount())},
              {"_Daruravidu Server_ClientRegister_MaxChildRelayCount", DecimalText(c.GetMaxChildRelayCount())},
              {"_Daruravidu Server_ClientRegister_MinHopEstimateLimit", DecimalText(c.GetMinHopEstimateLimit())},
              {"_Daruravidu Server_ClientRegister_MaxHopEstimateLimit", DecimalText(c.GetMaxHopEstimateLimit())},
              {"_Daruravidu Server_ClientRegister_MaxRelayPathLength", DecimalText(c.GetMaxRelayPathLength())},
              {"_Daruravidu Server_ClientRegister_ParentRelayURL", c.GetParentRelayURL()},
              {"_Daruravidu Server_ClientRegister_PermanentExpirationPeriodDays",
               DecimalText(c.GetPermanentExpirationPeriodDays())},
              {"_Daruravidu Server_ClientRegister_PingRepetitionCount", DecimalText(c.GetPingRepetitionCount())},
              {"_Daruravidu Server_ClientRegister_PingRequestPort", DecimalText(c.GetPingRequestPort())},
              {"_Daruravidu Server_ClientRegister_RegistrationListWritePeriod",
               SignedDecimalText(c.GetRegistrationListWritePeriod())},
              {"_Daruravidu Server_ClientRegister_ThisServerID", DecimalText(c.GetThisServerID())},
              {"_Daruravidu Server_ClientRegister_ThisServerSequence", DecimalText(c.GetThisServerSequence())},
              {"_Daruravidu Server_ClientRegister_UDPMessagePort", DecimalText(c.GetUDPMessagePort())},
              {"_Daruravidu Server_ClientRegister_UseRelayTreeForPings", FlagText(c.GetUseRelayTreeForPings() != 0)},
          }}});
}

std::string MakeUploadManagerSettingsSection(const PostFileOptionsManager options) {
    return MakeSettingsSection(
        "UploadManagerSettingsSection", "Upload Manager Settings",
        {{.rows = {
              {"_KVRRelay_PostFile_ChunkSize", DecimalText(options.GetChunkSize())},
              {"_KVRRelay_PostFile_ComputerFolderCount", DecimalText(options.GetComputerFolderCount())},
              {"_KVRRelay_PostFile_ThrottleKBPS", KilobytesText(options.GetThrottleKBPS())},
              {"_KVRRelay_PostFile_TimeoutSeconds", SecondsText(options.GetTimeout())},
              {"_KVRRelay_UploadManager_BufferDirectoryMaxCount", DecimalText(options.GetBufferDirectoryMaxCount())},
              {"_KVRRelay_UploadManager_BufferDirectoryMaxSize", DecimalText(options.GetBufferDirectoryMaxSize())},
              {"_KVRRelay_UploadManager_CompressedFileMaxSize", DecimalText(options.GetCompressedFileMaxSize())},
          }}});
}
