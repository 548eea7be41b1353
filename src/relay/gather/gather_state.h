// GatherState: the relay's one record of every gathered site: which versions are wanted, which copy
// is committed on disk and where, whether a gather is pending, failed or complete, and the queue of
// gather requests that the gather loop drains. The run routine builds it after the gather map and
// the download manager and keeps it until every gather thread has ended.
//
// Persistence: "GatherState.xml" in the inbox folder (gather_state_file.h). The constructor reads
// it: a missing file starts empty, one that does not read resets every record and the epoch (logged
// under "critical"); either way the gather map's next id is then kept above every record's id. The
// file is written whole (temporary file and rename) after each committed gather, each epoch change
// and at destruction, so a crash leaves the last saved state, never a part.
//
// Site lifecycle: absent; pending (a gather is queued or running: some version pending, or the
// stored status pending); complete; error. Queueing makes a site pending, creating its record when
// it is new; GatheredSameVersion and SuccessfulSiteGather make it complete, FailedSiteGather an
// error, RetrySiteGather an error queued again, PrepareArchiveLoad pending. A site stays pending
// until every version requested for it has been reported. An action-site epoch reset removes every
// many-version site (site_url_info.h): its records, its map entries and its folders.
//
// Notifications: a gather that commits a newer copy tells the clients of this relay and below it,
// type 2 for the action site (committed version, then the many-version CRC when there is one) and
// type 9 for another site (the same, then the checksum of the site's URL), through
// NotifyClientsLocally. The notification is built under the lock and sent after it is released:
// sending runs the local action of its type, which comes back into this object
// (NotifyGatherAction, NotifyGatherHash). The services come from ConnectNotifications, which the run
// routine calls once client notification exists; until then, and after the connection is dropped,
// notifications are logged and dropped.
//
// Threads: every member may be called from any thread. One lock guards all state; it is not
// recursive and is held for each whole call, file writes and the gather map's own calls included
// (order: this lock, then the map's). No call waits for the network under it: the expected-version
// getters ask the parent between two holds of it. PrepareArchiveLoad releases it between its
// attempts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/event.h"
#include "relay/gather/gather_state_file.h"
#include "relay/gather/site_gather_params.h"
#include "relay/gather/site_gather_status.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "relay/register/client_notification.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/notification_services.h"

class ClientRegistrationList;
class GatherOptionsManager;

// The URL has no site id, or its id has no record (logged under "critical").
class NoSiteIDMatchesURL : public DebuggableException {};
// The gather map gave no id for a URL to be queued (logged under "critical").
class UnableToGenerateSiteID : public DebuggableException {};
// A site other than the action site declared a new action-site epoch.
class InvalidActionSiteEpoch : public DebuggableException {};
// PrepareArchiveLoad found the site pending through all its attempts (logged under "critical"):
// the archive must not be installed.
class ArchiveLoadTimedOut : public DebuggableException {};

// A site's expected versions as clients are told them: the expected CRC is 0 for a site that has no
// many-version list.
struct ExpectedVersionPair {
    std::uint32_t version = 0;
    std::uint32_t crc = 0;

    bool operator==(const ExpectedVersionPair&) const = default;
};

class GatherState : public GatherStateNotifications {
  public:
    static constexpr const char* kStateFileName = "GatherState.xml";
    static constexpr unsigned kArchiveLoadAttempts = 10;
    static constexpr std::int64_t kArchiveLoadRetryInterval = 1'000'000;
    // Any client can name a site, so what a request can make the relay keep is bounded, each limit
    // far above a real deployment (some hundreds of sites): the length of a site URL, the sites
    // given an id, and the requests waiting in the queue.
    static constexpr std::size_t kMaxSiteURLLength = 1'024;
    static constexpr std::size_t kMaxGatheredSites = 10'000;
    static constexpr std::size_t kMaxQueuedGatherRequests = 2 * kMaxGatheredSites;

