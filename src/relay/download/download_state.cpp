#include "relay/download/download_state.h"

#include <string>
#include <utility>

#include "crypto/openssl_hash.h"
#include "foundation/checksum_receiver.h"
#include "foundation/clocks.h"
#include "foundation/database_connection.h"
#include "foundation/event.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "foundation/sqlite_statement.h"
#include "relay/download/download_state_schema.h"

// The statement texts are those every earlier version of the relay ran, spaces included; the one
// change is IncrementRetryCount's, which stops at kRetriesDisabled (see there).

namespace {

enum class TargetKind { URLRequest, Indexed, Dynamic };

// The statements of one kind of target, and the table they work on.
struct KindStatements {
    const char* table;
    const char* select;
    const char* insert;
    const char* update;
    const char* resetRetryCount;
    const char* incrementRetryCount;
    const char* disableRetries;
    // The parameter of the Status value in insert and update.
    int insertStatusPosition;
    int updateStatusPosition;
};

// In the order of TargetKind.
constexpr KindStatements kKindStatements[] = {
    {
        "URL_REQUESTS",
        "select Status, LastUpdate, ErrorCode, ErrorString, RetryCount from URL_REQUESTS where ActionID = ?",
        "insert into URL_REQUESTS ( ActionID, Status, LastUpdate, RetryCount, ErrorCode, ErrorString ) values"
        "                   (        ?,      ?,          ?,          0,         ?,           ? ) ",
        "update URL_REQUESTS set Status = ?, LastUpdate = ?, ErrorCode = ?, ErrorString = ? where ActionID = ?",
        "update URL_REQUESTS set RetryCount = 0 where ActionID = ?",
        "update URL_REQUESTS set RetryCount = min(RetryCount + 1, 4294967295) where ActionID = ?",
        "update URL_REQUESTS set RetryCount = ? where ActionID = ?",
        2,
        1,
    },
    {
        "INDEXED_DOWNLOADS",
        "select Status, LastUpdate, ErrorCode, ErrorString, RetryCount from INDEXED_DOWNLOADS where ActionID = ? "
        "and DownloadIndex = ?",
        "insert into INDEXED_DOWNLOADS ( ActionID, DownloadIndex, URL, SHA1, Size, Status, LastUpdate, RetryCount, "
        "ErrorCode, ErrorString ) values                        (        ?,             ?,   ?,    ?,    ?,      "
        "?,          ?,          0,         ?,           ? )",
        "update INDEXED_DOWNLOADS set Status = ?, LastUpdate = ?, ErrorCode = ?, ErrorString = ? where ActionID = ? "
        "and DownloadIndex = ?",
        "update INDEXED_DOWNLOADS set RetryCount = 0 where ActionID = ? and DownloadIndex = ?",
        "update INDEXED_DOWNLOADS set RetryCount = min(RetryCount + 1, 4294967295) where ActionID = ? and "
        "DownloadIndex = ?",
        "update INDEXED_DOWNLOADS set RetryCount = ? where ActionID = ? and DownloadIndex = ?",
        6,
        1,
    },
    {
        "DYNAMIC_DOWNLOADS",
        "select Status, LastUpdate, ErrorCode, ErrorString, RetryCount from DYNAMIC_DOWNLOADS where ActionID = ? "
        "and SHA1 = ? and URL = ?",
        "insert into DYNAMIC_DOWNLOADS ( ActionID, SHA1, URL, Size, CRC, Status, LastUpdate, RetryCount, ErrorCode, "
        "ErrorString ) values                        (        ?,    ?,   ?,    ?,   ?,      ?,          ?,          "
        "0,         ?,           ? ) ",
        "update DYNAMIC_DOWNLOADS set Status = ?, LastUpdate = ?, ErrorCode = ?, ErrorString = ?where ActionID = ? "
        "and SHA1 = ? and URL = ?",
        "update DYNAMIC_DOWNLOADS set RetryCount = 0 where SHA1 = ?",
        // Retries are counted per digest, so a dynamic download's count is shared by every row with its
        // digest, and one of them may have been disabled at the largest count; "RetryCount + 1" alone
        // would lift that row past 32 bits, and every later read of it would throw.
        "update DYNAMIC_DOWNLOADS set RetryCount = min(RetryCount + 1, 4294967295) where SHA1 = ?",
        "update DYNAMIC_DOWNLOADS set RetryCount = ? where SHA1 = ?",
        6,
        1,
    },
};

// The key of update's where clause follows the four set values.
constexpr int kUpdateKeyPosition = 5;

constexpr const char* kSetSize = "update INDEXED_DOWNLOADS set Size = ? where ActionID = ? and DownloadIndex = ?";
constexpr const char* kGetSize = "select Size from INDEXED_DOWNLOADS where ActionID = ? and DownloadIndex = ?";
constexpr const char* kSetContentLength =
    "update INDEXED_DOWNLOADS set ContentLength = ? where ActionID = ? and DownloadIndex = ?";
constexpr const char* kGetContentLength =
    "select ContentLength from INDEXED_DOWNLOADS where ActionID = ? and DownloadIndex = ?";
constexpr const char* kSetSHA1 = "update INDEXED_DOWNLOADS set SHA1 = ? where ActionID = ? and DownloadIndex = ?";
constexpr const char* kGetSHA1 = "select SHA1 from INDEXED_DOWNLOADS where ActionID = ? and DownloadIndex = ?";

constexpr const char* kDeleteAll[] = {
    "delete from DYNAMIC_DOWNLOADS",
    "delete from INDEXED_DOWNLOADS",
    "delete from URL_REQUESTS",
};
constexpr const char* kDeleteActionURLRequest = "delete from URL_REQUESTS where ActionID = ?";
constexpr const char* kDeleteActionIndexed = "delete from INDEXED_DOWNLOADS where ActionID = ?";

constexpr const char* kSelectActionIDs =
    "select distinct ActionID from INDEXED_DOWNLOADS union select distinct ActionID from DYNAMIC_DOWNLOADS";
constexpr const char* kSelectActionDownloads =
    "select DownloadIndex, URL, SHA1, Size from INDEXED_DOWNLOADS where ActionID = ?";
constexpr const char* kSelectDynamicByAction =
    "select ActionID, SHA1, Size, URL from DYNAMIC_DOWNLOADS where ActionID = ? and LastUpdate >= ?";
constexpr const char* kSelectDynamicByCRC =
    "select ActionID, SHA1, Size, URL from DYNAMIC_DOWNLOADS where CRC = ? and LastUpdate >= ?";
constexpr const char* kSelectDynamicBySHA1 =
    "select ActionID, SHA1, Size, URL from DYNAMIC_DOWNLOADS where SHA1 = ? and LastUpdate >= ?";

constexpr const char* kSelectSuspendedURLRequests = "select ActionID from URL_REQUESTS where Status = ?";
constexpr const char* kSelectSuspendedIndexed =
    "select ActionID, DownloadIndex, URL, SHA1, Size from INDEXED_DOWNLOADS where Status = ?";
constexpr const char* kSelectSuspendedDynamic =
    "select ActionID, SHA1, Size, URL from DYNAMIC_DOWNLOADS where Status = ? ";

constexpr const char* kSelectDueURLRequests =
    "select    ActionID from    URL_REQUESTS where       ( Status = ? )    or ( Status = ? and RetryCount < ? and ( "
    "LastUpdate > ? or LastUpdate <= ? ) )";
constexpr const char* kSelectDueIndexed =
    "select    ActionID,    DownloadIndex,    URL,    SHA1,    Size from    INDEXED_DOWNLOADS where       ( Status = "
    "? )    or ( Status = ? and RetryCount < ? and ( LastUpdate > ? or LastUpdate <= ? ) )";
constexpr const char* kSelectDueDynamic =
    "select    ActionID,    SHA1,    Size,    URL from    DYNAMIC_DOWNLOADS where       ( Status = ? )    or ( Status "
    "= ? and RetryCount < ? and ( LastUpdate > ? or LastUpdate <= ? ) )";

TargetKind KindOf(const DownloadRequestTarget& target) {
    KVR_REQUIRE(target.IsURLRequest() || target.IsIndexed() || target.IsDynamic());
    if (target.IsURLRequest()) return TargetKind::URLRequest;
    return target.IsIndexed() ? TargetKind::Indexed : TargetKind::Dynamic;
}

const KindStatements& StatementsOf(TargetKind kind) {
    return kKindStatements[static_cast<int>(kind)];
}

std::int64_t Seconds(TimeValue time) {
    return time / kMicrosecondsPerSecond;
}

std::string Sha1Text(const DigestRecord& sha1) {
    return sha1.ToHex();
}

void BindNumber(SQLite::Statement& statement, int position, std::uint64_t value) {
    SQLite::BindInt64(statement, position, static_cast<std::int64_t>(value));
}

// Binds the target's row key from `position` on: the action; the index; or the action, digest and URL.
void BindStateKey(SQLite::Statement& statement, int position, const DownloadRequestTarget& target) {
    BindNumber(statement, position, *target.GetActionID());
    if (target.IsIndexed()) BindNumber(statement, position + 1, *target.GetIndex());
    if (target.IsDynamic()) {
        SQLite::BindText(statement, position + 1, Sha1Text(*target.GetSha1()));
        SQLite::BindText(statement, position + 2, *target.GetURL());
    }
}

// Binds the key of the retry count from `position` on: the action; the action and index; or the
// digest alone.
void BindRetryKey(SQLite::Statement& statement, int position, const DownloadRequestTarget& target) {
    if (target.IsDynamic()) {
        SQLite::BindText(statement, position, Sha1Text(*target.GetSha1()));
        return;
    }
    BindNumber(statement, position, *target.GetActionID());
    if (target.IsIndexed()) BindNumber(statement, position + 1, *target.GetIndex());
}

// The values of a row's own columns, for insert: the index, URL, digest and size of an indexed
// download (digest and size NULL when unknown); the digest, URL, size and checksum of a dynamic one.
void BindInsertedColumns(SQLite::Statement& statement, const DownloadRequestTarget& target) {
    BindNumber(statement, 1, *target.GetActionID());
    if (target.IsIndexed()) {
        BindNumber(statement, 2, *target.GetIndex());
        SQLite::BindText(statement, 3, *target.GetURL());
        if (target.GetSha1()) SQLite::BindText(statement, 4, Sha1Text(*target.GetSha1()));
        if (target.GetSize()) BindNumber(statement, 5, *target.GetSize());
    } else if (target.IsDynamic()) {
        SQLite::BindText(statement, 2, Sha1Text(*target.GetSha1()));
        SQLite::BindText(statement, 3, *target.GetURL());
        BindNumber(statement, 4, *target.GetSize());
        BindNumber(statement, 5, ChecksumOfRange(target.GetSha1()->Bytes()));
    }
}

// Status, LastUpdate, and ErrorCode and ErrorString when there is an error; left unbound they are
// NULL, which clears an earlier error.
void BindStateValues(SQLite::Statement& statement, int position, const DownloadStateRecord& record) {
    BindNumber(statement, position, static_cast<std::uint32_t>(record.status));
    SQLite::BindInt64(statement, position + 1, Seconds(record.lastUpdate));
    if (!record.error) return;
    BindNumber(statement, position + 2, static_cast<std::uint32_t>(record.error->kind));
    SQLite::BindText(statement, position + 3, record.error->message);
}

// The record of a row of "Status, LastUpdate, ErrorCode, ErrorString, RetryCount".
DownloadStateRecord ReadStateRecord(const SQLite::Statement& statement) {
    DownloadStateRecord record;
    record.status = DownloadStateStatusFromNumber(SQLite::ColumnUInt32(statement, 0));
    record.lastUpdate = SQLite::ColumnInt64(statement, 1) * kMicrosecondsPerSecond;
    if (SQLite::ColumnType(statement, 2) != SQLITE_NULL && SQLite::ColumnType(statement, 3) != SQLITE_NULL)
        record.error = DownloadError{static_cast<DownloadErrorKind>(SQLite::ColumnUInt32(statement, 2)),
                                     SQLite::ColumnText(statement, 3)};
    record.retryCount = SQLite::ColumnUInt32(statement, 4);
    return record;
}

std::optional<std::uint64_t> ColumnOptionalUInt64(const SQLite::Statement& statement, int column) {
    if (SQLite::ColumnType(statement, column) == SQLITE_NULL) return std::nullopt;
    return static_cast<std::uint64_t>(SQLite::ColumnInt64(statement, column));
}

std::optional<DigestRecord> ColumnOptionalDigest(const SQLite::Statement& statement, int column) {
    if (SQLite::ColumnType(statement, column) == SQLITE_NULL) return std::nullopt;
    return DigestRecordFromHex(SQLite::ColumnText(statement, column));
}

// Row readers, one per column list; the columns are in the order of the statements above.
DownloadRequestTarget ReadURLRequest(const SQLite::Statement& statement) {
    return DownloadRequestTarget::URLRequest(SQLite::ColumnUInt32(statement, 0));
}

// "ActionID, DownloadIndex, URL, SHA1, Size".
DownloadRequestTarget ReadIndexedDownload(const SQLite::Statement& statement) {
    return DownloadRequestTarget::Indexed(SQLite::ColumnUInt32(statement, 0), SQLite::ColumnUInt32(statement, 1),
                                          SQLite::ColumnText(statement, 2), ColumnOptionalDigest(statement, 3),
                                          ColumnOptionalUInt64(statement, 4));
}

// "ActionID, SHA1, Size, URL".
DownloadRequestTarget ReadDynamicDownload(const SQLite::Statement& statement) {
    return DownloadRequestTarget::Dynamic(SQLite::ColumnUInt32(statement, 0),
                                          DigestRecordFromHex(SQLite::ColumnText(statement, 1)),
                                          static_cast<std::uint64_t>(SQLite::ColumnInt64(statement, 2)),
                                          SQLite::ColumnText(statement, 3));
}

template <class ReadRow>
void AppendRows(SQLite::Statement& statement, ReadRow read, std::vector<DownloadRequestTarget>& targets) {
    while (statement.Step() == SQLITE_ROW) targets.push_back(read(statement));
    statement.Reset();
}

// Runs a statement without rows to its end.
void Run(SQLite::Statement& statement) {
    statement.Step();
    statement.Reset();
}

void LogStateChange(const DownloadRequestTarget& target, const std::optional<DownloadStateRecord>& old,
                    DownloadStateStatus status) {
    KVR_LOG("debug") << "DownloadState: download {" << downloadRequestTargetText(target) << "} changed from "
                     << (old ? DownloadStateName(old->status) : "no state") << " to " << DownloadStateName(status);
}


// Runs an indexed download's detail update: the value at 1, the action and index at 2 and 3.
template <class BindValue>
void UpdateIndexedDetail(sqlite3* connection, const char* text, std::uint32_t actionID, std::uint32_t index,
                         BindValue bindValue) {
    SQLite::Statement statement = SQLite::Prepare(connection, text);
    bindValue(statement);
    BindNumber(statement, 2, actionID);
    BindNumber(statement, 3, index);
    Run(statement);
}

// The first column of an indexed download's detail select, read by `read` unless NULL or missing.
template <class ReadColumn>
auto SelectIndexedDetail(sqlite3* connection, const char* text, std::uint32_t actionID, std::uint32_t index,
                         ReadColumn read) -> decltype(read(std::declval<const SQLite::Statement&>())) {
    SQLite::Statement statement = SQLite::Prepare(connection, text);
    BindNumber(statement, 1, actionID);
    BindNumber(statement, 2, index);
    if (statement.Step() != SQLITE_ROW) return std::nullopt;
    return read(statement);
}

std::optional<std::uint64_t> FirstColumnUInt64(const SQLite::Statement& statement) {
    return ColumnOptionalUInt64(statement, 0);
}

std::optional<DigestRecord> FirstColumnDigest(const SQLite::Statement& statement) {
    return ColumnOptionalDigest(statement, 0);
}


// The dynamic downloads that a select with one key at 1 and the window's start at 2 gives.
template <class BindKey>
std::vector<DownloadRequestTarget> SelectRecentDynamic(sqlite3* connection, const char* text, BindKey bindKey) {
    SQLite::Statement statement = SQLite::Prepare(connection, text);
    bindKey(statement);
    SQLite::BindInt64(statement, 2, Seconds(GetCurrentUTCTime() - kDynamicDownloadWindow));
    std::vector<DownloadRequestTarget> targets;
    AppendRows(statement, ReadDynamicDownload, targets);
    return targets;
}

}  // namespace

