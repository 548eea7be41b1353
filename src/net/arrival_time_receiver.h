// ArrivalTimeReceiver: takes the arrival reports of a transfer's back channel. Each report says that
// `bytes` more bytes, the stream's bytes from `offset` on, had arrived at the client by `arrivalTime`
// (microseconds of the client's clock, whose origin is unknown to the sender).
#pragma once

#include <cstdint>

class ArrivalTimeReceiver {
  public:
    virtual ~ArrivalTimeReceiver() = default;

    // A new stream of reports begins.
    virtual void StartArrivals() {}
    virtual void ReceiveArrival(std::uint64_t offset, std::uint64_t bytes, std::uint64_t arrivalTime) = 0;
    // The stream of reports has ended.
    virtual void FinishArrivals() {}
};
