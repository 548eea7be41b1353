#include "foundation/worker_failure_log.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/captured_log.h"

namespace {

struct Failure {
    std::int64_t atSeconds;
    const char* kind;  // "runtime", "logic" or "other" (not a std::exception)
    const char* text;
    bool logged;
};

void Throw(const Failure& failure) {
    const std::string kind = failure.kind;
    if (kind == "runtime") throw std::runtime_error(failure.text);
    if (kind == "logic") throw std::logic_error(failure.text);
    throw 7;
}

}  // namespace

// A worker failing again and again: each kind is logged when it first comes and then at most once a
// minute, with the text of the failure that was logged.
TEST(WorkerFailureLogTest, EachKindIsLoggedAtMostOncePerInterval) {
    CapturedLog log;
    std::int64_t now = 0;
    WorkerFailureLog failures("Worker step failed: ", WorkerFailureLog::kDefaultIntervalMicroseconds,
                              [&] { return now; });
    const Failure sequence[] = {
        {0, "runtime", "no socket", true},
        {10, "runtime", "no socket", false},
        {10, "logic", "bad state", true},
        {59, "runtime", "no route", false},
        {60, "runtime", "no route", true},
        {61, "other", "", true},
        {62, "other", "", false},
        {70, "logic", "bad state", true},
    };
    for (const Failure& failure : sequence) {
        now = failure.atSeconds * 1'000'000;
        try {
            Throw(failure);
        } catch (...) {
            EXPECT_EQ(failures.LogCurrentException(), failure.logged) << failure.atSeconds << " " << failure.kind;
        }
    }
    EXPECT_EQ(log.LinesStartingWith("critical: Worker step failed: "),
              (std::vector<std::string>{"critical: Worker step failed: no socket",
                                        "critical: Worker step failed: bad state",
                                        "critical: Worker step failed: no route",
                                        "critical: Worker step failed: No diagnostic message available",
                                        "critical: Worker step failed: bad state"}));
}