DownloadState::DownloadState(const DownloadSettingsProvider& settings, std::int64_t busyTimeout)
    : m_settings(settings),
      m_database(OpenDatabaseWithTimeout(Stringy(settings.GetDownloadStateDatabaseFile().CString()), busyTimeout)) {}

std::optional<DownloadStateRecord> DownloadState::GetState(const DownloadRequestTarget& target) {
    SQLite::Statement statement = SQLite::Prepare(Connection(), StatementsOf(KindOf(target)).select);
    BindStateKey(statement, 1, target);
    if (statement.Step() != SQLITE_ROW) return std::nullopt;
    return ReadStateRecord(statement);
}

DownloadStateRecord DownloadState::SetState(const DownloadRequestTarget& target, const DownloadStateRecord& record) {
    const KindStatements& statements = StatementsOf(KindOf(target));
    // The check and the write in one transaction that holds the write lock from the start: read and
    // written in two separate steps, two connections could both find no row and both insert (the
    // second failing on the key), or both pass the check against a state the other was changing.
    SQLite::WriteTransaction transaction(Connection());
    const std::optional<DownloadStateRecord> current = GetState(target);
    if (current && !IsAllowedDownloadStateChange(current->status, record.status))
        throw InvalidDownloadStateChange(current->status, record.status);

    SQLite::Statement statement;
    if (current) {
        statement = SQLite::Prepare(Connection(), statements.update);
        BindStateValues(statement, statements.updateStatusPosition, record);
        BindStateKey(statement, kUpdateKeyPosition, target);
    } else {
        statement = SQLite::Prepare(Connection(), statements.insert);
        BindInsertedColumns(statement, target);
        BindStateValues(statement, statements.insertStatusPosition, record);
    }
    Run(statement);
    transaction.Commit();
    LogStateChange(target, current, record.status);

    DownloadStateRecord stored = record;
    stored.lastUpdate = Seconds(record.lastUpdate) * kMicrosecondsPerSecond;
    stored.retryCount = current ? current->retryCount : 0;
    return stored;
}

