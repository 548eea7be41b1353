// The store side of GatherState: construction, the state file, lookups, accessors, the mirror file
// locations and the connection to client notification. The operations that change a site's gather
// status are in gather_state_operations.cpp.
#include "relay/gather/gather_state.h"

#include <algorithm>

#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/log_manager.h"
#include "foundation/whole_file.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/parent_version_query.h"
#include "relay/gather/site_url_info.h"
#include "relay/register/client_notifier.h"
#include "relay/register/client_registration_list.h"
#include "relay/service/gather_options_manager.h"

GatherState::GatherState(GatherOptionsManager& options, URLToGatherIDMap& gatherMap, Event& stop)
    : m_options(options),
      m_gatherMap(gatherMap),
      m_stop(stop),
      m_upstreamCheckPeriod(options.GetUpstreamCheckPeriod()),
      m_stateFile(options.GetInboxFolder().MakeChild(kStateFileName)) {
    Load();
}

GatherState::~GatherState() {
    Lock lock(m_lock);
    if (!Save()) KVR_LOG("critical") << "Unable to write GatherState to disk in GatherState destructor!";
}

// The records' ids stay taken: the map's next id goes above them, for a map file lost while this
// file was kept.
void GatherState::Load() {
    Lock lock(m_lock);
    if (!FileAttributes(m_stateFile).Exists()) {
        KVR_LOG("debug") << "No GatherState XML file found.  Starting with no state.";
        return;
    }
    try {
        m_state = ReadGatherStateDocument(ConstData(std::string_view(ReadFileText(m_stateFile))));
    } catch (const std::exception&) {
        KVR_LOG("critical") << "GatherState XML file corrupted.  Resetting all gather state.";
        m_state = GatherStateContents();
    }
    if (!m_state.records.empty()) m_gatherMap.KeepNextIDAbove(m_state.records.rbegin()->first);
}

bool GatherState::Save() {
    try {
        CreateDirectoryTree(m_stateFile.GetParent());
        FileReplacingDataSink file(m_stateFile);
        WriteGatherStateDocument(m_state, file);
        return true;
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to save " << m_stateFile.ToString() << ": " << error.what();
        return false;
    }
}

SiteStatusRecord* GatherState::FindRecord(std::uint32_t siteID) {
    auto found = m_state.records.find(siteID);
    return found == m_state.records.end() ? nullptr : &found->second;
}

SiteStatusRecord& GatherState::RecordForID(std::uint32_t siteID) {
    SiteStatusRecord* record = FindRecord(siteID);
    if (record == nullptr) {
        KVR_LOG("critical") << "Unable to find site status for site id: " << siteID;
        throw NoSiteIDMatchesURL();
    }
    return *record;
}

std::uint32_t GatherState::SiteIDForURL(std::string_view url) {
    const std::uint32_t siteID = m_gatherMap.GetGatherID(url);
    if (siteID == 0) {
        KVR_LOG("critical") << "Unable to find site id for URL: " << url;
        throw NoSiteIDMatchesURL();
    }
    RecordForID(siteID);
    return siteID;
}

SiteStatusRecord& GatherState::RecordForURL(std::string_view url) {
    return RecordForID(SiteIDForURL(url));
}

std::uint32_t GatherState::GetSiteIDForURL(std::string_view url) {
    Lock lock(m_lock);
    return SiteIDForURL(url);
}

SiteStatusRecord GatherState::GetSiteRecord(std::uint32_t siteID) {
    Lock lock(m_lock);
    return RecordForID(siteID);
}

std::uint32_t GatherState::GetCommittedVersion(std::string_view url) {
    Lock lock(m_lock);
    return RecordForURL(url).committedVersion;
}

std::uint32_t GatherState::GetCommittedVersionCRC(std::string_view url) {
    Lock lock(m_lock);
    return RecordForURL(url).committedCRC;
}

ManyVersionList GatherState::GetCommittedManyVersion(std::string_view url) {
    Lock lock(m_lock);
    return RecordForURL(url).committedManyVersion;
}

std::string GatherState::GetCommittedLocation(std::string_view url) {
    Lock lock(m_lock);
    return RecordForURL(url).committedLocation;
}

std::string GatherState::GetCommittedLocation(std::uint32_t siteID) {
    Lock lock(m_lock);
    return RecordForID(siteID).committedLocation;
}

