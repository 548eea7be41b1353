// OpenDatabaseWithTimeout: the one way the relay opens its SQLite databases (the download state and
// the download plug-in registry).
#pragma once

#include <cstdint>

#include "base/stringy.h"
#include "foundation/sqlite_database.h"

// The connection's busy time-out in milliseconds for an interval in microseconds: kWaitWithoutLimit
// (event.h) waits 2,147,483,647 ms; otherwise the interval / 1000 truncated toward zero, kept within
// 0 ..2,147,483,647, where 0 fails a locked database at once.
int BusyTimeoutMilliseconds(std::int64_t microseconds);

// Opens the database file at `path` (a null path is the empty name, a private temporary database),
// read and write, created when missing, with extended result codes, and sets its busy time-out from
// the interval. Raises SQLite::Error; no connection is left open then.
SQLite::Database OpenDatabaseWithTimeout(const Stringy& path, std::int64_t busyTimeout);
