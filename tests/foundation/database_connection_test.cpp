#include "foundation/database_connection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <thread>

#include "foundation/event.h"
#include "support/temporary_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

void Execute(sqlite3* connection, const char* statement) {
    int result = sqlite3_exec(connection, statement, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) throw SQLite::Error(result, connection);
}

bool FileExists(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST(BusyTimeoutMilliseconds, MicrosecondsBecomeMillisecondsWithinTheSignedRange) {
    constexpr std::int64_t kLowHalfIs500 = ((std::int64_t{1} << 32) + 500) * 1000;
    constexpr std::int64_t kLowHalfIsNegative = (std::int64_t{1} << 31) * 1000;
    const struct {
        std::int64_t microseconds;
        int milliseconds;
    } cases[] = {
        {kWaitWithoutLimit, 2'147'483'647},
        {2'500'000, 2'500},
        {999, 0},
        {0, 0},
        {-5'000, 0},
        {INT64_MIN, 0},
        {kLowHalfIs500, 2'147'483'647},
        {kLowHalfIsNegative, 2'147'483'647},
        {2'147'483'647'000, 2'147'483'647},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BusyTimeoutMilliseconds(c.microseconds), c.milliseconds) << c.microseconds;
}

TEST(OpenDatabaseWithTimeout, CreatesTheFileUnderItsOwnName) {
    TemporaryFolder folder;
    const std::string path = folder / "d\xC3\xA4t\xC3\xA4.db";
    SQLite::Database database = OpenDatabaseWithTimeout(Stringy(path.c_str()), kWaitWithoutLimit);
    Execute(database.Get(), "CREATE TABLE t(x)");
    database.Close();
    EXPECT_TRUE(FileExists(path));
}

TEST(OpenDatabaseWithTimeout, ANullPathOpensAPrivateTemporaryDatabase) {
    SQLite::Database database = OpenDatabaseWithTimeout(Stringy(), 0);
    EXPECT_NO_THROW(Execute(database.Get(), "CREATE TABLE t(x); INSERT INTO t VALUES(1)"));
}

TEST(OpenDatabaseWithTimeout, AFailedOpenRaisesTheErrorAndKeepsNoConnection) {
    TemporaryFolder folder;
    try {
        OpenDatabaseWithTimeout(Stringy((folder / "missing/d.db").c_str()), 0);
        FAIL() << "opened a database in a missing folder";
    } catch (const SQLite::Error& error) {
        EXPECT_EQ(error.Code(), SQLITE_CANTOPEN);
        EXPECT_STREQ(error.what(), "unable to open database file (SQLite error 0-14)");
    }
}

// Two connections to one file: the first holds an exclusive lock, the second waits for it.
class LockedDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        m_holder = OpenDatabaseWithTimeout(Stringy(Path().c_str()), 0);
        Execute(m_holder.Get(), "CREATE TABLE t(x); BEGIN EXCLUSIVE; INSERT INTO t VALUES(1)");
    }
    std::string Path() const { return m_folder / "locked.db"; }
    void Release() { Execute(m_holder.Get(), "COMMIT"); }

    // Tries to write through a second connection with the given busy time-out; the time it took.
    long WriteThroughSecondConnection(std::int64_t busyTimeout) {
        SQLite::Database waiter = OpenDatabaseWithTimeout(Stringy(Path().c_str()), busyTimeout);
        Clock::time_point start = Clock::now();
        Execute(waiter.Get(), "INSERT INTO t VALUES(2)");
        return MillisecondsSince(start);
    }

    TemporaryFolder m_folder;
    SQLite::Database m_holder;
};

// Test labels: LockedDatabase tsan
TEST_F(LockedDatabase, FailsWithBusyAfterTheConfiguredWait) {
    Clock::time_point start = Clock::now();
    try {
        WriteThroughSecondConnection(300'000);
        FAIL() << "wrote through an exclusive lock";
    } catch (const SQLite::Error& error) {
        EXPECT_EQ(error.Code(), SQLITE_BUSY);
        EXPECT_STREQ(error.what(), "database is locked (SQLite error 0-5)");
    }
    long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 300);
    EXPECT_LT(waited, 5'000);
}

TEST_F(LockedDatabase, AWaitBelowOneMillisecondFailsAtOnce) {
    Clock::time_point start = Clock::now();
    EXPECT_THROW(WriteThroughSecondConnection(999), SQLite::Error);
    EXPECT_LT(MillisecondsSince(start), 250);
}

TEST_F(LockedDatabase, AnIntervalBeyondTheMillisecondRangeWaitsForTheLock) {
    // Cut to its low 32 bits this interval would wait 200 ms and fail; clamped, it waits as long as
    // the lock is held.
    constexpr std::int64_t kLowHalfIs200 = ((std::int64_t{1} << 32) + 200) * 1000;
    auto writer = std::async(std::launch::async, [&] { return WriteThroughSecondConnection(kLowHalfIs200); });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(1'000)), std::future_status::timeout);
    Release();
    EXPECT_GE(writer.get(), 1'000);
}

}  // namespace
