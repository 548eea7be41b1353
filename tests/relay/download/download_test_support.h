// Helpers of the download tests: a relay's settings and folders of the test's own, digests, and rows
// read straight from a database file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/digest_record.h"
#include "foundation/sqlite_database.h"
#include "foundation/sqlite_statement.h"
#include "relay/service/gather_options_manager.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

// A registry of the test's own naming a server storage folder and a server root inside one temporary
// folder, and the relay's settings over it: the database is "<folder>/storage/Mirror Server/config/
// DownloadState.db", the downloads folder "<folder>/root/vtmirror/downloads".
class DownloadSettingsFixture : public ::testing::Test {
  protected:
    DownloadSettingsFixture() { WriteSettings(); }

    // Writes the machine hive again with the folders and, after them, the named client settings given
    // as (name, value) pairs, such as {"_KVRGather_Download_RetryLimit", "3"}.
    void WriteSettings(const std::vector<std::pair<std::string, std::string>>& clientSettings = {}) {
        std::string hive = "REGEDIT4\n\n[HKLM\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n\"StoragePath\"=\"" +
                           m_folder / "storage" + "\"\n\n";
        std::vector<std::pair<std::string, std::string>> settings = {
            {"_KVRRelay_HTTPServer_ServerRootPath", m_folder / "root"}};
        settings.insert(settings.end(), clientSettings.begin(), clientSettings.end());
        for (const auto& [name, value] : settings)
            hive += "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name + "]\n\"value\"=\"" +
                    value + "\"\n\n";
        WriteWholeFile(m_registry.MachineHivePath(), hive);
    }

    std::string DatabasePath() const { return m_settings.GetDownloadStateDatabaseFile().GetPathString(); }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    GatherOptionsManager m_settings;
};

// A SHA-1-sized digest of 20 bytes, each `fill`.
inline DigestRecord FilledDigest(Byte fill) {
    Byte bytes[20];
    for (Byte& byte : bytes) byte = fill;
    return DigestRecord(bytes, bytes + sizeof bytes);
}

// Every row of the query on a connection of its own, its columns joined by "|" (NULL as "NULL").
inline std::vector<std::string> QueryRows(const std::string& databasePath, const char* query) {
    SQLite::Database database = SQLite::OpenDatabase(databasePath.c_str());
    SQLite::SetBusyTimeout(database.Get(), 10'000);
    std::vector<std::string> rows;
    {
        SQLite::Statement statement = SQLite::Prepare(database.Get(), query);
        while (statement.Step() == SQLITE_ROW) {
            std::string row;
            for (int column = 0; column < sqlite3_column_count(statement.Get()); ++column) {
                if (column > 0) row += "|";
                row += SQLite::ColumnType(statement, column) == SQLITE_NULL ? "NULL"
                                                                             : SQLite::ColumnText(statement, column);
            }
            rows.push_back(row);
        }
    }
    database.Close();
    return rows;
}

// Runs statements without rows on a connection of its own.
inline void ExecuteOn(const std::string& databasePath, const char* statements) {
    SQLite::Database database = SQLite::OpenDatabase(databasePath.c_str());
    SQLite::SetBusyTimeout(database.Get(), 10'000);
    SQLite::Execute(database.Get(), statements);
    database.Close();
}
