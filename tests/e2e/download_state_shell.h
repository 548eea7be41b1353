// The relay's download state database as an administrator reaches it: the file in the relay's
// storage folder, read and written with the sqlite3 shell while the relay runs or after it stopped.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "e2e/relay_process.h"
#include "support/program_runner.h"

inline std::string DownloadStateDatabaseOf(const RelayProcess& relay) {
    return relay.Folder() + "/storage/Mirror Server/config/DownloadState.db";
}

// The shell's output for the statements (rows one a line, columns joined by "|").
inline std::string Sqlite3(const std::string& database, const std::string& statements) {
    const ProgramRun run = RunProgram("sqlite3", {"-cmd", ".timeout 10000", database, statements});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return run.out;
}
