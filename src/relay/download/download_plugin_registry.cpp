#include "relay/download/download_plugin_registry.h"

#include "foundation/database_connection.h"
#include "foundation/event.h"
#include "foundation/file_operations.h"
#include "foundation/sqlite_statement.h"

// The statement texts are those every earlier version of the relay ran, spaces included.

namespace {

constexpr const char* kCreateDBInfo = "create table if not exists DBINFO (    Version            INTEGER )";
constexpr const char* kSelectVersion = "select Version from DBINFO";
constexpr const char* kInsertVersion = "replace into DBINFO ( VERSION ) values              (       ? ) ";
constexpr const char* kCreatePlugins =
    "create table if not exists PLUGINS (     Protocol TEXT NOT NULL,     Plugin   TEXT NOT NULL,     "
    "PRIMARY KEY ( Protocol ) )";
constexpr const char* kSelectPlugin = "select Plugin from PLUGINS where Protocol = ?";
constexpr const char* kReplacePlugin =
    "replace into PLUGINS ( Protocol, Plugin ) values               (        ?,      ? ) ";
constexpr const char* kDeletePlugin = "delete from PLUGINS where Protocol = ?";

SQLite::Database OpenRegistryFile(const FileLocation& databaseFile) {
    CreateDirectoryTree(databaseFile.GetParentLocation());
    return OpenDatabaseWithTimeout(Stringy(databaseFile.CString()), kWaitWithoutLimit);
}

}  // namespace

DownloadPluginRegistry::DownloadPluginRegistry(const FileLocation& databaseFile)
    : m_database(OpenRegistryFile(databaseFile)) {
    CheckSchema();
}

void DownloadPluginRegistry::CheckSchema() {
    SQLite::Execute(m_database.Get(), kCreateDBInfo);
    SQLite::Statement select = SQLite::Prepare(m_database.Get(), kSelectVersion);
    if (select.Step() != SQLITE_ROW) {
        SQLite::Statement insert = SQLite::Prepare(m_database.Get(), kInsertVersion);
        SQLite::BindInt64(insert, 1, kSchemaVersion);
        insert.Step();
    } else if (SQLite::ColumnInt64(select, 0) != kSchemaVersion) {
        throw DownloadPluginException("Invalid download plugin SQLite database version");
    }
    SQLite::Execute(m_database.Get(), kCreatePlugins);
}

std::optional<std::string> DownloadPluginRegistry::FindPlugin(std::string_view protocol) {
    SQLite::Statement select = SQLite::Prepare(m_database.Get(), kSelectPlugin);
    SQLite::BindText(select, 1, protocol);
    if (select.Step() != SQLITE_ROW) return std::nullopt;
    return SQLite::ColumnText(select, 0);
}

void DownloadPluginRegistry::SetPlugin(std::string_view protocol, std::string_view program) {
    SQLite::Statement replace = SQLite::Prepare(m_database.Get(), kReplacePlugin);
    SQLite::BindText(replace, 1, protocol);
    SQLite::BindText(replace, 2, program);
    replace.Step();
}

void DownloadPluginRegistry::RemovePlugin(std::string_view protocol) {
    SQLite::Statement remove = SQLite::Prepare(m_database.Get(), kDeletePlugin);
    SQLite::BindText(remove, 1, protocol);
    remove.Step();
}
