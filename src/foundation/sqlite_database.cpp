#include "foundation/sqlite_database.h"

#include <string>

namespace SQLite {

namespace {

std::string ErrorText(int code, sqlite3* connection) {
    const char* message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
    unsigned bits = static_cast<unsigned>(code);
    return std::string(message ? message : "") + " (SQLite error " + std::to_string(bits >> 8) + "-" +
           std::to_string(bits & 0xFF) + ")";
}

void Check(int result, sqlite3* connection) {
    if (result != SQLITE_OK) throw Error(result, connection);
}

}  // namespace

Error::Error(int code, sqlite3* connection) : ExceptionPL(ErrorText(code, connection)), m_code(code) {}

void CloseDatabase(sqlite3* connection) {
    if (!connection) return;
    Check(sqlite3_close(connection), connection);
}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        Database old(Release());
        m_connection = other.Release();
    }
    return *this;
}

Database::~Database() {
    try {
        Close();
    } catch (...) {
    }
}

sqlite3* Database::Release() {
    sqlite3* connection = m_connection;
    m_connection = nullptr;
    return connection;
}

void Database::Close() {
    CloseDatabase(Release());
}

Database OpenDatabase(const char* name) {
    sqlite3* connection = nullptr;
    int result =
        sqlite3_open_v2(name ? name : "", &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Held at once, so that a failed open still closes the half-opened connection on the way out.
    Database database(connection);
    Check(result, connection);
    Check(sqlite3_extended_result_codes(connection, 1), connection);
    return database;
}

void Execute(sqlite3* connection, const char* text) {
    Check(sqlite3_exec(connection, text, nullptr, nullptr, nullptr), connection);
}

void SetBusyTimeout(sqlite3* connection, int milliseconds) {
    Check(sqlite3_busy_timeout(connection, milliseconds), connection);
}

}  // namespace SQLite
