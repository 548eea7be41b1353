#include "relay/download/download_state_schema.h"

#include "base/exceptions.h"
#include "foundation/sqlite_database.h"
#include "foundation/sqlite_statement.h"
#include "relay/service/download_status.h"

// The statement texts are those every earlier version of the relay ran, spaces included, so that a
// file looks the same whichever version wrote it.

namespace {

constexpr const char* kCreateDBInfo =
    "create table if not exists DBINFO (    NAME              VARCHAR(80),     IVALUE            INTEGER,     "
    "PRIMARY KEY (NAME) )";
constexpr const char* kCreateDownloadString =
    "create table if not exists DOWNLOAD_STRING (     Status            INTEGER        NOT NULL,     "
    "String            TEXT           NOT NULL,     PRIMARY KEY ( Status ) )";
constexpr const char* kCreateDynamicDownloads =
    "create table if not exists DYNAMIC_DOWNLOADS (     ActionID          INTEGER        NOT NULL,     "
    "SHA1              VARCHAR(42)    NOT NULL,     URL               TEXT           NOT NULL,     "
    "Size              INTEGER        NOT NULL,     CRC               INTEGER        NOT NULL,     "
    "Status            INTEGER        NOT NULL,     LastUpdate        INTEGER        NOT NULL,     "
    "RetryCount        INTEGER        NOT NULL,     ErrorCode         INTEGER                ,     "
    "ErrorString       TEXT                   ,     PRIMARY KEY ( ActionID, SHA1, URL ) )";
constexpr const char* kCreateIndexedDownloads =
    "create table if not exists INDEXED_DOWNLOADS (     ActionID          INTEGER        NOT NULL,     "
    "DownloadIndex     INTEGER        NOT NULL,     URL               TEXT           NOT NULL,     "
    "SHA1              VARCHAR(42)            ,     Size              INTEGER                ,     "
    "ContentLength     INTEGER                ,     Status            INTEGER        NOT NULL,     "
    "LastUpdate        INTEGER        NOT NULL,     RetryCount        INTEGER        NOT NULL,     "
    "ErrorCode         INTEGER                ,     ErrorString       TEXT                   ,     "
    "PRIMARY KEY ( ActionID, DownloadIndex ) )";
constexpr const char* kCreateURLRequests =
    "create table if not exists URL_REQUESTS (     ActionID          INTEGER        NOT NULL,     "
    "Status            INTEGER        NOT NULL,     LastUpdate        INTEGER        NOT NULL,     "
    "RetryCount        INTEGER        NOT NULL,     ErrorCode         INTEGER                ,     "
    "ErrorString       TEXT                   ,     PRIMARY KEY ( ActionID ) )";

constexpr const char* kSelectVersion = "select IVALUE from DBINFO where NAME = \"VERSION\"; ";
constexpr const char* kReplaceVersion = "replace into DBINFO ( NAME, IVALUE ) values              (    ?,      ? ) ";
constexpr const char* kReplaceDownloadString =
    "replace into DOWNLOAD_STRING ( Status, String ) values                       (      ?,      ? ) ";

constexpr const char* kVersion3OnlyTables[] = {
    "drop table DOWNLOAD_STATUS",
    "drop table DOWNLOAD_STRING",
    "drop table DOWNLOAD_ACTIONID_HSP",
};

void WriteSchemaVersion(sqlite3* connection) {
    SQLite::Statement statement = SQLite::Prepare(connection, kReplaceVersion);
    SQLite::BindText(statement, 1, "VERSION");
    SQLite::BindInt64(statement, 2, kDownloadStateSchemaVersion);
    statement.Step();
    statement.Reset();
}

}  // namespace

void CreateDownloadStateSchema(sqlite3* connection) {
    SQLite::Execute(connection, kCreateDBInfo);
    const std::optional<std::int64_t> storedVersion = ReadDownloadStateSchemaVersion(connection);
    if (storedVersion && *storedVersion != kDownloadStateSchemaVersion)
        UpgradeDownloadStateSchema(connection, *storedVersion);
    WriteSchemaVersion(connection);
    SQLite::Execute(connection, kCreateDownloadString);
    FillDownloadStateStrings(connection);
    SQLite::Execute(connection, kCreateDynamicDownloads);
    SQLite::Execute(connection, kCreateIndexedDownloads);
    SQLite::Execute(connection, kCreateURLRequests);
}

void UpgradeDownloadStateSchema(sqlite3* connection, std::int64_t schemaVersion) {
    KVR_REQUIRE(schemaVersion == 3);
    // A version 3 file may lack any of them; the upgrade only has to see them gone.
    for (const char* drop : kVersion3OnlyTables) {
        try {
            SQLite::Execute(connection, drop);
        } catch (const SQLite::Error&) {
        }
    }
}

std::optional<std::int64_t> ReadDownloadStateSchemaVersion(sqlite3* connection) {
    SQLite::Statement statement = SQLite::Prepare(connection, kSelectVersion);
    if (statement.Step() != SQLITE_ROW) return std::nullopt;
    return SQLite::ColumnInt64(statement, 0);
}

void FillDownloadStateStrings(sqlite3* connection) {
    SQLite::Statement statement = SQLite::Prepare(connection, kReplaceDownloadString);
    for (std::uint32_t number = 0; number < kDownloadStateStatusCount; ++number) {
        SQLite::BindInt64(statement, 1, number);
        SQLite::BindText(statement, 2, DownloadStateName(static_cast<DownloadStateStatus>(number)));
        statement.Step();
        statement.Reset();
    }
}
