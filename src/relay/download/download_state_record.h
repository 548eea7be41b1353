// DownloadStateRecord, the stored state of one download target, and the changes of state the download
// state store allows.
#pragma once

#include <cstdint>
#include <optional>

#include "base/exceptions.h"
#include "base/time_value.h"
#include "relay/service/download_status.h"

struct DownloadStateRecord {
    DownloadStateStatus status = DownloadStateStatus::New;
    // The time of the last change; stored in whole seconds, so a record read back has no fraction.
    TimeValue lastUpdate;
    // How often the download was retried since the last reset; 4294967295 when retries are disabled.
    std::uint32_t retryCount = 0;
    std::optional<DownloadError> error;
};

// A refused change: "Invalid download state change (<old> -> <new>)" with DownloadStateName's texts.
class InvalidDownloadStateChange : public ExceptionPL {
  public:
    InvalidDownloadStateChange(DownloadStateStatus from, DownloadStateStatus to);
};

// Whether a target in state `from` may change to `to`. No state leads back to NEW; DOWNLOADING,
// COMPLETED and SUSPENDED are reached only from QUEUED or DOWNLOADING; FAILED from every state;
// REQUEST_SUBMITTED and QUEUED from NEW, REQUEST_SUBMITTED, COMPLETED and FAILED, QUEUED also from
// SUSPENDED; DOWNLOADING may repeat, COMPLETED may not. (A target without a stored state may take any.)
// InvalidDownloadStateStatus for a number outside the states.
bool IsAllowedDownloadStateChange(DownloadStateStatus from, DownloadStateStatus to);
