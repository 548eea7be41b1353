// The operations that change a site's gather status: queueing, gather outcomes, versions announced by
// the parent, the action-site epoch, archive loads and the status answer.
#include <algorithm>
#include <set>
#include <vector>

#include "crypto/revocation_list_file.h"
#include "crypto/revocation_store.h"
#include "base/character_classes.h"
#include "foundation/checksum_receiver.h"
#include "foundation/clocks.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/interruptor.h"
#include "foundation/log_manager.h"
#include "foundation/time_text.h"
#include "net/url_info.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/site_url_info.h"
#include "relay/service/gather_options_manager.h"

namespace {

constexpr const char* kNotFoundFailures[] = {"http failure code 404", "location does not exist."};

bool SameEpoch(const CalendarTime& a, const CalendarTime& b) {
    return a.date.year == b.date.year && a.date.month == b.date.month && a.date.day == b.date.day &&
           a.time.SecondsOfDay() == b.time.SecondsOfDay() && a.zone.seconds == b.zone.seconds;
}

std::string EpochText(const CalendarTime& epoch) {
    return std::string(FormatCalendarTime(epoch).View());
}

bool IsNotFoundFailure(const std::string& message) {
    return std::any_of(std::begin(kNotFoundFailures), std::end(kNotFoundFailures),
                       [&](const char* failure) { return message.find(failure) != std::string::npos; });
}

bool HadVersion(const SiteStatusRecord* record, const SiteVersion& requestedVersion) {
    if (requestedVersion.IsSet() && requestedVersion.GetValue() != 0) return true;
    return record != nullptr && (record->committedVersion != 0 || record->committedCRC != 0 ||
                                 record->expectedVersion != 0 || record->expectedCRC != 0);
}

void MarkComplete(SiteStatusRecord& record, const SiteVersion& requestedVersion) {
    record.pendingVersions.erase(requestedVersion);
    record.status = GatherStatus::Complete;
    record.completedTime = GetCurrentUTCTime();
}

// A site pending for an archive: its unset version stands for the archive's outcome report.
void MarkArchivePending(SiteStatusRecord& record) {
    record.pendingVersions.insert(SiteVersion());
    record.status = GatherStatus::Pending;
    record.lastRequest = SiteGatherParams();
}

// Deletes a folder with everything in it, or a file; a failure is logged and the caller goes on.
void RemoveMirrorEntry(const DirectoryEntry& entry) {
    try {
        if (entry.IsDirectory())
            RemoveDirectoryTree(entry.GetLocation());
        else
            RemoveFile(entry.GetLocation());
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to delete " << entry.GetLocation().ToString() << ": " << error.what();
    }
}

// An http or https URL with a host and a path beyond "/", of at most kMaxSiteURLLength bytes: a site
// URL gets a permanent id, a mirror folder and a gather of the parent, so nothing else may.
bool IsGatherableSiteURL(std::string_view url) {
    if (url.size() > GatherState::kMaxSiteURLLength) return false;
    const URLInfo info{ConstData(url)};
    if (!info.HasScheme() || !info.HasAuthority() || !info.HasPathStart()) return false;
    const std::string_view scheme = info.GetScheme().View();
    if (!Ascii::EqualIgnoringCase(scheme, "http") && !Ascii::EqualIgnoringCase(scheme, "https")) return false;
    return !info.GetHost().IsEmpty() && info.GetPath().Length() > 1;
}

}  // namespace

