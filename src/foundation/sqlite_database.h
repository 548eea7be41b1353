// The relay's own thin layer over SQLite connections: an owning connection holder, the calls that
// open, configure and close a connection and run a statement text, and SQLite::Error, the one
// exception of every SQLite failure. Prepared statements are in sqlite_statement.h, transactions in
// sqlite_transaction.h.
//
// SQLite::Error's text is SQLite's message for the connection, then " (SQLite error <extended>-<primary>)",
// the result code's bits above the low 8 and its low 8 bits in decimal: a busy database gives
// "database is locked (SQLite error 0-5)", SQLITE_IOERR_READ (266) "... (SQLite error 1-10)".
//
// A Database is used by one thread at a time; different connections may be used on different threads
// (SQLite is built thread-safe on Debian).
#pragma once

#include <sqlite3.h>

#include "base/exceptions.h"

namespace SQLite {

class Error : public ExceptionPL {
  public:
    // The code, and the connection's current message (SQLite's text for the code when there is no
    // connection).
    Error(int code, sqlite3* connection);

    int Code() const { return m_code; }

  private:
    int m_code;
};

// Closes the connection; nothing for null. A failed close (statements still open) raises Error.
void CloseDatabase(sqlite3* connection);

// Owns one open connection, or none; closes it through CloseDatabase when it goes (a failure of that
// close is swallowed; call Close to see it). Moved, never copied.
class Database {
  public:
    Database() = default;
    explicit Database(sqlite3* connection) : m_connection(connection) {}
    Database(Database&& other) noexcept : m_connection(other.Release()) {}
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    sqlite3* Get() const { return m_connection; }
    bool IsOpen() const { return m_connection != nullptr; }
    sqlite3* Release();
    // Closes now; raises Error when the close fails (the holder is empty afterwards either way).
    void Close();

  private:
    sqlite3* m_connection = nullptr;
};

// Opens (creating when missing) the database file named by the UTF-8 text, read and write, with
// extended result codes on. The empty name opens a private temporary database. Raises Error with
// SQLite's code and message; a half-opened connection is closed first.
Database OpenDatabase(const char* name);

// Runs the statement text (several statements may be joined by ";"), ignoring any rows: for schema
// changes, pragmas and bulk deletes. Raises Error with the connection's message; statements before
// the failing one stay done.
void Execute(sqlite3* connection, const char* text);

// How long a statement of the connection waits for a lock held by another connection before it
// fails with SQLITE_BUSY; 0 or less fails at once. Raises Error.
void SetBusyTimeout(sqlite3* connection, int milliseconds);

}  // namespace SQLite
