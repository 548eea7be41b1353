// DownloadState: the one way into "DownloadState.db" (layout in download_state_schema.h), the record
// of every download target the relay was asked for: its state, retries and errors, and the details
// of indexed downloads learnt on the way.
//
// Rows are keyed by target: a URL request by its action in URL_REQUESTS, an indexed download by action
// and index in INDEXED_DOWNLOADS, a dynamic download by action, SHA-1 and URL in DYNAMIC_DOWNLOADS. A
// row comes into being at the target's first change of state and goes only through DeleteAction,
// ReplaceIndexedDownloads or DeleteAll. Changes of state follow IsAllowedDownloadStateChange
// (download_state_record.h); only ReplaceIndexedDownloads (delete, then insert) and ResetInterrupted
// bring a row back to NEW.
//
// Connections and threads. Each object opens its own connection to the file and is used by one
// thread at a time; every thread that works on downloads (the server loop's download paths, the
// download manager, each download worker, each plug-in request) builds its own and drops it when
// done. The file is in WAL mode (set at start-up), so reads never wait for a writer; writers take
// turns on SQLite's write lock, and the busy time-out waits for ever, so a second writer waits rather
// than fails.
//
// Transactions and crashes. Every operation is atomic: a single statement, or for SetState (the
// check and the write), ReplaceIndexedDownloads, DeleteAction, DeleteAll and ResetInterrupted one
// write transaction begun IMMEDIATE, so the check sees the row the write changes and two connections
// setting a new target at once make one row. A caller may group several operations in
// BeginWriteTransaction's scope; the store's own transactions then nest in it as savepoints. A crash
// loses at most the transaction under way; a committed change is on disk.
//
// Conversions. LastUpdate holds whole seconds (the microseconds divided by 1,000,000) and reads back
// multiplied. A digest is stored as 40 lower-case hexadecimal digits, a URL as its bytes (a NUL byte
// included). Columns of 32-bit values (ActionID, DownloadIndex, Status, RetryCount, ErrorCode) read
// outside 0 .. 4294967295 throw std::out_of_range ("SQLite integer value out of range"); a Status
// outside the states throws InvalidDownloadStateStatus. An error is read back only when both its
// columns are set.
//
// Failures. A refused change throws InvalidDownloadStateChange and writes nothing. Every SQLite
// failure throws SQLite::Error; the operation's changes are then undone.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/event.h"
#include "foundation/sqlite_database.h"
#include "foundation/sqlite_transaction.h"
#include "relay/download/download_state_record.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

// The retry count that DisableRetries writes: no retry limit reaches it.
constexpr std::uint32_t kRetriesDisabled = 4'294'967'295u;
// Dynamic rows changed longer ago are left out of the dynamic queries.
constexpr std::int64_t kDynamicDownloadWindow = 604'800'000'000;  // seven days, in microseconds

class DownloadState {
  public:
    // Opens the file that the settings name (GetDownloadStateDatabaseFile); the schema must be in place
    // (OpenDownloadStateDatabase did it at start-up). A statement that finds the database locked waits
    // up to `busyTimeout` microseconds, for ever by default, then throws SQLite::Error (SQLITE_BUSY).
    // The settings must outlive the object. Throws SQLite::Error.
    explicit DownloadState(const DownloadSettingsProvider& settings, std::int64_t busyTimeout = kWaitWithoutLimit);
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;

    sqlite3* Connection() const { return m_database.Get(); }
    // Closes the connection now, raising SQLite::Error when that fails; otherwise the destructor
    // closes it.
    void Close() { m_database.Close(); }

    // A scope whose changes through this object are made as one (sqlite_transaction.h).
    SQLite::WriteTransaction BeginWriteTransaction() { return SQLite::WriteTransaction(Connection()); }

    // The target's stored state, or none when it has no row.
    std::optional<DownloadStateRecord> GetState(const DownloadRequestTarget& target);
    // Changes the target's state to the record's status, last update and error (no error clears the
    // stored one); a target without a row gets one with retry count 0, an existing row keeps its count.
    // Refused changes throw InvalidDownloadStateChange. Returns the record as stored. Logs at "debug":
    // "DownloadState: download {<target text>} changed from <old or "no state"> to <new>".
    DownloadStateRecord SetState(const DownloadRequestTarget& target, const DownloadStateRecord& record);
    // SetState with the state, the current time and no error.
    DownloadStateRecord SetNew(const DownloadRequestTarget& target);
    DownloadStateRecord SetRequestSubmitted(const DownloadRequestTarget& target);
    DownloadStateRecord SetQueued(const DownloadRequestTarget& target);
    DownloadStateRecord SetDownloading(const DownloadRequestTarget& target);
    DownloadStateRecord SetCompleted(const DownloadRequestTarget& target);
    DownloadStateRecord SetSuspended(const DownloadRequestTarget& target);
    // SetCompleted for a target whose file is in the cache, whatever its row says: a state that may not
    // lead to COMPLETED passes through QUEUED first, both in one transaction.
    DownloadStateRecord SetCompletedFromAnyState(const DownloadRequestTarget& target);
    // SetState with FAILED, the current time and the error; then logs at "debug"
    // "Download failed: <target text>\r\nReason: <message>".
    DownloadStateRecord SetFailed(const DownloadRequestTarget& target, const DownloadError& error);