void GatherState::QueueSiteGatherRequest(std::string_view url, const SiteVersion& expectedVersion,
                                         std::uint32_t reserved) {
    Lock lock(m_lock);
    const bool refused = !IsGatherableSiteURL(url) ||
                         (m_gatherMap.GetGatherID(url) == 0 && m_gatherMap.SiteCount() >= kMaxGatheredSites);
    const std::uint32_t siteID = refused ? 0 : m_gatherMap.GetOrCreateGatherID(url);
    if (siteID == 0) {
        KVR_LOG("critical") << "Unable to create site id for URL: " << url;
        throw UnableToGenerateSiteID();
    }
    SiteGatherParams request{.siteID = siteID,
                             .expectedVersion = expectedVersion,
                             .siteURL = std::string(url),
                             .actionSiteEpoch = m_state.actionSiteEpoch,
                             .reserved = reserved};
    if (SiteStatusRecord* record = FindRecord(siteID)) {
        request.localVersion = record->committedVersion;
        request.localManyVersion = record->committedManyVersion;
        record->lastRequestedTime = GetCurrentUTCTime();
    }
    QueueSiteGatherRequestImplementation(request);
}

bool GatherState::QueueSiteGatherRequestImplementation(const SiteGatherParams& request) {
    const SiteVersion& version = request.expectedVersion;
    if (!SiteURLInfo(request.siteURL).IsIntegralVersionSite() && version.IsSet() && !version.IsCRC()) {
        KVR_LOG("debug") << "QueueSiteGatherRequestImplementation, Not Queued--Ignore Integral Version Requests For "
                            "ManyVersion Sites: "
                         << request.siteURL;
        return false;
    }
    SiteStatusRecord* record = FindRecord(request.siteID);
    if (record != nullptr && record->pendingVersions.count(version) != 0) {
        KVR_LOG("debug") << "QueueSiteGatherRequestImplementation, Not Queued--Gather Pending: " << request.siteURL
                         << " " << version.ToText();
        return true;
    }
    const bool queued = std::any_of(m_queue.begin(), m_queue.end(), [&](const SiteGatherParams& waiting) {
        return waiting.siteID == request.siteID && SiteVersion::Equals(waiting.expectedVersion, version);
    });
    if (queued) {
        KVR_LOG("debug") << "QueueSiteGatherRequestImplementation, Not Queued--Already Queued: " << request.siteURL
                         << " " << version.ToText();
        return true;
    }
    if (m_queue.size() >= kMaxQueuedGatherRequests) {
        KVR_LOG("debug") << "QueueSiteGatherRequestImplementation, Not Queued--Queue Full: " << request.siteURL;
        return false;
    }
    if (record == nullptr) {
        record = &m_state.records[request.siteID];
        record->lastRequestedTime = GetCurrentUTCTime();
    }
    record->pendingVersions.insert(version);
    record->status = GatherStatus::Pending;
    record->lastRequest = request;
    m_queue.push_back(request);
    KVR_LOG("debug") << "QueueSiteGatherRequestImplementation, Queued: " << request.siteURL;
    return true;
}

// A gather verifies content against the revocations it fetched; they are kept before its outcome
// counts. A list that cannot be written must not leave the site pending for ever: it is logged.
void GatherState::SaveRevocationList() {
    try {
        SaveRevocationStore(m_options.GetRevocationListFile(), GetRevocationStore());
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to save the revocation list: " << error.what();
    }
}

void GatherState::GatheredSameVersion(std::uint32_t siteID, const SiteVersion& requestedVersion,
                                      std::string_view text) {
    Lock lock(m_lock);
    if (!text.empty()) KVR_LOG("debug") << siteID << ": " << text;
    SaveRevocationList();
    SiteStatusRecord* record = FindRecord(siteID);
    if (record == nullptr) {
        KVR_LOG("critical") << "Call to GatheredSameVersion with unknown site id: " << siteID;
        return;
    }
    MarkComplete(*record, requestedVersion);
}

