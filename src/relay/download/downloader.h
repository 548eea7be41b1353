// Downloader: how the download manager has one target fetched into its cache file, and
// DownloadNotStarted, the failure of a download that never began.
//
// Download returns at once: the work runs on a worker the downloader starts on the manager's thread
// group, and its outcome reaches the manager's completion inbox (ReportSuccess, ReportFailure or
// ReportSuspended), exactly once per call that returned normally. A worker polls the interruptor and
// ends early, reported suspended, once the manager sets it. A call that throws DownloadNotStarted
// started nothing and reports nothing: the manager queues the target again, no retry spent. Any other
// exception fails the target.
//
// Called on the manager's work-pass thread only. The relay downloader (relay_downloader.h) implements
// it.
#pragma once

#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/interruptor.h"
#include "foundation/thread_group.h"
#include "relay/service/download_request_target.h"

class DownloadNotStarted : public DebuggableException {};

class Downloader {
  public:
    virtual ~Downloader() = default;
    // Fetches the target into the file at `location` (in the active-downloads folder).
    virtual void Download(const DownloadRequestTarget& target, const FileLocation& location, ThreadGroup& threads,
                          ThreadInterruptor& interruptor) = 0;
};