DownloadStateRecord DownloadState::SetStateNow(const DownloadRequestTarget& target, DownloadStateStatus status,
                                               std::optional<DownloadError> error) {
    DownloadStateRecord record;
    record.status = status;
    record.lastUpdate = GetCurrentUTCTime();
    record.error = std::move(error);
    return SetState(target, record);
}

DownloadStateRecord DownloadState::SetNew(const DownloadRequestTarget& target) {
    return SetStateNow(target, DownloadStateStatus::New);
}

DownloadStateRecord DownloadState::SetRequestSubmitted(const DownloadRequestTarget& target) {
    return SetStateNow(target, DownloadStateStatus::RequestSubmitted);
}

DownloadStateRecord DownloadState::SetQueued(const DownloadRequestTarget& target) {
    return SetStateNow(target, DownloadStateStatus::Queued);
}

DownloadStateRecord DownloadState::SetDownloading(const DownloadRequestTarget& target) {
    return SetStateNow(target, DownloadStateStatus::Downloading);
}

DownloadStateRecord DownloadState::SetCompleted(const DownloadRequestTarget& target) {
    return SetStateNow(target, DownloadStateStatus::Completed);
}

DownloadStateRecord DownloadState::SetSuspended(const DownloadRequestTarget& target) {
    return SetStateNow(target, DownloadStateStatus::Suspended);
}