void GatherState::SuccessfulSiteGather(std::uint32_t siteID, std::string_view text, std::uint32_t version,
                                       const ManyVersionList& manyVersion, const SiteVersion& requestedVersion,
                                       std::string_view location) {
    std::optional<ClientNotification> notification;
    {
        Lock lock(m_lock);
        if (!text.empty()) KVR_LOG("debug") << siteID << ": " << text;
        SaveRevocationList();
        SiteStatusRecord* record = FindRecord(siteID);
        if (record == nullptr) {
            KVR_LOG("critical") << "Call to SuccessfulSiteGather with unknown site id: " << siteID;
            return;
        }
        const bool newer = IsManyVersionEmpty(manyVersion)
                               ? version > record->committedVersion
                               : IsManyVersionNewer(manyVersion, record->committedManyVersion);
        if (newer) {
            record->committedLocation = std::string(location);
            record->committedVersion = version;
            record->committedManyVersion = manyVersion;
            record->committedCRC = ManyVersionCRC(manyVersion);
            record->expectedVersion = version;
            record->expectedCRC = record->committedCRC;
        }
        MarkComplete(*record, requestedVersion);
        if (newer) {
            Save();
            KVR_LOG("debug") << "SuccessfulSiteGather: " << m_gatherMap.GetURLTextForID(siteID);
            notification = BuildClientNotification(siteID, *record);
        }
    }
    if (notification) SendNotification(*notification);
}

void GatherState::FailedSiteGather(std::uint32_t siteID, const SiteVersion& requestedVersion,
                                   std::string_view errorText) {
    Lock lock(m_lock);
    const std::string message = std::to_string(siteID) + ": " + std::string(errorText);
    SiteStatusRecord* record = FindRecord(siteID);
    // A first gather of a site that the parent does not have is expected, not an error.
    const bool asError = m_options.GetGatherFailedAsError() &&
                         (!IsNotFoundFailure(message) || HadVersion(record, requestedVersion));
    KVR_LOG(asError ? "critical" : "debug") << message;
    if (record == nullptr) {
        KVR_LOG("critical") << "Call to FailedSiteGather with unknown site id: " << siteID;
        return;
    }
    MarkFailed(*record, requestedVersion, message);
}

void GatherState::RetrySiteGather(std::uint32_t siteID, const SiteVersion& requestedVersion, std::string_view text) {
    Lock lock(m_lock);
    const std::string message = std::to_string(siteID) + ": " + std::string(text);
    KVR_LOG("debug") << message;
    SiteStatusRecord* record = FindRecord(siteID);
    if (record == nullptr) {
        KVR_LOG("critical") << "Call to RetrySiteGather with unknown site id: " << siteID;
        return;
    }
    MarkFailed(*record, requestedVersion, message);
    const SiteGatherParams again = record->lastRequest;
    QueueSiteGatherRequestImplementation(again);
}

void GatherState::MarkFailed(SiteStatusRecord& record, const SiteVersion& requestedVersion,
                             const std::string& message) {
    record.pendingVersions.erase(requestedVersion);
    record.errorText = message;
    record.status = GatherStatus::Error;
    record.errorTime = GetCurrentUTCTime();
}

bool GatherState::NewActionSiteVersion(std::uint32_t version, bool isCRC) {
    Lock lock(m_lock);
    bool passOn = true;
    for (const auto& [url, siteID] : m_gatherMap.CopyMap())
        if (SiteURLInfo(url).IsActionSite()) passOn = NewSiteVersion(siteID, version, isCRC) && passOn;
    return passOn;
}

bool GatherState::NewSiteVersionByHash(std::uint32_t version, std::uint32_t urlChecksum, bool isCRC) {
    Lock lock(m_lock);
    bool passOn = true;
    for (const auto& [url, siteID] : m_gatherMap.CopyMap())
        if (ChecksumOfRange(ConstData(std::string_view(url))) == urlChecksum)
            passOn = NewSiteVersion(siteID, version, isCRC) && passOn;
    return passOn;
}

