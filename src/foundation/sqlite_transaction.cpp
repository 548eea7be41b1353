#include "foundation/sqlite_transaction.h"

#include "base/exceptions.h"
#include "foundation/sqlite_database.h"

namespace SQLite {

namespace {

// Nested scopes share one name: "ROLLBACK TO" and "RELEASE" act on the latest savepoint of the name,
// which is always the innermost scope still open.
constexpr const char* kSavepoint = "SAVEPOINT kvr_write_scope";
constexpr const char* kReleaseSavepoint = "RELEASE kvr_write_scope";
constexpr const char* kRollbackToSavepoint = "ROLLBACK TO kvr_write_scope";

bool InTransaction(sqlite3* connection) {
    return sqlite3_get_autocommit(connection) == 0;
}

}  // namespace

WriteTransaction::WriteTransaction(sqlite3* connection)
    : m_connection(connection), m_nested(InTransaction(connection)) {
    if (!m_nested) {
        Execute(m_connection, "BEGIN IMMEDIATE");
        return;
    }
    const int transactionState = sqlite3_txn_state(m_connection, nullptr);
    KVR_REQUIRE(transactionState == SQLITE_TXN_WRITE);
    Execute(m_connection, kSavepoint);
}

WriteTransaction::~WriteTransaction() {
    // SQLite rolls a whole transaction back by itself after some errors (a full disk, an I/O error);
    // there is nothing left to undo then.
    if (!m_open || !InTransaction(m_connection)) return;
    try {
        if (m_nested) {
            Execute(m_connection, kRollbackToSavepoint);
            Execute(m_connection, kReleaseSavepoint);
        } else {
            Execute(m_connection, "ROLLBACK");
        }
    } catch (const Error&) {
    }
}

void WriteTransaction::Commit() {
    Execute(m_connection, m_nested ? kReleaseSavepoint : "COMMIT");
    m_open = false;
}

}  // namespace SQLite
