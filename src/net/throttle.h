// DataThrottle: paces the writes of one transfer. Before each write the writer asks when it may
// start (GetNextTime) and how many bytes it may carry (GetBudget); after it, it reports what the
// write took (Account), so the throttle can work out the next time and budget.
//
// Times are microseconds of the monotonic clock (GetMonotonicTime). A throttle serves one transfer
// at a time, Start to Finish, on one thread.
#pragma once

#include <cstdint>

class DataThrottle {
  public:
    virtual ~DataThrottle() = default;

    // A transfer starts now.
    virtual void Start(std::uint64_t now) {}
    // The time before which the next write must not start.
    virtual std::uint64_t GetNextTime() const = 0;
    // How many bytes the next write may carry.
    virtual std::uint32_t GetBudget() const = 0;
    // A write at `now` took `written` of the `offered` bytes.
    virtual void Account(std::uint64_t now, std::uint64_t written, std::uint64_t offered) {}
    // The transfer has ended.
    virtual void Finish() {}
};
