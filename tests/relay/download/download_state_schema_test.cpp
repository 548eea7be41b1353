#include "relay/download/download_state_schema.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/file_errors.h"
#include "relay/download/download_state.h"
#include "relay/download/download_test_support.h"
#include "support/program_runner.h"

namespace {

using Rows = std::vector<std::string>;

// A file of the layout before version 4, as the relay's earlier releases left it: the download
// tables as they are now, and three tables of their own.
const char* const kVersion3Tables = R"(
create table DBINFO (NAME VARCHAR(80), IVALUE INTEGER, PRIMARY KEY (NAME));
create table URL_REQUESTS (ActionID INTEGER NOT NULL, Status INTEGER NOT NULL, LastUpdate INTEGER NOT NULL,
  RetryCount INTEGER NOT NULL, ErrorCode INTEGER, ErrorString TEXT, PRIMARY KEY (ActionID));
create table INDEXED_DOWNLOADS (ActionID INTEGER NOT NULL, DownloadIndex INTEGER NOT NULL, URL TEXT NOT NULL,
  SHA1 VARCHAR(42), Size INTEGER, ContentLength INTEGER, Status INTEGER NOT NULL, LastUpdate INTEGER NOT NULL,
  RetryCount INTEGER NOT NULL, ErrorCode INTEGER, ErrorString TEXT, PRIMARY KEY (ActionID, DownloadIndex));
create table DYNAMIC_DOWNLOADS (ActionID INTEGER NOT NULL, SHA1 VARCHAR(42) NOT NULL, URL TEXT NOT NULL,
  Size INTEGER NOT NULL, CRC INTEGER NOT NULL, Status INTEGER NOT NULL, LastUpdate INTEGER NOT NULL,
  RetryCount INTEGER NOT NULL, ErrorCode INTEGER, ErrorString TEXT, PRIMARY KEY (ActionID, SHA1, URL));
insert into URL_REQUESTS values (7, 3, 1700000000, 2, NULL, NULL);
insert into INDEXED_DOWNLOADS values (7, 0, 'http://parent/a', NULL, 5000, NULL, 5, 1700000100, 1, NULL, NULL);
insert into DYNAMIC_DOWNLOADS values (8, '0101010101010101010101010101010101010101', 'http://parent/b', 12, 99, 4,
  1700000200, 3, 2, 'timed out');
)";
const char* const kVersion3OwnTables = R"(
create table DOWNLOAD_STATUS (ActionID INTEGER, Status INTEGER);
create table DOWNLOAD_STRING (Status INTEGER, String TEXT);
insert into DOWNLOAD_STRING values (0, 'OLD');
create table DOWNLOAD_ACTIONID_HSP (ActionID INTEGER, HSP INTEGER);
)";

const Rows kTablesOfVersion4 = {"DBINFO", "DOWNLOAD_STRING", "DYNAMIC_DOWNLOADS", "INDEXED_DOWNLOADS", "URL_REQUESTS"};
const Rows kStateNames = {"0|NEW",    "1|REQUEST_SUBMITTED", "2|DOWNLOADING", "3|COMPLETED",
                          "4|FAILED", "5|QUEUED",            "6|SUSPENDED"};

class DownloadStateDatabaseTest : public DownloadSettingsFixture {
  protected:
    Rows Tables() { return QueryRows(DatabasePath(), "select name from sqlite_master where type = 'table' order by name"); }
    Rows Version() { return QueryRows(DatabasePath(), "select IVALUE from DBINFO where NAME = 'VERSION'"); }
    Rows StateNames() { return QueryRows(DatabasePath(), "select Status, String from DOWNLOAD_STRING order by Status"); }
    Rows JournalMode() { return QueryRows(DatabasePath(), "PRAGMA journal_mode"); }

    // Makes the file with the sqlite3 program, as a file of another program would be made.
    void MakeFileWithSqlite3(const std::string& script) {
        std::filesystem::create_directories(std::filesystem::path(DatabasePath()).parent_path());
        const ProgramRun run = RunProgram("sqlite3", {DatabasePath(), script});
        ASSERT_EQ(run.exitStatus, 0) << run.err;
    }
    std::string Dump() {
        const ProgramRun run = RunProgram("sqlite3", {DatabasePath(), ".dump"});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        return run.out;
    }
};