void GatherState::TouchLastRequested(std::string_view url) {
    Lock lock(m_lock);
    RecordForURL(url).lastRequestedTime = GetCurrentUTCTime();
}

bool GatherState::IsUpstreamCheckDue(std::string_view url) {
    Lock lock(m_lock);
    const std::int64_t sinceCompleted = GetCurrentUTCTime() - RecordForURL(url).completedTime;
    return sinceCompleted < 0 || sinceCompleted > m_upstreamCheckPeriod;
}

bool GatherState::HasCommittedLocation(std::string_view url) {
    Lock lock(m_lock);
    const SiteStatusRecord* record = FindRecord(m_gatherMap.GetGatherID(url));
    return record != nullptr && !record->committedLocation.empty();
}

std::vector<std::string> GatherState::CommittedSiteURLs() {
    Lock lock(m_lock);
    std::vector<std::string> urls;
    for (const auto& [url, siteID] : m_gatherMap.CopyMap()) {
        const SiteStatusRecord* record = FindRecord(siteID);
        if (record != nullptr && !record->committedLocation.empty()) urls.push_back(url);
    }
    return urls;
}

// The values are asked for one site at a time without the lock, so a site dropped meanwhile (an
// epoch reset) is left out.
std::map<std::string, ExpectedVersionPair> GatherState::GetExpectedVersionPairs() {
    std::map<std::string, ExpectedVersionPair> pairs;
    for (const std::string& url : CommittedSiteURLs()) {
        try {
            ExpectedVersionPair pair{GetExpectedVersion(url, false), 0};
            if (!SiteURLInfo(url).IsIntegralVersionSite()) pair.crc = GetExpectedVersionCRC(url, false);
            pairs.emplace(url, pair);
        } catch (const NoSiteIDMatchesURL&) {
        }
    }
    return pairs;
}

std::uint32_t GatherState::GetExpectedVersion(std::string_view url, bool cachedOnly) {
    return GetExpectedValue(url, cachedOnly, false);
}

std::uint32_t GatherState::GetExpectedVersionCRC(std::string_view url, bool cachedOnly) {
    return GetExpectedValue(url, cachedOnly, true);
}

// The time is set to now before the question, so that other callers take the cached value while it
// is asked; a failed question puts the old time back, so the next caller asks again.
std::uint32_t GatherState::GetExpectedValue(std::string_view url, bool cachedOnly, bool useCRC) {
    std::uint32_t SiteStatusRecord::*const value =
        useCRC ? &SiteStatusRecord::expectedCRC : &SiteStatusRecord::expectedVersion;
    TimeValue SiteStatusRecord::*const time =
        useCRC ? &SiteStatusRecord::expectedCRCTime : &SiteStatusRecord::expectedVersionTime;
    TimeValue askedBefore = 0;
    {
        Lock lock(m_lock);
        SiteStatusRecord& record = RecordForURL(url);
        const TimeValue now = GetCurrentUTCTime();
        const bool fresh = record.*time <= now && record.*time > now - m_options.GetSiteVersionPollingPeriod();
        if (cachedOnly || fresh) return record.*value;
        askedBefore = record.*time;
        record.*time = now;
    }
    try {
        const std::uint32_t answer = GetExpectedVersionOfParent(url, useCRC, m_stop);
        Lock lock(m_lock);
        if (SiteStatusRecord* record = FindRecord(m_gatherMap.GetGatherID(url))) {
            record->*value = answer;
            record->*time = GetCurrentUTCTime();
        }
        return answer;
    } catch (const UnableToGetVersionFromParent&) {
        Lock lock(m_lock);
        SiteStatusRecord& record = RecordForURL(url);
        record.*time = askedBefore;
        return record.*value;
    }
}

std::map<std::string, std::uint32_t> GatherState::GetExpectedVersions() {
    std::map<std::string, std::uint32_t> versions;
    for (const auto& [url, pair] : GetExpectedVersionPairs()) versions.emplace(url, pair.version);
    return versions;
}

CalendarTime GatherState::GetActionSiteEpoch() {
    Lock lock(m_lock);
    return m_state.actionSiteEpoch;
}

std::optional<SiteGatherParams> GatherState::PopQueuedRequest() {
    return PopQueuedRequest({});
}

std::optional<SiteGatherParams> GatherState::PopQueuedRequest(const std::set<std::uint32_t>& skippedSites) {
    Lock lock(m_lock);
    const auto next = std::find_if(m_queue.begin(), m_queue.end(), [&](const SiteGatherParams& request) {
        return skippedSites.count(request.siteID) == 0;
    });
    if (next == m_queue.end()) return std::nullopt;
    SiteGatherParams request = std::move(*next);
    m_queue.erase(next);
    return request;
}