    // Retry counts, kept apart from the state. A dynamic target's count is kept per SHA-1: the
    // operations change every dynamic row with its digest, whatever the action and URL.
    void ResetRetryCount(const DownloadRequestTarget& target);
    // Adds one, stopping at kRetriesDisabled.
    void IncrementRetryCount(const DownloadRequestTarget& target);
    // Sets kRetriesDisabled: GetDue passes the target over while it stays FAILED, until a reset.
    void DisableRetries(const DownloadRequestTarget& target);

    // Details of an indexed download, by action and index; setting one on a missing row does nothing,
    // reading one gives none without a row or while it is unknown.
    void SetSize(std::uint32_t actionID, std::uint32_t index, std::uint64_t size);
    std::optional<std::uint64_t> GetSize(std::uint32_t actionID, std::uint32_t index);
    // The length the parent announced.
    void SetContentLength(std::uint32_t actionID, std::uint32_t index, std::uint64_t length);
    std::optional<std::uint64_t> GetContentLength(std::uint32_t actionID, std::uint32_t index);
    void SetSHA1(std::uint32_t actionID, std::uint32_t index, const DigestRecord& sha1);
    std::optional<DigestRecord> GetSHA1(std::uint32_t actionID, std::uint32_t index);
    // A dynamic target's size; an indexed target's own size, else its stored content length; none for
    // a URL request.
    std::optional<std::uint64_t> GetExpectedSize(const DownloadRequestTarget& target);

    // Deletes every row of the three download tables.
    void DeleteAll();
    // Deletes the action's URL request and indexed downloads; its dynamic downloads stay.
    void DeleteAction(std::uint32_t actionID);
    // Replaces the action's indexed downloads by the targets, each inserted as NEW in list order.
    // All or nothing: a target that cannot be set NEW (a duplicate in the list) undoes the whole.
    void ReplaceIndexedDownloads(std::uint32_t actionID, const std::vector<DownloadRequestTarget>& targets);

    // Lists, in the order SQLite gives the rows.
    // The actions with indexed or dynamic downloads.
    std::vector<std::uint32_t> GetActionIDs();
    // The action's indexed downloads.
    std::vector<DownloadRequestTarget> GetActionDownloads(std::uint32_t actionID);
    // Dynamic downloads changed within kDynamicDownloadWindow: of an action, under a ping's checksum
    // (the complemented CRC-32/BZIP2 of the 20 digest bytes), or with a digest.
    std::vector<DownloadRequestTarget> GetDynamicDownloadsByAction(std::uint32_t actionID);
    std::vector<DownloadRequestTarget> GetDynamicDownloadsByCRC(std::uint32_t crc);
    std::vector<DownloadRequestTarget> GetDynamicDownloadsBySHA1(const DigestRecord& sha1);
    // Every SUSPENDED target: URL requests, then indexed, then dynamic downloads.
    std::vector<DownloadRequestTarget> GetSuspended();
    // The targets to start now, URL requests, then indexed, then dynamic downloads: every NEW target,
    // and every FAILED one retried fewer times than the retry limit whose last change lies at least
    // the retry interval in the past, or in the future (a clock set back never blocks a retry). The
    // limit and interval are read from the settings at each call.
    std::vector<DownloadRequestTarget> GetDue();
    // The start-up reset: every DOWNLOADING or QUEUED row becomes NEW without error, keeping its last
    // update and retry count, outside the rule of allowed changes.
    void ResetInterrupted();

  private:
    DownloadStateRecord SetStateNow(const DownloadRequestTarget& target, DownloadStateStatus status,
                                    std::optional<DownloadError> error = std::nullopt);

    const DownloadSettingsProvider& m_settings;
    SQLite::Database m_database;
};

// The start-up step of the download relay, run once before any other user opens the file: creates
// the downloads folder and the database's folder with their missing parents, opens the file, brings
// it to schema version 4 (CreateDownloadStateSchema), switches it to WAL mode, resets interrupted
// downloads and closes it. Throws the file errors of folders that cannot be made, RequirementFailure
// for a schema version that cannot be upgraded, SQLite::Error for the rest; the relay does not start
// then.
void OpenDownloadStateDatabase(const DownloadSettingsProvider& settings);