    // Reads "GatherState.xml" of the options' inbox folder. The options and the map are not owned and
    // must outlive this object; so must `stop`, which ends PrepareArchiveLoad's waits.
    GatherState(GatherOptionsManager& options, URLToGatherIDMap& gatherMap, Event& stop);
    // Saves the state; a failure is logged ("Unable to write GatherState to disk in GatherState
    // destructor!") and otherwise ignored.
    ~GatherState() override;
    GatherState(const GatherState&) = delete;
    GatherState& operator=(const GatherState&) = delete;

    // While the returned connection lives, notifications go out through `services` and the
    // registration list (the process-wide one when null); both must outlive the connection. Its
    // destruction waits for a notification being sent. One connection at a time.
    class NotificationConnection {
      public:
        explicit NotificationConnection(GatherState* state) : m_state(state) {}
        NotificationConnection(NotificationConnection&& other) noexcept : m_state(other.m_state) {
            other.m_state = nullptr;
        }
        NotificationConnection& operator=(NotificationConnection&&) = delete;
        ~NotificationConnection();

      private:
        GatherState* m_state;
    };
    [[nodiscard]] NotificationConnection ConnectNotifications(NotificationServices& services,
                                                              ClientRegistrationList* list = nullptr);

    // Lookups. NoSiteIDMatchesURL when the URL has no id or the id no record.
    std::uint32_t GetSiteIDForURL(std::string_view url);
    // A copy of the site's record; NoSiteIDMatchesURL when there is none.
    SiteStatusRecord GetSiteRecord(std::uint32_t siteID);
    std::uint32_t GetCommittedVersion(std::string_view url);
    std::uint32_t GetCommittedVersionCRC(std::string_view url);
    ManyVersionList GetCommittedManyVersion(std::string_view url);
    std::string GetCommittedLocation(std::string_view url);
    std::string GetCommittedLocation(std::uint32_t siteID);
    // Sets the site's last requested time to now.
    void TouchLastRequested(std::string_view url);
    // Whether the upstream check period ("_KVRRelay_GatherMirror_UpstreamCheckPeriodMinutes", read
    // once at construction) has passed since the last completed gather, or that time lies ahead.
    bool IsUpstreamCheckDue(std::string_view url);
    // Whether the URL's site has a committed copy; false for an unknown site, never throws.
    bool HasCommittedLocation(std::string_view url);
    // The site's expected version (its expected many-version CRC), the value the parent last
    // announced or reported. Unless `cachedOnly`, a value not asked for within
    // "_KVRGather_Mirror_SiteVersionPollingPeriod" is asked of the parent first, without the lock
    // (parent_version_query.h); while that question runs, other callers get the cached value, and
    // when it fails the cached value is the answer and the next caller asks again.
    // NoSiteIDMatchesURL for an unknown site, before any question.
    std::uint32_t GetExpectedVersion(std::string_view url, bool cachedOnly);
    std::uint32_t GetExpectedVersionCRC(std::string_view url, bool cachedOnly);
    // The expected values of every site with a committed copy, by its URL in the map's order, as
    // GetExpectedVersion and (for a many-version site) GetExpectedVersionCRC give them, so a stale
    // one is asked of the parent first.
    std::map<std::string, std::uint32_t> GetExpectedVersions();
    std::map<std::string, ExpectedVersionPair> GetExpectedVersionPairs();
    CalendarTime GetActionSiteEpoch();
    // Whether the action-site epoch is `epoch` (field by field, as SetActionSiteEpoch compares).
    bool IsActionSiteEpoch(const CalendarTime& epoch);

    // The oldest queued request, taken out of the queue; none when the queue is empty.
    std::optional<SiteGatherParams> PopQueuedRequest();
    // The oldest queued request for a site not among `skippedSites` (those being gathered), taken out
    // of the queue; the requests of the skipped sites keep their places. None when there is no such
    // request.
    std::optional<SiteGatherParams> PopQueuedRequest(const std::set<std::uint32_t>& skippedSites);