DownloadStateRecord DownloadState::SetCompletedFromAnyState(const DownloadRequestTarget& target) {
    SQLite::WriteTransaction transaction = BeginWriteTransaction();
    const std::optional<DownloadStateRecord> current = GetState(target);
    if (current && !IsAllowedDownloadStateChange(current->status, DownloadStateStatus::Completed)) SetQueued(target);
    DownloadStateRecord stored = SetCompleted(target);
    transaction.Commit();
    return stored;
}

DownloadStateRecord DownloadState::SetFailed(const DownloadRequestTarget& target, const DownloadError& error) {
    DownloadStateRecord stored = SetStateNow(target, DownloadStateStatus::Failed, error);
    KVR_LOG("debug") << "Download failed: " << downloadRequestTargetText(target) << "\r\nReason: " << error.message;
    return stored;
}

void DownloadState::ResetRetryCount(const DownloadRequestTarget& target) {
    SQLite::Statement statement = SQLite::Prepare(Connection(), StatementsOf(KindOf(target)).resetRetryCount);
    BindRetryKey(statement, 1, target);
    Run(statement);
}

void DownloadState::IncrementRetryCount(const DownloadRequestTarget& target) {
    SQLite::Statement statement = SQLite::Prepare(Connection(), StatementsOf(KindOf(target)).incrementRetryCount);
    BindRetryKey(statement, 1, target);
    Run(statement);
}

