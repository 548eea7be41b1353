#include "foundation/sqlite_statement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

class SqliteStatementTest : public ::testing::Test {
  protected:
    SqliteStatementTest() : m_database(SQLite::OpenDatabase("")) {
        SQLite::Execute(Connection(), "create table t (k INTEGER PRIMARY KEY, v TEXT)");
    }
    sqlite3* Connection() { return m_database.Get(); }
    void Insert(std::int64_t key, std::string_view value) {
        SQLite::Statement insert = SQLite::Prepare(Connection(), "insert into t values (?, ?)");
        SQLite::BindInt64(insert, 1, key);
        SQLite::BindText(insert, 2, value);
        insert.Step();
    }
    // The first column of the query's first row as text, and its type.
    std::pair<std::string, int> SelectOne(const char* query) {
        SQLite::Statement select = SQLite::Prepare(Connection(), query);
        EXPECT_EQ(select.Step(), SQLITE_ROW) << query;
        return {SQLite::ColumnText(select, 0), SQLite::ColumnType(select, 0)};
    }

    SQLite::Database m_database;
};

TEST_F(SqliteStatementTest, StepsKeepTheirResultAndResetRunsTheStatementAgain) {
    Insert(1, "one");
    SQLite::Statement select = SQLite::Prepare(Connection(), "select v from t where k = ?");
    SQLite::BindInt64(select, 1, 1);
    EXPECT_EQ(select.Step(), SQLITE_ROW);
    EXPECT_EQ(select.LastStepResult(), SQLITE_ROW);
    EXPECT_EQ(SQLite::ColumnText(select, 0), "one");
    EXPECT_EQ(select.Step(), SQLITE_DONE);
    EXPECT_EQ(select.LastStepResult(), SQLITE_DONE);
    select.Reset();
    EXPECT_EQ(select.Step(), SQLITE_ROW);
}

TEST_F(SqliteStatementTest, ADuplicateKeyRaisesTheExtendedConstraintCode) {
    Insert(1, "one");
    SQLite::Statement insert = SQLite::Prepare(Connection(), "insert into t values (1, 'again')");
    try {
        insert.Step();
        FAIL() << "inserted a duplicate key";
    } catch (const SQLite::Error& error) {
        EXPECT_EQ(error.Code(), SQLITE_CONSTRAINT_PRIMARYKEY);
        EXPECT_STREQ(error.what(), "UNIQUE constraint failed: t.k (SQLite error 6-19)");
    }
    EXPECT_EQ(insert.LastStepResult(), SQLITE_CONSTRAINT_PRIMARYKEY);
}

TEST_F(SqliteStatementTest, TextsThatDoNotCompileOrRunRaiseTheConnectionsMessage) {
    try {
        SQLite::Prepare(Connection(), "selec 1");
        FAIL() << "prepared";
    } catch (const SQLite::Error& error) {
        EXPECT_STREQ(error.what(), "near \"selec\": syntax error (SQLite error 0-1)");
    }
    try {
        SQLite::Execute(Connection(), "insert into t values (2, 'two'); drop table missing");
        FAIL() << "executed";
    } catch (const SQLite::Error& error) {
        EXPECT_STREQ(error.what(), "no such table: missing (SQLite error 0-1)");
    }
    EXPECT_EQ(SelectOne("select count(*) from t").first, "1");
}

TEST_F(SqliteStatementTest, TextIsBoundAndReadByItsByteCount) {
    const std::string withNul("a\0b", 3);
    Insert(1, withNul);
    Insert(2, "");
    Insert(3, std::string_view());
    EXPECT_EQ(SelectOne("select v from t where k = 1").first, withNul);
    EXPECT_EQ(SelectOne("select length(cast(v as blob)) from t where k = 1").first, "3");
    // An empty range is the empty text, never NULL, so it matches an empty text.
    EXPECT_EQ(SelectOne("select count(*) from t where v = ''").first, "2");
    EXPECT_EQ(SelectOne("select v from t where k = 3"), std::make_pair(std::string(), SQLITE_TEXT));

    SQLite::Statement select = SQLite::Prepare(Connection(), "select k from t where v = ?");
    SQLite::BindText(select, 1, withNul);
    EXPECT_EQ(select.Step(), SQLITE_ROW);
    EXPECT_EQ(SQLite::ColumnInt64(select, 0), 1);
    EXPECT_EQ(select.Step(), SQLITE_DONE);
}

TEST_F(SqliteStatementTest, AnUnboundParameterIsNull) {
    SQLite::Execute(Connection(), "insert into t values (1, NULL)");
    SQLite::Statement select = SQLite::Prepare(Connection(), "select v, ? from t");
    EXPECT_EQ(select.Step(), SQLITE_ROW);
    EXPECT_EQ(SQLite::ColumnType(select, 0), SQLITE_NULL);
    EXPECT_EQ(SQLite::ColumnType(select, 1), SQLITE_NULL);
    EXPECT_EQ(SQLite::ColumnText(select, 0), "");
}

TEST_F(SqliteStatementTest, A32BitColumnHoldsNothingAboveItsUpperHalf) {
    const struct {
        const char* value;
        std::int64_t expected;  // -1: out of range
    } cases[] = {
        {"0", 0},
        {"4294967295", 4294967295},
        {"4294967296", -1},
        {"-1", -1},
        {"-9223372036854775808", -1},
        {"9223372036854775807", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        SQLite::Statement select = SQLite::Prepare(Connection(), (std::string("select ") + c.value).c_str());
        select.Step();
        if (c.expected >= 0) {
            EXPECT_EQ(SQLite::ColumnUInt32(select, 0), static_cast<std::uint32_t>(c.expected));
            continue;
        }
        try {
            SQLite::ColumnUInt32(select, 0);
            ADD_FAILURE() << "read";
        } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "SQLite integer value out of range");
        }
    }
}

}  // namespace
