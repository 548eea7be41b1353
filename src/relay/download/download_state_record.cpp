#include "relay/download/download_state_record.h"

#include <string>

namespace {

constexpr bool Y = true;
constexpr bool N = false;

// Rows: the state now; columns: the new state. Both in the order of the numbers: NEW,
// REQUEST_SUBMITTED, DOWNLOADING, COMPLETED, FAILED, QUEUED, SUSPENDED.
constexpr bool kAllowedChanges[kDownloadStateStatusCount][kDownloadStateStatusCount] = {
    /* NEW               */ {N, Y, N, N, Y, Y, N},
    /* REQUEST_SUBMITTED */ {N, Y, N, N, Y, Y, N},
    /* DOWNLOADING       */ {N, N, Y, Y, Y, N, Y},
    /* COMPLETED         */ {N, Y, N, N, Y, Y, N},
    /* FAILED            */ {N, Y, N, N, Y, Y, N},
    /* QUEUED            */ {N, N, Y, Y, Y, N, Y},
    /* SUSPENDED         */ {N, N, N, N, Y, Y, N},
};

std::uint32_t TableIndex(DownloadStateStatus status) {
    const auto number = static_cast<std::uint32_t>(status);
    if (number >= kDownloadStateStatusCount) throw InvalidDownloadStateStatus();
    return number;
}

std::string ChangeText(DownloadStateStatus from, DownloadStateStatus to) {
    return std::string("Invalid download state change (") + DownloadStateName(from) + " -> " +
           DownloadStateName(to) + ")";
}

}  // namespace

InvalidDownloadStateChange::InvalidDownloadStateChange(DownloadStateStatus from, DownloadStateStatus to)
    : ExceptionPL(ChangeText(from, to)) {}

bool IsAllowedDownloadStateChange(DownloadStateStatus from, DownloadStateStatus to) {
    return kAllowedChanges[TableIndex(from)][TableIndex(to)];
}
