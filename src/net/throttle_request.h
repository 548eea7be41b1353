// Where a served reply's pace comes from:
//
// - ThrottleRequest: the client's wishes, read from its request headers: a rate in bytes per second
//   ("x-kvr-download-bytespersecond"), a throttle group that shares that rate
//   ("x-kvr-download-throttlegroup"), and the dynamic-throttling record ("x-kvr-dynamic-enabled",
//   "x-kvr-dynamic-maxbytespersecond", "x-kvr-dynamic-minbytespersecond",
//   "x-kvr-dynamic-percentage"). 0 means "no wish" throughout.
// - ServerThrottleShares: the server's own limits divided evenly among its writing connections.
// - ConnectionThrottle: the two combined for one connection (the stricter of each), which
//   ConfigureThrottle hands to the connection's throttle.
//
// Plain values; the functions have no state.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/const_data.h"
#include "net/arrival_time.h"

struct DynamicThrottleRequest {
    bool enabled = false;
    std::uint64_t maximum = 0;    // bytes per second
    std::uint64_t minimum = 0;    // bytes per second
    std::uint8_t percentage = 0;  // share of the link, 1 to 100

    DynamicThrottleRequest() = default;
    // A percentage above 99 becomes 100.
    DynamicThrottleRequest(bool enabled, std::uint64_t maximum, std::uint64_t minimum,
                           std::uint64_t percentage);
};

struct ThrottleRequest {
    std::uint64_t rate = 0;  // bytes per second
    std::string group;
    DynamicThrottleRequest dynamic;

    ThrottleRequest() = default;
    ThrottleRequest(std::uint64_t rate, ConstData group, const DynamicThrottleRequest& dynamic)
        : rate(rate), group(group.View()), dynamic(dynamic) {}
};

// The number of writing connections per throttle group.
using ThrottleGroupCounts = std::map<std::string, std::uint32_t, std::less<>>;

struct ServerThrottleShares {
    std::uint64_t rate = 0;     // bytes per second; 0: none
    std::uint64_t maximum = 0;  // of dynamic throttling, bytes per second
    std::uint64_t minimum = 0;  // of dynamic throttling, bytes per second
    double fraction = 0;        // of the link, for dynamic throttling; 0: none
};

// Each limit in KiB per second (0: none) becomes a share of limit x 1024 / connections bytes per
// second, at least 1; the link fraction is divided by the connections too. With no writing
// connection the whole limits are the shares.
ServerThrottleShares ShareServerThrottle(std::uint32_t rateKBPS, std::uint32_t maximumKBPS,
                                         std::uint32_t minimumKBPS, double fraction,
                                         std::size_t writingConnections);

struct ConnectionThrottle {
    std::uint64_t rate = 0;  // bytes per second; 0: none
    std::uint64_t maximum = 0;
    std::uint64_t minimum = 0;
    double fraction = 0;
};

// The request's rate (divided among the writing connections of its group) where it is stricter than
// the server's share, and so for the dynamic maximum, minimum and percentage.
ConnectionThrottle CombineThrottle(const ThrottleRequest& request, const ServerThrottleShares& shares,
                                   const ThrottleGroupCounts& groups);

// Sets the throttle of `maker` up for the connection: the rate as its maximum rate, or with dynamic
// throttling the maximum, the minimum and the link fraction (1 unless it lies in (0, 1]).
void ConfigureThrottle(ArrivalTimeMaker& maker, const ConnectionThrottle& throttle, bool dynamic);
