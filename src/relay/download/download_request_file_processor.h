// DownloadRequestFileProcessor: takes actions' download request files (download_request_file.h) into
// the relay, from two places, and records them in the download state store:
//
// - the inbox: each "dl_<action id>" file whose action is not in the cache yet replaces the action's
//   indexed downloads (NEW rows), marks its URL request COMPLETED and goes into the "ActionURLs"
//   folder; a file of an action already cached is only deleted. A name whose text after the first "_"
//   is not a decimal number is left alone.
// - finished action folders (download_action_folder.h), the folders of the downloads folder named by a
//   decimal action id. With the marker "0" each download's "sha1_" file is hashed and checked against
//   its name and the request file's SHA-1 and size, moved into the sha1 folder and its row marked
//   COMPLETED with its SHA-1 and size; a file that is missing or does not match is deleted and its
//   row marked FAILED (retryable, the message saying what was wrong). With "pending" every download
//   is marked FAILED with the "lastFailure" text; without either also with its retries disabled.
//   The request file then goes into "ActionURLs", the URL request is marked COMPLETED and the folder
//   is removed.
// A download marked COMPLETED from a state that may not lead there (NEW, FAILED, ...) passes through
// QUEUED in the same transaction.
//
// An inbox file or action folder is taken only once it has not changed for kSettleTime (the newest
// last-write time of the folder and its files), so a file caught mid-write is never read as a shorter
// list. One that does not read (format, numbers, or a request file naming another action than its
// name or folder) is renamed "failed_" + its name, which no scan picks up, and logged at "critical";
// the pass goes on with the next. Other failures (the store's, the file system's) leave the pass.
//
// Passes. RunPass is cheap while there is nothing to do: it looks at the folders only when a change
// notification on the inbox or the downloads folder reported a change, when the last pass found work
// (or entries still settling), and at least every kLookAgainInterval. A pass gives up after
// kPassTimeBudget or when the stop event is set (TimeIsUp), checked after each entry.
//
// Built once at start-up, after the download state database is opened; it owns its own DownloadState
// connection and runs on the one thread that calls RunPass (the download manager's work step).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "base/file_location.h"
#include "foundation/change_notification.h"
#include "foundation/clocks.h"
#include "foundation/event.h"
#include "relay/download/directory_cache.h"
#include "relay/download/download_request_file.h"
#include "relay/download/download_state.h"
#include "relay/service/download_settings_provider.h"

class DownloadRequestFileProcessor {
  public:
    // Monotonic microseconds.
    using Clock = std::function<std::int64_t()>;

    static constexpr std::int64_t kPassTimeBudget = 60'000'000;
    static constexpr std::int64_t kLookAgainInterval = 60'000'000;
    static constexpr std::int64_t kSettleTime = 5'000'000;

    // Creates the inbox, the downloads folder and its sha1 and "ActionURLs" folders when missing, opens
    // the store and starts watching the inbox and the downloads folder. Throws the file errors of
    // folders that cannot be made, SQLite::Error, Posix::Error when a folder cannot be watched. The
    // settings and the stop event must outlive the processor.
    DownloadRequestFileProcessor(const DownloadSettingsProvider& settings, const FileLocation& inboxFolder,
                                 Event& stopEvent, Clock monotonicClock = GetMonotonicTime);

    // One pass over the action folders and then, unless folders took the whole time budget, the inbox.
    void RunPass();
    // The pass has run longer than kPassTimeBudget, or the stop event is set.
    bool TimeIsUp() const;

  private:
    bool ShouldLook();
    bool ProcessActionFolders();
    void ProcessActionFolder(const FileLocation& folder, std::uint32_t actionID);
    void RecordFolderDownload(const DownloadRequestTarget& target, const FileLocation& folder);
    bool ProcessInbox();
    void ProcessInboxFile(const FileLocation& file, std::uint32_t actionID);
    std::optional<DownloadRequestFile> ReadOrSetAside(const FileLocation& requestFile, std::uint32_t actionID,
                                                      const FileLocation& entry);

    const DownloadSettingsProvider& m_settings;
    FileLocation m_inboxFolder;
    FileLocation m_downloadsFolder;
    DirectoryCache m_sha1Cache;
    DirectoryCache m_actionURLsCache;
    DownloadState m_state;
    Event& m_stopEvent;
    Clock m_clock;
    ChangeNotification m_inboxChanges;
    ChangeNotification m_downloadsChanges;
    std::int64_t m_passStart = 0;
    std::int64_t m_lastLook = 0;
    bool m_moreWork = true;
};
