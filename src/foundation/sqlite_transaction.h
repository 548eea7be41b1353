// SQLite::WriteTransaction: a scope whose changes to one connection's database are made as one, with
// the database's write lock held from the scope's start.
//
// On a connection outside any transaction the scope runs "BEGIN IMMEDIATE": the write lock is taken
// at once, waiting the connection's busy time-out for another writer like any write does. Everything
// read inside the scope therefore stays true until Commit: no other connection can write between a
// check and the change that relies on it. (A deferred "BEGIN" would take the lock only at the first
// write, and a connection that has read in WAL mode and then finds another writer's commit fails with
// SQLITE_BUSY at once, whatever its time-out.)
//
// Inside a transaction the scope is a savepoint, so stores can nest their own scopes in a caller's.
// The enclosing transaction must hold the write lock already (begun IMMEDIATE, or having written):
// otherwise RequirementFailure, for the reason above.
//
// Commit makes the changes ("COMMIT", or "RELEASE" of the savepoint, which leaves them to the
// enclosing transaction). A scope left without Commit, by an exception or a return, undoes them
// ("ROLLBACK", or "ROLLBACK TO" and "RELEASE" of the savepoint); a failure of that undo is swallowed,
// as SQLite has then ended the transaction itself. A crash inside the scope leaves the database as it
// was before the scope.
//
// The scope belongs to the thread that uses its connection and must end before the connection closes.
#pragma once

#include <sqlite3.h>

namespace SQLite {

class WriteTransaction {
  public:
    // Begins; raises Error (SQLITE_BUSY only after the busy time-out).
    explicit WriteTransaction(sqlite3* connection);
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    // Undoes the changes unless Commit succeeded.
    ~WriteTransaction();

    // Raises Error; the scope then stays open and its destructor undoes the changes.
    void Commit();

  private:
    sqlite3* m_connection;
    bool m_nested;
    bool m_open = true;
};

}  // namespace SQLite
