// DownloadPluginRegistry: which program serves the downloads of each URL protocol, kept in
// "DownloadPlugins.db" (DownloadSettingsProvider::GetDownloadPluginsDatabaseFile, the "config" folder
// beside "DownloadState.db").
//
// Schema version 1. Tables:
//
//   DBINFO   Version INTEGER: one row, the schema version
//   PLUGINS  Protocol TEXT (key), Plugin TEXT: the program's path for a URL scheme, compared exactly
//            as stored ("test" does not serve "TEST://...")
//
// Registrations persist across restarts; each change is one statement, so a crash leaves the row as it
// was or as it became. The registry knows no processes and checks no program: the plug-in manager
// (download_plugin_manager.h) does both.
//
// One connection, used by one thread at a time (the thread that drives the plug-in manager); it waits
// without limit on a database that another connection holds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/sqlite_database.h"

// The database file records another schema version than 1.
class DownloadPluginException : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

class DownloadPluginRegistry {
  public:
    static constexpr std::int64_t kSchemaVersion = 1;

    // Opens (creating it and its folder when missing) the database and brings a new file to version 1.
    // Throws DownloadPluginException "Invalid download plugin SQLite database version" for a file of
    // another version, SQLite::Error and the file errors of a folder that cannot be made.
    explicit DownloadPluginRegistry(const FileLocation& databaseFile);

    // The program registered for the protocol, or none.
    std::optional<std::string> FindPlugin(std::string_view protocol);
    // Registers the program for the protocol, replacing an earlier one.
    void SetPlugin(std::string_view protocol, std::string_view program);
    // Forgets the protocol's program; nothing when it has none.
    void RemovePlugin(std::string_view protocol);

  private:
    void CheckSchema();

    SQLite::Database m_database;
};
