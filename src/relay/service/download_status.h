// The small values that travel with download targets: DownloadStateStatus, the state of a target in
// the download state database; DownloadMirrorActionStatus, the status of an action in the
// mirror-request report; and DownloadError, why a download failed. Each has a fixed number and text,
// stored in the database and written into reports as they stand here.
#pragma once

#include <cstdint>
#include <string>

#include "base/exceptions.h"

// The number of a state outside 0 .. 6.
class InvalidDownloadStateStatus : public DebuggableException {};

// Stored in the Status columns as its number.
enum class DownloadStateStatus : std::uint32_t {
    New = 0,
    RequestSubmitted = 1,
    Downloading = 2,
    Completed = 3,
    Failed = 4,
    Queued = 5,
    Suspended = 6,
};

constexpr std::uint32_t kDownloadStateStatusCount = 7;

// "NEW", "REQUEST_SUBMITTED", "DOWNLOADING", "COMPLETED", "FAILED", "QUEUED", "SUSPENDED"; any other
// number throws InvalidDownloadStateStatus.
const char* DownloadStateName(DownloadStateStatus status);
// The state of a stored number; InvalidDownloadStateStatus outside 0 .. 6.
DownloadStateStatus DownloadStateStatusFromNumber(std::uint32_t number);

enum class DownloadMirrorActionStatus : std::uint32_t {
    Failed = 0,
    Ready = 1,
    InProgress = 2,
    Pending = 3,
};

// "Failed", "Ready", "InProgress", "Pending".
const char* DownloadMirrorActionStatusName(DownloadMirrorActionStatus status);

// Stored in the ErrorCode columns as its number.
enum class DownloadErrorKind : std::uint32_t {
    DownloadWhitelistFailure = 0,
    RemovedFromCache = 1,
    Generic = 2,
};

// "DownloadWhitelistFailure", "RemovedFromCache", "Generic".
const char* DownloadErrorKindName(DownloadErrorKind kind);

struct DownloadError {
    DownloadErrorKind kind = DownloadErrorKind::Generic;
    std::string message;  // UTF-8
};