    // The mirror files of the site's committed copy (NoSiteIDMatchesURL for an unknown site). The
    // many-version folder is the mirror sites folder's "manydirlists_<id>", created when missing;
    // "<digest>" is ManyVersionDigestText of the committed list.
    //   GetManyDirListFolder        many-version folder
    //   GetMultiDirListFile         many-version folder/"__mdirlistc_<digest>" ("__mdirlist_" without crc)
    //   GetSingleDirListFile        committed location/"__sdirlistc" ("__sdirlist" without crc)
    //   GetAllDiffsFile             many-version folder/"__alldiffs_<digest>"
    //   GetFullSiteFile             many-version folder/"__fullsite_<digest>"
    //   GetSingleFullSiteFile       committed location/"__fullsite"
    //   GetDiffSiteFile             many-version folder/"__diffsite_<from>_to_<digest>"
    // EmptyFileLocationError for an unset mirror sites folder or committed location.
    FileLocation GetManyDirListFolder(std::string_view url);
    FileLocation GetMultiDirListFile(std::string_view url, bool compressed);
    FileLocation GetSingleDirListFile(std::string_view url, bool compressed);
    FileLocation GetAllDiffsFile(std::string_view url);
    FileLocation GetFullSiteFile(std::string_view url);
    FileLocation GetSingleFullSiteFile(std::string_view url);
    FileLocation GetDiffSiteFile(std::string_view url, std::string_view fromDigestText);

    // Queues a gather of the site, giving a new site an id. UnableToGenerateSiteID, with nothing
    // changed, for a URL that is no http or https URL with a host and a path, or is longer than
    // kMaxSiteURLLength, for a new site once kMaxGatheredSites sites have ids, and when the map
    // cannot give an id. Not queued, and logged under "debug": an integral version for a
    // many-version site, a version already pending for the site, one already in the queue for it,
    // or any request while kMaxQueuedGatherRequests wait. Otherwise the site becomes pending with
    // the version, and the request (stamped with the committed version and list, and the current
    // epoch) goes to the end of the queue.
    void QueueSiteGatherRequest(std::string_view url, const SiteVersion& expectedVersion,
                                std::uint32_t reserved = 0);

    // Gather outcomes, each for the version the gather was asked for. An unknown site id is logged
    // under "critical" and changes nothing. The revocation list is saved first by the first two.
    //
    // The site is complete; nothing newer was found.
    void GatheredSameVersion(std::uint32_t siteID, const SiteVersion& requestedVersion, std::string_view text);
    // The site is complete. The copy in `location` is committed when it is newer than the committed
    // one (by its list when the list is not empty, else by its version): the state is saved and the
    // clients are notified.
    void SuccessfulSiteGather(std::uint32_t siteID, std::string_view text, std::uint32_t version,
                              const ManyVersionList& manyVersion, const SiteVersion& requestedVersion,
                              std::string_view location);
    // The site is in error with "<id>: <text>". Logged under "critical" while
    // "_KVRGather_Log_GatherFailedAsError" is on, unless the parent does not have a site that was
    // never gathered (an HTTP 404 or a missing location), which is a "debug" line.
    void FailedSiteGather(std::uint32_t siteID, const SiteVersion& requestedVersion, std::string_view errorText);
    // As FailedSiteGather (logged under "debug"), then the site's last request is queued again.
    void RetrySiteGather(std::uint32_t siteID, const SiteVersion& requestedVersion, std::string_view text);

    // The parent announced a new version of the action site, or of the sites whose URL has the
    // checksum (ChecksumOfRange of the URL text). Each such site takes it as its expected version or
    // CRC, and is queued when a client asked for it within "_KVRGather_Mirror_PreGatherThresholdMinutes"
    // and the value is new. False when a gather was queued or is pending for it, so the notification
    // waits for that gather; true otherwise.
    bool NewActionSiteVersion(std::uint32_t version, bool isCRC);
    bool NewSiteVersionByHash(std::uint32_t version, std::uint32_t urlChecksum, bool isCRC);

