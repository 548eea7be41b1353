#include "foundation/sqlite_statement.h"

#include <stdexcept>
#include <utility>

namespace SQLite {

namespace {

sqlite3* ConnectionOf(const Statement& statement) {
    return sqlite3_db_handle(statement.Get());
}

void Check(int result, const Statement& statement) {
    if (result != SQLITE_OK) throw Error(result, ConnectionOf(statement));
}

}  // namespace

Statement::Statement(Statement&& other) noexcept
    : m_statement(std::exchange(other.m_statement, nullptr)), m_lastStepResult(other.m_lastStepResult) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Statement old(std::move(*this));
        m_statement = std::exchange(other.m_statement, nullptr);
        m_lastStepResult = other.m_lastStepResult;
    }
    return *this;
}

Statement::~Statement() {
    if (m_statement) sqlite3_finalize(m_statement);
}

int Statement::Step() {
    const int result = sqlite3_step(m_statement);
    m_lastStepResult = result;
    if (result != SQLITE_ROW && result != SQLITE_DONE) throw Error(result, ConnectionOf(*this));
    return result;
}

void Statement::Reset() {
    Check(sqlite3_reset(m_statement), *this);
}

Statement Prepare(sqlite3* connection, const char* text) {
    sqlite3_stmt* prepared = nullptr;
    const int result = sqlite3_prepare_v2(connection, text, -1, &prepared, nullptr);
    Statement statement(prepared);
    if (result != SQLITE_OK) throw Error(result, connection);
    return statement;
}

void BindInt64(Statement& statement, int position, std::int64_t value) {
    Check(sqlite3_bind_int64(statement.Get(), position, value), statement);
}

void BindText(Statement& statement, int position, std::string_view bytes) {
    // SQLite binds NULL for a null pointer, and an empty view may have one.
    const char* text = bytes.data() ? bytes.data() : "";
    Check(sqlite3_bind_text64(statement.Get(), position, text, bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
          statement);
}

std::int64_t ColumnInt64(const Statement& statement, int column) {
    return sqlite3_column_int64(statement.Get(), column);
}

std::string ColumnText(const Statement& statement, int column) {
    // The text first, then its byte count: this order converts a non-text value once and counts the
    // converted bytes.
    const unsigned char* text = sqlite3_column_text(statement.Get(), column);
    const int length = sqlite3_column_bytes(statement.Get(), column);
    if (!text) return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

int ColumnType(const Statement& statement, int column) {
    return sqlite3_column_type(statement.Get(), column);
}

std::uint32_t ColumnUInt32(const Statement& statement, int column) {
    const std::uint64_t value = static_cast<std::uint64_t>(ColumnInt64(statement, column));
    if ((value >> 32) != 0) throw std::out_of_range("SQLite integer value out of range");
    return static_cast<std::uint32_t>(value);
}

}  // namespace SQLite
