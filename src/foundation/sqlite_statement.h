// SQLite::Statement and the calls that prepare, bind, step and read one: the statement half of the
// relay's layer over SQLite (sqlite_database.h holds the connection half).
//
// Every query follows one pattern: Prepare the text, bind each "?" in order (positions count from 1),
// Step until SQLITE_DONE, reading columns (counted from 0) while it gives SQLITE_ROW, then Reset to
// run it again, or let the Statement finalize it. A parameter left unbound is NULL.
//
// Every call that fails raises SQLite::Error with the result code and the message of the statement's
// connection. The column reads are not checked: a column of another type is converted as SQLite
// converts it (NULL reads as 0 or the empty text), so callers that must tell NULL apart ask
// ColumnType first.
//
// A Statement belongs to its connection: it is used by the thread that uses the connection, and it
// must be destroyed before the connection closes (a close with a statement left fails).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/sqlite_database.h"

namespace SQLite {

// Owns one prepared statement, or none, and the result of its last step. Moved, never copied.
class Statement {
  public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* statement) : m_statement(statement) {}
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    // Finalizes the statement; its result is ignored (it repeats the last step's error, if any).
    ~Statement();

    sqlite3_stmt* Get() const { return m_statement; }

    // Runs the statement to its next row: SQLITE_ROW (100) or SQLITE_DONE (101), kept as
    // LastStepResult. Any other result (SQLITE_BUSY after the busy time-out, SQLITE_CONSTRAINT on a
    // duplicate key, ...) raises Error.
    int Step();
    int LastStepResult() const { return m_lastStepResult; }
    // Rewinds the statement to run it again; the bound values stay. Raises Error.
    void Reset();

  private:
    sqlite3_stmt* m_statement = nullptr;
    int m_lastStepResult = SQLITE_OK;
};

// Compiles the first statement of the NUL-terminated text. Raises Error.
Statement Prepare(sqlite3* connection, const char* text);

// A 32-bit value is bound as a 64-bit one with a zero upper half, so it is never read back negative.
void BindInt64(Statement& statement, int position, std::int64_t value);
// Binds a copy of the bytes as text; their count is given, so a NUL byte inside is kept, and an empty
// range binds the empty text, never NULL.
void BindText(Statement& statement, int position, std::string_view bytes);

std::int64_t ColumnInt64(const Statement& statement, int column);
// The column's bytes by their count, a NUL byte inside included; NULL reads as the empty text.
std::string ColumnText(const Statement& statement, int column);
// SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
int ColumnType(const Statement& statement, int column);

// An integer column that holds an unsigned 32-bit value. Throws std::out_of_range ("SQLite integer
// value out of range") when any of the upper 32 bits of the 64-bit value is set, negative values
// included.
std::uint32_t ColumnUInt32(const Statement& statement, int column);

}  // namespace SQLite
