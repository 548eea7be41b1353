// WorkerFailureLog: how a background worker reports the failed steps it pauses over and retries.
// A failure is logged at "critical" as the worker's prefix followed by the exception's text, each
// kind of failure (the exception's class) at most once per interval, a minute unless told: a worker
// that keeps failing leaves one line a minute instead of one per retry, and a new kind of failure
// still shows at once.
//
// One worker thread uses an object; it is not locked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <typeindex>

#include "foundation/clocks.h"

class WorkerFailureLog {
  public:
    static constexpr std::int64_t kDefaultIntervalMicroseconds = 60'000'000;
    // Microseconds of a clock that never goes back.
    using Clock = std::function<std::int64_t()>;

    explicit WorkerFailureLog(std::string prefix, std::int64_t intervalMicroseconds = kDefaultIntervalMicroseconds,
                              Clock clock = GetMonotonicTime);

    // Logs the exception being handled: call it inside a catch block only. An exception that is not
    // a std::exception is one kind, "No diagnostic message available". Answers whether it logged.
    bool LogCurrentException();

  private:
    bool Log(std::type_index kind, std::string_view text);

    std::string m_prefix;
    std::int64_t m_interval;
    Clock m_clock;
    std::map<std::type_index, std::int64_t> m_lastLogged;  // kind -> clock time of its last line
};