// Only sites that a client or child relay asked for lately are gathered ahead of demand; the
// others just learn the value, which the next request compares against.
bool GatherState::NewSiteVersion(std::uint32_t siteID, std::uint32_t version, bool isCRC) {
    SiteStatusRecord* record = FindRecord(siteID);
    if (record == nullptr) return true;
    const TimeValue lastRequested = record->lastRequestedTime;
    const std::uint32_t previousVersion = record->expectedVersion;
    const std::uint32_t previousCRC = record->expectedCRC;
    const TimeValue now = GetCurrentUTCTime();
    if (isCRC) {
        record->expectedCRC = version;
        record->expectedCRCTime = now;
    } else {
        record->expectedVersion = version;
        record->expectedVersionTime = now;
    }

    const std::int64_t sinceRequested = now - lastRequested;
    if (sinceRequested < 0 || sinceRequested > m_options.GetPreGatherThreshold()) {
        KVR_LOG("debug") << "NewSiteVersion, Not Queued Because Of elapsedTime, siteid = " << siteID;
        return true;
    }
    if (!isCRC && version == previousVersion) {
        KVR_LOG("debug") << "NewSiteVersion, Not Queued Because Of Version match, version = " << version
                         << " siteid = " << siteID;
        return true;
    }
    if (isCRC && version == previousCRC) {
        KVR_LOG("debug") << "NewSiteVersion, Not Queued Because Of VersionCRC match, versionCRC = " << version;
        return true;
    }
    try {
        const SiteGatherParams request{.siteID = siteID,
                                       .localVersion = record->committedVersion,
                                       .expectedVersion = SiteVersion(version, isCRC),
                                       .localManyVersion = record->committedManyVersion,
                                       .siteURL = m_gatherMap.GetURLForID(siteID),
                                       .actionSiteEpoch = m_state.actionSiteEpoch};
        return !QueueSiteGatherRequestImplementation(request);
    } catch (const std::exception&) {
        KVR_LOG("critical") << "Unable to find masthead for URL: " << m_gatherMap.GetURLTextForID(siteID);
        return true;
    }
}

ClientNotification GatherState::BuildClientNotification(std::uint32_t siteID, const SiteStatusRecord& record) {
    const std::string url = m_gatherMap.GetURLTextForID(siteID);
    std::optional<std::uint32_t> crc;
    if (!IsManyVersionEmpty(record.committedManyVersion)) crc = record.committedCRC;
    if (SiteURLInfo(url).IsActionSite()) {
        KVR_LOG("debug") << "NotifyClients, GatherAction: " << url;
        return ClientNotification(NotificationType::kGatherAction, record.committedVersion, crc);
    }
    KVR_LOG("debug") << "NotifyClients, GatherHash: " << url;
    return ClientNotification(NotificationType::kGatherHash, record.committedVersion, crc,
                              ChecksumOfRange(ConstData(std::string_view(url))));
}

bool GatherState::IsActionSiteEpoch(const CalendarTime& epoch) {
    Lock lock(m_lock);
    return SameEpoch(epoch, m_state.actionSiteEpoch);
}

bool GatherState::SetActionSiteEpoch(std::uint32_t siteID, const CalendarTime& epoch) {
    Lock lock(m_lock);
    if (SameEpoch(epoch, m_state.actionSiteEpoch)) return false;
    if (SameEpoch(m_state.actionSiteEpoch, CalendarTime())) {
        KVR_LOG("debug") << "Initializing ActionSite Epoch to '" << EpochText(epoch) << "'.";
        m_state.actionSiteEpoch = epoch;
        Save();
        return false;
    }
    if (!SiteURLInfo(m_gatherMap.GetURLTextForID(siteID)).IsActionSite()) throw InvalidActionSiteEpoch();
    KVR_LOG("debug") << "Resetting ActionSite Epoch (was '" << EpochText(m_state.actionSiteEpoch) << ", now '"
                     << EpochText(epoch) << "').  All action sites and custom sites will be removed!";
    RemoveManyVersionFolders();
    RemoveGatherCache();
    DropManyVersionSites();
    m_state.actionSiteEpoch = epoch;
    Save();
    return true;
}

