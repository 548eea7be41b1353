#include "foundation/database_connection.h"

#include <algorithm>
#include <limits>

#include "foundation/event.h"

namespace {
constexpr std::int64_t kLongestBusyTimeout = std::numeric_limits<int>::max();
}  // namespace

int BusyTimeoutMilliseconds(std::int64_t microseconds) {
    if (microseconds == kWaitWithoutLimit) return kLongestBusyTimeout;
    // Clamped rather than cut to 32 bits: the low half of a long interval can be negative or tiny,
    // which would switch the wait off or shorten it to nothing. A negative interval waits 0.
    return static_cast<int>(std::clamp<std::int64_t>(microseconds / 1000, 0, kLongestBusyTimeout));
}

SQLite::Database OpenDatabaseWithTimeout(const Stringy& path, std::int64_t busyTimeout) {
    // Linux file names are bytes and the relay's texts are UTF-8 already: the path goes to SQLite as
    // it is.
    SQLite::Database database = SQLite::OpenDatabase(path.GetCString());
    SQLite::SetBusyTimeout(database.Get(), BusyTimeoutMilliseconds(busyTimeout));
    return database;
}