FileLocation GatherState::ManyDirListFolder(std::uint32_t siteID) {
    const FileLocation folder = m_options.GetMirrorSitesFolder().MakeChild(ManyDirListsFolderName(siteID).c_str());
    CreateDirectoryTree(folder);
    return folder;
}

FileLocation GatherState::ManyDirListFile(std::string_view url, const char* prefix) {
    const std::uint32_t siteID = SiteIDForURL(url);
    const std::string name = ManyDirListFileName(prefix, RecordForID(siteID).committedManyVersion);
    return ManyDirListFolder(siteID).MakeChild(name.c_str());
}

FileLocation GatherState::CommittedLocationFile(std::string_view url, const char* name) {
    const FileLocation committed(RecordForURL(url).committedLocation.c_str());
    return FileLocation(committed, FileName(name));
}

FileLocation GatherState::GetManyDirListFolder(std::string_view url) {
    Lock lock(m_lock);
    return ManyDirListFolder(SiteIDForURL(url));
}

FileLocation GatherState::GetMultiDirListFile(std::string_view url, bool compressed) {
    Lock lock(m_lock);
    return ManyDirListFile(url, compressed ? kCompressedManyDirListPrefix : kManyDirListPrefix);
}

FileLocation GatherState::GetSingleDirListFile(std::string_view url, bool compressed) {
    Lock lock(m_lock);
    return CommittedLocationFile(url, compressed ? kCompressedSingleDirListName : kSingleDirListName);
}

FileLocation GatherState::GetAllDiffsFile(std::string_view url) {
    Lock lock(m_lock);
    return ManyDirListFile(url, kManyAllDiffsPrefix);
}

FileLocation GatherState::GetFullSiteFile(std::string_view url) {
    Lock lock(m_lock);
    return ManyDirListFile(url, kManyFullSitePrefix);
}

FileLocation GatherState::GetSingleFullSiteFile(std::string_view url) {
    Lock lock(m_lock);
    return CommittedLocationFile(url, kSingleFullSiteName);
}

FileLocation GatherState::GetDiffSiteFile(std::string_view url, std::string_view fromDigestText) {
    Lock lock(m_lock);
    const std::string prefix = ManyDiffSiteName(fromDigestText, "");
    return ManyDirListFile(url, prefix.c_str());
}

GatherState::NotificationConnection GatherState::ConnectNotifications(NotificationServices& services,
                                                                      ClientRegistrationList* list) {
    std::unique_lock<std::shared_mutex> lock(m_notificationLock);
    m_notificationServices = &services;
    m_registrationList = list;
    return NotificationConnection(this);
}

GatherState::NotificationConnection::~NotificationConnection() {
    if (m_state != nullptr) m_state->DisconnectNotifications();
}

void GatherState::DisconnectNotifications() {
    std::unique_lock<std::shared_mutex> lock(m_notificationLock);
    m_notificationServices = nullptr;
    m_registrationList = nullptr;
}

// A failed notification costs the clients a ping, not the gather its outcome: it is logged here.
void GatherState::SendNotification(const ClientNotification& notification) {
    std::shared_lock<std::shared_mutex> lock(m_notificationLock);
    if (m_notificationServices == nullptr) {
        KVR_LOG("critical") << "NotifyClients: client notification is not running; notification of type "
                            << notification.type << " dropped";
        return;
    }
    try {
        ClientRegistrationList& list = m_registrationList ? *m_registrationList : ClientRegistrationList::Instance();
        NotifyClientsLocally(notification, list, *m_notificationServices);
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "NotifyClients: " << error.what();
    }
}

bool GatherState::NotifyGatherAction(std::uint32_t version, bool multiValue) {
    return NewActionSiteVersion(version, multiValue);
}

bool GatherState::NotifyGatherHash(std::uint32_t version, std::uint32_t urlChecksum, bool multiValue) {
    return NewSiteVersionByHash(version, urlChecksum, multiValue);
}

std::vector<GatheredSiteVersion> GatherState::ListSiteVersions() {
    std::vector<GatheredSiteVersion> sites;
    for (const auto& [url, pair] : GetExpectedVersionPairs()) sites.push_back({url, pair.version, pair.crc});
    return sites;
}