// Every folder that a many-version site may own goes. A "daruravidumirror_" folder whose id no
// site has any more cannot be told apart, and nothing would ever reach it again: it goes too.
void GatherState::RemoveManyVersionFolders() {
    std::set<std::uint32_t> integralSites;
    for (const auto& [url, siteID] : m_gatherMap.CopyMap())
        if (SiteURLInfo(url).IsIntegralVersionSite()) integralSites.insert(siteID);

    std::vector<DirectoryEntry> doomed;
    for (DirectoryScan scan(m_options.GetMirrorSitesFolder()); scan.IsValid(); scan.Next()) {
        const MirrorFolderName name = ParseMirrorFolderName(scan.Current().GetFileName().CString());
        const bool keep = name.kind == MirrorFolderKind::Other ||
                          (name.kind == MirrorFolderKind::SiteMirror && name.siteID &&
                           integralSites.count(*name.siteID) != 0);
        if (!keep) doomed.push_back(scan.Current());
    }
    for (const DirectoryEntry& entry : doomed) RemoveMirrorEntry(entry);
}

void GatherState::RemoveGatherCache() {
    const FileLocation cache = m_options.GetMirrorSitesFolder().MakeChild("gathercache");
    try {
        if (FileAttributes(cache).Exists()) RemoveDirectoryTree(cache);
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to delete " << cache.ToString() << ": " << error.what();
    }
}

// A record whose id the map does not know has no URL that could reach it: it goes with the
// many-version sites.
void GatherState::DropManyVersionSites() {
    std::set<std::uint32_t> integralSites;
    for (const auto& [url, siteID] : m_gatherMap.CopyMap()) {
        if (SiteURLInfo(url).IsIntegralVersionSite())
            integralSites.insert(siteID);
        else
            m_gatherMap.RemoveURL(url);
    }
    std::erase_if(m_state.records, [&](const auto& entry) { return integralSites.count(entry.first) == 0; });
}

void GatherState::PrepareArchiveLoad(std::uint32_t siteID) {
    for (unsigned attempt = 0; attempt < kArchiveLoadAttempts; ++attempt) {
        {
            Lock lock(m_lock);
            SiteStatusRecord* record = FindRecord(siteID);
            if (record == nullptr) {
                KVR_LOG("debug") << "Attempt to load archive for missing site id " << siteID
                                 << ".  Its record is created.";
                MarkArchivePending(m_state.records[siteID]);
                return;
            }
            if (!record->IsPending()) {
                MarkArchivePending(*record);
                return;
            }
        }
        if (m_stop.Wait(kArchiveLoadRetryInterval)) throw StopRequest();
    }
    KVR_LOG("critical") << "Unable to load archive for site id " << siteID
                        << ".  Unable to acquire lock after 10 seconds.";
    throw ArchiveLoadTimedOut();
}

SiteGatherStatus GatherState::GetStatus(std::string_view url) {
    SiteGatherStatus status;
    Lock lock(m_lock);
    const SiteStatusRecord* record = nullptr;
    try {
        record = &RecordForURL(url);
    } catch (const NoSiteIDMatchesURL&) {
        status.code = SiteGatherStatusCode::kNoSiteID;
        status.message = "GetStatus: Unable to find site id for URL: " + std::string(url);
        return status;
    }
    status.committedVersion = record->committedVersion;
    switch (record->EffectiveStatus()) {
        case GatherStatus::Pending:
            status.code = SiteGatherStatusCode::kGatherInProgress;
            status.message = "Gather in progress.";
            break;
        case GatherStatus::Error:
            status.code = SiteGatherStatusCode::kGatherError;
            status.message = record->errorText;
            break;
        case GatherStatus::Complete:
            status.code = SiteGatherStatusCode::kSiteAvailable;
            status.message = "Site available.";
            status.time = record->completedTime;
            break;
    }
    return status;
}