TEST_F(DownloadStateDatabaseTest, ANewFileGetsVersion4InWALModeAndItsFolders) {
    OpenDownloadStateDatabase(m_settings);
    EXPECT_TRUE(std::filesystem::is_directory(m_folder / "root/vtmirror/downloads"));
    EXPECT_EQ(Tables(), kTablesOfVersion4);
    EXPECT_EQ(Version(), Rows{"4"});
    EXPECT_EQ(StateNames(), kStateNames);
    EXPECT_EQ(JournalMode(), Rows{"wal"});
}

TEST_F(DownloadStateDatabaseTest, OpeningAVersion4FileAgainKeepsItsRows) {
    OpenDownloadStateDatabase(m_settings);
    {
        DownloadState state(m_settings);
        state.SetCompleted(DownloadRequestTarget::URLRequest(7));
    }
    ExecuteOn(DatabasePath(), "update DOWNLOAD_STRING set String = 'changed by hand'");
    OpenDownloadStateDatabase(m_settings);
    EXPECT_EQ(QueryRows(DatabasePath(), "select ActionID, Status from URL_REQUESTS"), Rows{"7|3"});
    EXPECT_EQ(Version(), Rows{"4"});
    EXPECT_EQ(StateNames(), kStateNames);
}

TEST_F(DownloadStateDatabaseTest, AVersion3FileLosesItsOwnTablesAndKeepsTheDownloads) {
    for (bool withOwnTables : {true, false}) {
        SCOPED_TRACE(withOwnTables ? "with its own tables" : "without its own tables");
        std::filesystem::remove_all(m_folder / "storage");
        MakeFileWithSqlite3(std::string(kVersion3Tables) + (withOwnTables ? kVersion3OwnTables : "") +
                            "insert into DBINFO values ('VERSION', 3);");
        OpenDownloadStateDatabase(m_settings);
        EXPECT_EQ(Tables(), kTablesOfVersion4);
        EXPECT_EQ(Version(), Rows{"4"});
        EXPECT_EQ(StateNames(), kStateNames);
        EXPECT_EQ(JournalMode(), Rows{"wal"});
        EXPECT_EQ(QueryRows(DatabasePath(), "select * from URL_REQUESTS"), Rows{"7|3|1700000000|2|NULL|NULL"});
        // QUEUED when the service stopped: NEW again.
        EXPECT_EQ(QueryRows(DatabasePath(), "select * from INDEXED_DOWNLOADS"),
                  Rows{"7|0|http://parent/a|NULL|5000|NULL|0|1700000100|1|NULL|NULL"});
        EXPECT_EQ(QueryRows(DatabasePath(), "select * from DYNAMIC_DOWNLOADS"),
                  Rows{"8|0101010101010101010101010101010101010101|http://parent/b|12|99|4|1700000200|3|2|timed out"});
    }
}

TEST_F(DownloadStateDatabaseTest, AVersionThatCannotBeUpgradedFailsTheStartAndChangesNothing) {
    for (const char* version : {"2", "5"}) {
        SCOPED_TRACE(version);
        std::filesystem::remove_all(m_folder / "storage");
        MakeFileWithSqlite3(std::string(kVersion3Tables) + kVersion3OwnTables + "insert into DBINFO values ('VERSION', " +
                            version + ");");
        const std::string before = Dump();
        EXPECT_THROW(OpenDownloadStateDatabase(m_settings), RequirementFailure);
        EXPECT_EQ(Dump(), before);
        EXPECT_EQ(JournalMode(), Rows{"delete"});
    }
}

TEST_F(DownloadStateDatabaseTest, AFileInThePlaceOfTheDownloadsFolderFailsTheStart) {
    std::filesystem::create_directories(m_folder / "root/vtmirror");
    WriteWholeFile(m_folder / "root/vtmirror/downloads", "not a folder");
    EXPECT_THROW(OpenDownloadStateDatabase(m_settings), FileIOError);
    EXPECT_FALSE(std::filesystem::exists(DatabasePath()));
}

TEST(ReadDownloadStateSchemaVersion, IsNoneWithoutAVersionRow) {
    SQLite::Database database = SQLite::OpenDatabase("");
    SQLite::Execute(database.Get(), "create table DBINFO (NAME VARCHAR(80), IVALUE INTEGER, PRIMARY KEY (NAME))");
    EXPECT_EQ(ReadDownloadStateSchemaVersion(database.Get()), std::nullopt);
    SQLite::Execute(database.Get(), "insert into DBINFO values ('VERSION', 3)");
    EXPECT_EQ(ReadDownloadStateSchemaVersion(database.Get()), 3);
}

}  // namespace
