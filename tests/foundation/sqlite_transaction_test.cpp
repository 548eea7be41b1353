#include "foundation/sqlite_transaction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>

#include "foundation/database_connection.h"
#include "foundation/event.h"
#include "foundation/sqlite_statement.h"
#include "support/temporary_folder.h"

namespace {

class SqliteTransactionTest : public ::testing::Test {
  protected:
    SqliteTransactionTest() : m_database(OpenDatabaseWithTimeout(Stringy(Path().c_str()), kWaitWithoutLimit)) {
        SQLite::Execute(Connection(), "PRAGMA journal_mode=WAL; create table t (k INTEGER PRIMARY KEY)");
    }
    std::string Path() const { return m_folder / "t.db"; }
    sqlite3* Connection() { return m_database.Get(); }
    void Insert(int key) { SQLite::Execute(Connection(), ("insert into t values (" + std::to_string(key) + ")").c_str()); }
    std::string Keys() {
        SQLite::Statement select = SQLite::Prepare(Connection(), "select group_concat(k) from t");
        select.Step();
        return SQLite::ColumnText(select, 0);
    }

    TemporaryFolder m_folder;
    SQLite::Database m_database;
};

TEST_F(SqliteTransactionTest, ChangesStayOnlyWhenCommitted) {
    {
        SQLite::WriteTransaction transaction(Connection());
        Insert(1);
        transaction.Commit();
    }
    try {
        SQLite::WriteTransaction transaction(Connection());
        Insert(2);
        throw std::runtime_error("left early");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Keys(), "1");
    EXPECT_NE(sqlite3_get_autocommit(Connection()), 0);
}

TEST_F(SqliteTransactionTest, AnInnerScopeIsASavepointOfTheOuter) {
    {
        SQLite::WriteTransaction outer(Connection());
        Insert(1);
        {
            SQLite::WriteTransaction undone(Connection());
            Insert(2);
        }
        {
            SQLite::WriteTransaction kept(Connection());
            Insert(3);
            kept.Commit();
        }
        EXPECT_EQ(Keys(), "1,3");
        outer.Commit();
    }
    EXPECT_EQ(Keys(), "1,3");
    {
        SQLite::WriteTransaction outer(Connection());
        SQLite::WriteTransaction inner(Connection());
        Insert(4);
        inner.Commit();
    }
    EXPECT_EQ(Keys(), "1,3");
}

TEST_F(SqliteTransactionTest, ADeferredTransactionWithoutTheWriteLockCannotHoldOne) {
    SQLite::Execute(Connection(), "BEGIN");
    EXPECT_THROW(SQLite::WriteTransaction{Connection()}, RequirementFailure);
    Insert(1);
    {
        SQLite::WriteTransaction nested(Connection());
        Insert(2);
        nested.Commit();
    }
    SQLite::Execute(Connection(), "COMMIT");
    EXPECT_EQ(Keys(), "1,2");
}

// Test labels: SqliteTransactionTest.ASecondWriterWaitsForTheFirstToCommit tsan
TEST_F(SqliteTransactionTest, ASecondWriterWaitsForTheFirstToCommit) {
    SQLite::WriteTransaction first(Connection());
    Insert(1);
    auto second = std::async(std::launch::async, [&] {
        SQLite::Database other = OpenDatabaseWithTimeout(Stringy(Path().c_str()), kWaitWithoutLimit);
        SQLite::WriteTransaction transaction(other.Get());
        SQLite::Statement select = SQLite::Prepare(other.Get(), "select count(*) from t");
        select.Step();
        const std::int64_t seen = SQLite::ColumnInt64(select, 0);
        SQLite::Execute(other.Get(), "insert into t values (2)");
        transaction.Commit();
        return seen;
    });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    first.Commit();
    EXPECT_EQ(second.get(), 1);
    EXPECT_EQ(Keys(), "1,2");
}

}  // namespace