void DownloadState::DisableRetries(const DownloadRequestTarget& target) {
    SQLite::Statement statement = SQLite::Prepare(Connection(), StatementsOf(KindOf(target)).disableRetries);
    BindNumber(statement, 1, kRetriesDisabled);
    BindRetryKey(statement, 2, target);
    Run(statement);
}

void DownloadState::SetSize(std::uint32_t actionID, std::uint32_t index, std::uint64_t size) {
    UpdateIndexedDetail(Connection(), kSetSize, actionID, index,
                        [&](SQLite::Statement& statement) { BindNumber(statement, 1, size); });
}

std::optional<std::uint64_t> DownloadState::GetSize(std::uint32_t actionID, std::uint32_t index) {
    return SelectIndexedDetail(Connection(), kGetSize, actionID, index, FirstColumnUInt64);
}

void DownloadState::SetContentLength(std::uint32_t actionID, std::uint32_t index, std::uint64_t length) {
    UpdateIndexedDetail(Connection(), kSetContentLength, actionID, index,
                        [&](SQLite::Statement& statement) { BindNumber(statement, 1, length); });
}

std::optional<std::uint64_t> DownloadState::GetContentLength(std::uint32_t actionID, std::uint32_t index) {
    return SelectIndexedDetail(Connection(), kGetContentLength, actionID, index, FirstColumnUInt64);
}

