// GatherServiceLoop: the relay's background driver of mirroring and downloading. From its start until
// the stop event is set it runs passes; each step of a pass has its own failure barrier, which logs
// the step's text and the error under "critical" and goes on with the next step:
//
//   1. the URL-moniker flag again from "_KVRGather_Comm_UseUrlMoniker"
//   2. the next queued site gather started (site_gather_threads.h)
//                                     "Exception launching ProcessSiteGatherRequest thread: "
//   3. the inbox's "archive_*" files (inbox_archives.h)
//                                     "Exception in archive_* processing loop: "
//   4. the download plug-ins' steps and 5. the download manager's work pass (GatherLoopDownloadWork)
//   6. the connectivity test (connectivity_check.h), when the interval since the last one has passed:
//      "_KVRGather_ConnectivityTest_SuccessInterval" (10 minutes) after an internet test that
//      passed, else "..._FailureInterval" (1 minute); an interval of 0 never repeats it
//                                     "Exception in CheckConnectivity test: "
//   7. a sleep on the stop event: "_KVRGather_Mirror_ActiveLoopDelayMilliseconds" (1000) while
//      downloads are in progress, else "..._InactiveLoopDelayMilliseconds" (3000); 0 does not sleep
// Settings are read when used. At its start the loop sets the URL-moniker flag and credentials
// (ApplyCommSettings) and runs the connectivity test once.
//
// The loop owns the threads of the gathers it starts (at most SiteGatherThreads::kMaxConcurrentGathers,
// one per site at a time) and joins them before it returns, so its caller knows that no gather runs
// any more. The loop is the only thread that processes the inbox's files and drives the download
// manager's passes.
//
// The components are not owned; they must outlive the loop.
#pragma once

#include "base/file_location.h"

class Event;
class GatherOptionsManager;
class GatherState;
class URLToGatherIDMap;

// The download relay's part of a pass: the download plug-ins' steps (their own barriers), then the
// download manager's work pass, and whether downloads are in progress (which picks the sleep).
class GatherLoopDownloadWork {
  public:
    virtual ~GatherLoopDownloadWork() = default;
    virtual void ServePlugins(const FileLocation& inboxFolder) = 0;
    virtual void DoWork() = 0;
    virtual bool HasDownloadsInProgress() = 0;
};

struct GatherServiceComponents {
    GatherOptionsManager& options;
    Event& stop;
    URLToGatherIDMap& gatherMap;
    GatherState& gatherState;
    GatherLoopDownloadWork& downloads;
};

// The URL-moniker flag (url_fetcher.h) from "_KVRGather_Comm_UseUrlMoniker", and when the gather
// service's "URLMonAuthName" or "URLMonAuthPhrase" is not empty, both as the URL-moniker credentials.
void ApplyCommSettings(const GatherOptionsManager& options);

// Runs until the stop event is set, then joins its gather threads and returns.
void GatherServiceLoop(const GatherServiceComponents& components);
