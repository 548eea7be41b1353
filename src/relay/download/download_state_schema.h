// The layout of "DownloadState.db", the download relay's state database, and the step that brings a
// file to it.
//
// Schema version 4, recorded in DBINFO as NAME "VERSION". Tables:
//
//   DBINFO             NAME VARCHAR(80) (key), IVALUE INTEGER: named numbers, the version among them
//   DOWNLOAD_STRING    Status (key), String: the seven state names, for people reading the file
//   URL_REQUESTS       one row per URL request, key ActionID
//   INDEXED_DOWNLOADS  one row per indexed download, key (ActionID, DownloadIndex); URL, and SHA1,
//                      Size and ContentLength as they become known (NULL until then)
//   DYNAMIC_DOWNLOADS  one row per dynamic download, key (ActionID, SHA1, URL); Size, and CRC, the
//                      checksum under which a download ping names it (download_state.h)
//
// and in each of the three download tables: Status (a DownloadStateStatus number), LastUpdate (the
// time of the last change in whole seconds since 1970), RetryCount, and ErrorCode (a
// DownloadErrorKind number) with ErrorString (UTF-8) or both NULL. SHA1 columns hold 40 lower-case
// hexadecimal digits, URL columns the URL's bytes as text. The rows are read and written only by
// DownloadState (download_state.h).
//
// Version 3 had the tables DOWNLOAD_STATUS, DOWNLOAD_STRING and DOWNLOAD_ACTIONID_HSP besides the
// three download tables; the upgrade drops them and keeps the download rows. No other version is
// upgraded.
//
// Each function takes an open connection used by the calling thread alone.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>

constexpr std::int64_t kDownloadStateSchemaVersion = 4;

// Brings the database to version 4: creates DBINFO, upgrades a version 3 file, writes VERSION = 4,
// creates and fills DOWNLOAD_STRING and creates the download tables that are missing. Run on every
// start; a version 4 file only has its DBINFO and DOWNLOAD_STRING rows written again. A stored
// version other than 3 or 4 raises RequirementFailure before anything but DBINFO is touched;
// SQLite failures raise SQLite::Error.
void CreateDownloadStateSchema(sqlite3* connection);

// The step from version 3: RequirementFailure for any other `schemaVersion`; then drops the three old
// tables, each on its own, going on past one that is not there.
void UpgradeDownloadStateSchema(sqlite3* connection, std::int64_t schemaVersion);

// The version recorded in DBINFO, or none without a VERSION row.
std::optional<std::int64_t> ReadDownloadStateSchemaVersion(sqlite3* connection);

// Writes the seven DOWNLOAD_STRING rows, Status 0 .. 6 with DownloadStateName's texts.
void FillDownloadStateStrings(sqlite3* connection);
