// The download state database at the relay's start: every start brings "DownloadState.db" to the
// current schema in WAL mode and makes interrupted downloads NEW again, for the download manager to
// take up; a file it cannot upgrade ends the start. The file is read and written with the sqlite3
// shell, as an administrator would.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "e2e/download_state_shell.h"
#include "e2e/relay_process.h"
#include "support/eventually.h"

using namespace std::chrono_literals;

TEST(RelayProcessDownloadState, EveryStartMakesInterruptedDownloadsNewAgain) {
    RelayProcess relay;
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    ASSERT_EQ(relay.Stop(), 0);
    const std::string database = DownloadStateDatabaseOf(relay);
    EXPECT_EQ(Sqlite3(database, "PRAGMA journal_mode; select IVALUE from DBINFO where NAME = 'VERSION';"), "wal\n4\n");
    EXPECT_TRUE(std::filesystem::is_directory(relay.Folder() + "/wwwroot/vtmirror/downloads"));

    Sqlite3(database,
            "insert into INDEXED_DOWNLOADS values (7, 0, 'http://parent/a', NULL, NULL, NULL, 2, 1700000000, 1, NULL, "
            "NULL); insert into URL_REQUESTS values (8, 3, 1700000000, 0, NULL, NULL);");
    // No download may start, so the download that was running stays queued once the download manager
    // has taken it up again (a retry counted); the stop then suspends it for the next start.
    relay.SetClientSetting("_KVRGather_Download_MaxDownloadJobs", "0");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
    const std::string rows = "select ActionID, Status, RetryCount from INDEXED_DOWNLOADS union all "
                             "select ActionID, Status, RetryCount from URL_REQUESTS;";
    EXPECT_TRUE(Eventually([&] { return Sqlite3(database, rows) == "7|5|2\n8|3|0\n"; }, 30s)) << Sqlite3(database, rows);
    EXPECT_EQ(relay.Stop(), 0);
    EXPECT_EQ(Sqlite3(database, rows), "7|6|2\n8|3|0\n");
}

TEST(RelayProcessDownloadState, AFileOfAnUnknownVersionEndsTheStart) {
    RelayProcess relay;
    std::filesystem::create_directories(relay.Folder() + "/storage/Mirror Server/config");
    Sqlite3(DownloadStateDatabaseOf(relay), "create table DBINFO (NAME VARCHAR(80), IVALUE INTEGER, PRIMARY KEY (NAME)); "
                               "insert into DBINFO values ('VERSION', 5);");
    relay.Start();
    EXPECT_NE(relay.AwaitExit(20s), 0);
    const std::string log = relay.Log();
    EXPECT_NE(log.find("KVR Relay ended on an error: "), std::string::npos) << log;
    EXPECT_NE(log.find("schemaVersion == 3"), std::string::npos) << log;
}