void DownloadState::SetSHA1(std::uint32_t actionID, std::uint32_t index, const DigestRecord& sha1) {
    UpdateIndexedDetail(Connection(), kSetSHA1, actionID, index,
                        [&](SQLite::Statement& statement) { SQLite::BindText(statement, 1, Sha1Text(sha1)); });
}

std::optional<DigestRecord> DownloadState::GetSHA1(std::uint32_t actionID, std::uint32_t index) {
    return SelectIndexedDetail(Connection(), kGetSHA1, actionID, index, FirstColumnDigest);
}

std::optional<std::uint64_t> DownloadState::GetExpectedSize(const DownloadRequestTarget& target) {
    switch (KindOf(target)) {
        case TargetKind::Dynamic:
            return target.GetSize();
        case TargetKind::Indexed:
            if (target.GetSize()) return target.GetSize();
            return GetContentLength(*target.GetActionID(), *target.GetIndex());
        case TargetKind::URLRequest:
            break;
    }
    return std::nullopt;
}

void DownloadState::DeleteAll() {
    SQLite::WriteTransaction transaction(Connection());
    for (const char* text : kDeleteAll) SQLite::Execute(Connection(), text);
    transaction.Commit();
}

void DownloadState::DeleteAction(std::uint32_t actionID) {
    SQLite::WriteTransaction transaction(Connection());
    for (const char* text : {kDeleteActionURLRequest, kDeleteActionIndexed}) {
        SQLite::Statement statement = SQLite::Prepare(Connection(), text);
        BindNumber(statement, 1, actionID);
        Run(statement);
    }
    transaction.Commit();
}

void DownloadState::ReplaceIndexedDownloads(std::uint32_t actionID,
                                            const std::vector<DownloadRequestTarget>& targets) {
    // One transaction: a reader never sees the action without its downloads, and a failed insert
    // leaves the old list in place.
    SQLite::WriteTransaction transaction(Connection());
    SQLite::Statement statement = SQLite::Prepare(Connection(), kDeleteActionIndexed);
    BindNumber(statement, 1, actionID);
    Run(statement);
    for (const DownloadRequestTarget& target : targets) SetNew(target);
    transaction.Commit();
}

std::vector<std::uint32_t> DownloadState::GetActionIDs() {
    SQLite::Statement statement = SQLite::Prepare(Connection(), kSelectActionIDs);
    std::vector<std::uint32_t> actionIDs;
    while (statement.Step() == SQLITE_ROW) actionIDs.push_back(SQLite::ColumnUInt32(statement, 0));
    statement.Reset();
    return actionIDs;
}

std::vector<DownloadRequestTarget> DownloadState::GetActionDownloads(std::uint32_t actionID) {
    SQLite::Statement statement = SQLite::Prepare(Connection(), kSelectActionDownloads);
    BindNumber(statement, 1, actionID);
    std::vector<DownloadRequestTarget> targets;
    // "DownloadIndex, URL, SHA1, Size": the action is the one asked for.
    AppendRows(
        statement,
        [actionID](const SQLite::Statement& row) {
            return DownloadRequestTarget::Indexed(actionID, SQLite::ColumnUInt32(row, 0), SQLite::ColumnText(row, 1),
                                                  ColumnOptionalDigest(row, 2), ColumnOptionalUInt64(row, 3));
        },
        targets);
    return targets;
}

