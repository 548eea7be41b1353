#include "net/throttle_request.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t kLargestPercentage = 100;

std::uint64_t Share(std::uint32_t kbps, std::size_t connections) {
    if (kbps == 0) return 0;
    return std::max<std::uint64_t>(1, std::uint64_t{kbps} * 1024 / std::max<std::size_t>(connections, 1));
}

// A wish of the request wins where the server sets no limit or a looser one.
std::uint64_t Stricter(std::uint64_t server, std::uint64_t requested) {
    if (requested != 0 && (server == 0 || requested < server)) return requested;
    return server;
}

// Bytes per second to bytes per microsecond; 0, no limit, is the largest rate there is.
double PerMicrosecond(std::uint64_t bytesPerSecond) {
    if (bytesPerSecond == 0) bytesPerSecond = std::numeric_limits<std::uint64_t>::max();
    return static_cast<double>(bytesPerSecond) / 1'000'000;
}

}  // namespace

DynamicThrottleRequest::DynamicThrottleRequest(bool enabled, std::uint64_t maximum, std::uint64_t minimum,
                                               std::uint64_t percentage)
    : enabled(enabled),
      maximum(maximum),
      minimum(minimum),
      percentage(static_cast<std::uint8_t>(percentage > 99 ? kLargestPercentage : percentage)) {}

ServerThrottleShares ShareServerThrottle(std::uint32_t rateKBPS, std::uint32_t maximumKBPS,
                                         std::uint32_t minimumKBPS, double fraction,
                                         std::size_t writingConnections) {
    std::size_t connections = std::max<std::size_t>(writingConnections, 1);
    return {Share(rateKBPS, connections), Share(maximumKBPS, connections), Share(minimumKBPS, connections),
            fraction / static_cast<double>(connections)};
}

ConnectionThrottle CombineThrottle(const ThrottleRequest& request, const ServerThrottleShares& shares,
                                   const ThrottleGroupCounts& groups) {
    std::uint64_t requestedRate = request.rate;
    if (!request.group.empty()) {
        auto group = groups.find(request.group);
        if (group != groups.end() && group->second != 0) requestedRate /= group->second;
    }
    ConnectionThrottle combined;
    combined.rate = Stricter(shares.rate, requestedRate);
    combined.maximum = Stricter(shares.maximum, request.dynamic.maximum);
    combined.minimum = Stricter(shares.minimum, request.dynamic.minimum);
    combined.fraction = shares.fraction;
    double requestedFraction = request.dynamic.percentage / 100.0;
    if (request.dynamic.percentage != 0 && (shares.fraction == 0 || shares.fraction > requestedFraction)) {
        combined.fraction = requestedFraction;
    }
    return combined;
}

void ConfigureThrottle(ArrivalTimeMaker& maker, const ConnectionThrottle& throttle, bool dynamic) {
    DynamicThrottlePolicy& policy = maker.GetPolicy();
    if (!dynamic) {
        policy.SetMaximumRate(PerMicrosecond(throttle.rate));
        return;
    }
    policy.SetMaximumRate(PerMicrosecond(throttle.maximum));
    maker.GetThrottle().SetMinimumRate(static_cast<double>(throttle.minimum) / 1'000'000);
    policy.SetRateFactor(throttle.fraction > 0 && throttle.fraction <= 1 ? throttle.fraction : 1.0);
}
