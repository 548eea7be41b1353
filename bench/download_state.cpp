// download-state [ROWS] [FOLDER]: times the download state store over ROWS (default 100,000) indexed
// downloads of 1,000 actions, in a "DownloadState.db" made by the relay's start-up step in a new
// folder under FOLDER (default the system's temporary folder; give one on the disk the relay would
// use, since every commit waits for the disk), removed afterwards. Half the rows are NEW, half FAILED
// with their last change spread over the past hour, so GetDue returns the NEW ones and the five sixths
// of the FAILED ones that failed ten minutes ago or earlier.
//
// Printed, in milliseconds:
//   GetDue             the median of 5 calls
//   per-step commits   one pass of SetQueued over every row, each its own IMMEDIATE transaction, as
//                      the store runs a state change
//   one transaction    the same pass inside one transaction of the caller (each step a savepoint)
//   no transaction     the same pass as the store's read and write without a transaction, the way a
//                      state change was made before it became one transaction (for comparison only)
// Each pass starts from the same rows.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/clocks.h"
#include "foundation/sqlite_statement.h"
#include "relay/download/download_state.h"
#include "relay/service/gather_options_manager.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kActions = 1'000;
constexpr std::int64_t kHour = 3'600'000'000;

double MillisecondsOf(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

DownloadRequestTarget Target(std::uint32_t row) {
    return DownloadRequestTarget::Indexed(row % kActions, row / kActions, "http://parent/downloads/" + std::to_string(row));
}

// A registry of its own naming folders inside `folder`, so that GatherOptionsManager finds the
// database there.
void UseSettingsIn(const std::filesystem::path& folder) {
    const std::filesystem::path registry = folder / "registry";
    std::filesystem::create_directories(registry);
    std::ofstream hive(registry / "HKLM.reg");
    hive << "REGEDIT4\n\n[HKLM\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n\"StoragePath\"=\""
         << (folder / "storage").string()
         << "\"\n\n[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_KVRRelay_HTTPServer_ServerRootPath]\n"
            "\"value\"=\""
         << (folder / "root").string() << "\"\n";
    ::setenv("VELTRA_REGISTRY_DIR", registry.c_str(), 1);
}

void Fill(DownloadState& state, std::uint32_t rows) {
    state.DeleteAll();
    const TimeValue now = GetCurrentUTCTime();
    SQLite::WriteTransaction transaction = state.BeginWriteTransaction();
    for (std::uint32_t row = 0; row < rows; ++row) {
        DownloadStateRecord record;
        record.status = row % 2 == 0 ? DownloadStateStatus::New : DownloadStateStatus::Failed;
        record.lastUpdate = now - static_cast<std::int64_t>(row % 3'600) * 1'000'000;
        state.SetState(Target(row), record);
    }
    transaction.Commit();
}

double MedianGetDue(DownloadState& state, std::size_t& due) {
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        const Clock::time_point start = Clock::now();
        due = state.GetDue().size();
        times.push_back(MillisecondsOf(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double PassWithCommitPerStep(DownloadState& state, std::uint32_t rows) {
    const Clock::time_point start = Clock::now();
    for (std::uint32_t row = 0; row < rows; ++row) state.SetQueued(Target(row));
    return MillisecondsOf(start);
}

double PassInOneTransaction(DownloadState& state, std::uint32_t rows) {
    const Clock::time_point start = Clock::now();
    SQLite::WriteTransaction transaction = state.BeginWriteTransaction();
    for (std::uint32_t row = 0; row < rows; ++row) state.SetQueued(Target(row));
    transaction.Commit();
    return MillisecondsOf(start);
}

// The store's select and update of an indexed download, run one after the other in autocommit mode.
double PassWithoutTransaction(DownloadState& state, std::uint32_t rows) {
    const Clock::time_point start = Clock::now();
    for (std::uint32_t row = 0; row < rows; ++row) {
        const DownloadRequestTarget target = Target(row);
        SQLite::Statement select = SQLite::Prepare(
            state.Connection(),
            "select Status, LastUpdate, ErrorCode, ErrorString, RetryCount from INDEXED_DOWNLOADS where ActionID = ? "
            "and DownloadIndex = ?");
        SQLite::BindInt64(select, 1, *target.GetActionID());
        SQLite::BindInt64(select, 2, *target.GetIndex());
        if (select.Step() != SQLITE_ROW ||
            !IsAllowedDownloadStateChange(static_cast<DownloadStateStatus>(SQLite::ColumnUInt32(select, 0)),
                                          DownloadStateStatus::Queued))
            std::exit(2);
        SQLite::Statement update = SQLite::Prepare(
            state.Connection(),
            "update INDEXED_DOWNLOADS set Status = ?, LastUpdate = ?, ErrorCode = ?, ErrorString = ? where "
            "ActionID = ? and DownloadIndex = ?");
        SQLite::BindInt64(update, 1, static_cast<std::int64_t>(DownloadStateStatus::Queued));
        SQLite::BindInt64(update, 2, GetCurrentUTCTime() / 1'000'000);
        SQLite::BindInt64(update, 5, *target.GetActionID());
        SQLite::BindInt64(update, 6, *target.GetIndex());
        update.Step();
    }
    return MillisecondsOf(start);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t rows = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 100'000;
    const std::filesystem::path base = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    std::string pattern = (base / "download-state-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 2;
    const std::filesystem::path folder = pattern;
    UseSettingsIn(folder);

    int status = 0;
    try {
        GatherOptionsManager settings;
        OpenDownloadStateDatabase(settings);
        DownloadState state(settings);

        Fill(state, rows);
        std::size_t due = 0;
        const double getDue = MedianGetDue(state, due);
        std::printf("rows %u in %s\n", rows, settings.GetDownloadStateDatabaseFile().CString());
        std::printf("GetDue            %10.1f ms (%zu due)\n", getDue, due);
        std::printf("per-step commits  %10.1f ms\n", PassWithCommitPerStep(state, rows));
        Fill(state, rows);
        std::printf("one transaction   %10.1f ms\n", PassInOneTransaction(state, rows));
        Fill(state, rows);
        std::printf("no transaction    %10.1f ms\n", PassWithoutTransaction(state, rows));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download-state: %s\n", error.what());
        status = 1;
    }
    std::filesystem::remove_all(folder);
    return status;
}
