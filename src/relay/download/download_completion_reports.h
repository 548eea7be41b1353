// DownloadCompletionReports: where the outcome of a started download goes, the download manager's
// completion inbox. Each report appends one record and returns at once; the manager acts on it in
// its next work pass. Callable from any thread.
#pragma once

#include "relay/service/download_request_target.h"
#include "relay/service/download_status.h"

class DownloadCompletionReports {
  public:
    virtual ~DownloadCompletionReports() = default;
    virtual void ReportSuccess(const DownloadRequestTarget& target) = 0;
    virtual void ReportFailure(const DownloadRequestTarget& target, const DownloadError& error) = 0;
    virtual void ReportSuspended(const DownloadRequestTarget& target) = 0;
};