    // The epoch the action site `siteID` declares. The first one is stored and saved. A changed one
    // (InvalidActionSiteEpoch when `siteID` is not the action site) removes from the mirror sites
    // folder every "daruravidumirror_" folder of a many-version site or of an id no site has, every
    // "manymirror_" and "manydirlists_" folder, and the gather cache; drops every many-version site
    // from the records and the map; stores the epoch and saves. A folder that cannot be deleted is
    // logged under "critical" and the reset goes on. The queue is left as it is. True when it reset.
    bool SetActionSiteEpoch(std::uint32_t siteID, const CalendarTime& epoch);

    // Marks the site pending for an archive to be unpacked into place, with an unset version whose
    // outcome report clears the mark; a site without a record gets one. While the site is pending
    // already, retries every second for up to 10 attempts, then ArchiveLoadTimedOut; StopRequest
    // when the stop event is set meanwhile.
    void PrepareArchiveLoad(std::uint32_t siteID);

    // How the site stands (site_gather_status.h); code 16 for a URL without id or record.
    SiteGatherStatus GetStatus(std::string_view url);

    // GatherStateNotifications: NewActionSiteVersion, NewSiteVersionByHash, and every site with a
    // committed copy with its expected values (GetExpectedVersionPairs).
    bool NotifyGatherAction(std::uint32_t version, bool multiValue) override;
    bool NotifyGatherHash(std::uint32_t version, std::uint32_t urlChecksum, bool multiValue) override;
    std::vector<GatheredSiteVersion> ListSiteVersions() override;

  private:
    using Lock = std::lock_guard<std::mutex>;

    // Without m_lock: the lock is taken for each step, never across the parent's answer.
    std::uint32_t GetExpectedValue(std::string_view url, bool cachedOnly, bool useCRC);
    std::vector<std::string> CommittedSiteURLs();

    void Load();
    // The members below run with m_lock held.
    bool Save();
    SiteStatusRecord* FindRecord(std::uint32_t siteID);
    SiteStatusRecord& RecordForID(std::uint32_t siteID);
    std::uint32_t SiteIDForURL(std::string_view url);
    SiteStatusRecord& RecordForURL(std::string_view url);
    FileLocation ManyDirListFolder(std::uint32_t siteID);
    FileLocation ManyDirListFile(std::string_view url, const char* prefix);
    FileLocation CommittedLocationFile(std::string_view url, const char* name);
    // Answers whether the request now waits in the queue or is pending for its site.
    bool QueueSiteGatherRequestImplementation(const SiteGatherParams& request);
    void SaveRevocationList();
    void MarkFailed(SiteStatusRecord& record, const SiteVersion& requestedVersion, const std::string& message);
    bool NewSiteVersion(std::uint32_t siteID, std::uint32_t version, bool isCRC);
    ClientNotification BuildClientNotification(std::uint32_t siteID, const SiteStatusRecord& record);
    void RemoveManyVersionFolders();
    void RemoveGatherCache();
    void DropManyVersionSites();

    // Without m_lock.
    void SendNotification(const ClientNotification& notification);
    void DisconnectNotifications();

    GatherOptionsManager& m_options;
    URLToGatherIDMap& m_gatherMap;
    Event& m_stop;
    const std::int64_t m_upstreamCheckPeriod;
    const FileLocation m_stateFile;

    std::mutex m_lock;
    GatherStateContents m_state;
    std::deque<SiteGatherParams> m_queue;

    // Taken shared while a notification is sent, exclusively to connect or disconnect.
    std::shared_mutex m_notificationLock;
    NotificationServices* m_notificationServices = nullptr;
    ClientRegistrationList* m_registrationList = nullptr;
};