std::vector<DownloadRequestTarget> DownloadState::GetDynamicDownloadsByAction(std::uint32_t actionID) {
    return SelectRecentDynamic(Connection(), kSelectDynamicByAction,
                               [&](SQLite::Statement& statement) { BindNumber(statement, 1, actionID); });
}

std::vector<DownloadRequestTarget> DownloadState::GetDynamicDownloadsByCRC(std::uint32_t crc) {
    return SelectRecentDynamic(Connection(), kSelectDynamicByCRC,
                               [&](SQLite::Statement& statement) { BindNumber(statement, 1, crc); });
}

std::vector<DownloadRequestTarget> DownloadState::GetDynamicDownloadsBySHA1(const DigestRecord& sha1) {
    return SelectRecentDynamic(Connection(), kSelectDynamicBySHA1,
                               [&](SQLite::Statement& statement) { SQLite::BindText(statement, 1, Sha1Text(sha1)); });
}

std::vector<DownloadRequestTarget> DownloadState::GetSuspended() {
    std::vector<DownloadRequestTarget> targets;
    const auto append = [&](const char* text, auto read) {
        SQLite::Statement statement = SQLite::Prepare(Connection(), text);
        BindNumber(statement, 1, static_cast<std::uint32_t>(DownloadStateStatus::Suspended));
        AppendRows(statement, read, targets);
    };
    append(kSelectSuspendedURLRequests, ReadURLRequest);
    append(kSelectSuspendedIndexed, ReadIndexedDownload);
    append(kSelectSuspendedDynamic, ReadDynamicDownload);
    return targets;
}

std::vector<DownloadRequestTarget> DownloadState::GetDue() {
    const std::uint32_t retryLimit = m_settings.GetRetryLimit();
    const std::int64_t retryInterval = m_settings.GetRetryInterval();
    std::vector<DownloadRequestTarget> targets;
    const auto append = [&](const char* text, auto read) {
        const TimeValue now = GetCurrentUTCTime();
        SQLite::Statement statement = SQLite::Prepare(Connection(), text);
        BindNumber(statement, 1, static_cast<std::uint32_t>(DownloadStateStatus::New));
        BindNumber(statement, 2, static_cast<std::uint32_t>(DownloadStateStatus::Failed));
        BindNumber(statement, 3, retryLimit);
        SQLite::BindInt64(statement, 4, Seconds(now));
        SQLite::BindInt64(statement, 5, Seconds(now - retryInterval));
        AppendRows(statement, read, targets);
    };
    append(kSelectDueURLRequests, ReadURLRequest);
    append(kSelectDueIndexed, ReadIndexedDownload);
    append(kSelectDueDynamic, ReadDynamicDownload);
    return targets;
}

void DownloadState::ResetInterrupted() {
    SQLite::WriteTransaction transaction(Connection());
    for (const KindStatements& kind : kKindStatements) {
        const std::string text = std::string("update ") + kind.table +
                                 " set Status = ?, ErrorCode = ?, ErrorString = ? where Status = ? or Status = ?";
        SQLite::Statement statement = SQLite::Prepare(Connection(), text.c_str());
        BindNumber(statement, 1, static_cast<std::uint32_t>(DownloadStateStatus::New));
        BindNumber(statement, 4, static_cast<std::uint32_t>(DownloadStateStatus::Downloading));
        BindNumber(statement, 5, static_cast<std::uint32_t>(DownloadStateStatus::Queued));
        Run(statement);
    }
    transaction.Commit();
}

void OpenDownloadStateDatabase(const DownloadSettingsProvider& settings) {
    CreateDirectoryTree(settings.GetDownloadsFolder());
    CreateDirectoryTree(settings.GetDownloadStateDatabaseFile().GetParentLocation());
    DownloadState state(settings);
    CreateDownloadStateSchema(state.Connection());
    // Persistent in the file: from now on readers never wait for a writer, nor a writer for readers.
    SQLite::Execute(state.Connection(), "PRAGMA journal_mode=WAL");
    state.ResetInterrupted();
    state.Close();
}
