// DownloadPlugins: the external download plug-ins (programs that fetch URLs of the protocols they
// registered) as the download manager uses them.
//
// The manager asks HasPluginForURL for each target it starts; a target a plug-in serves is added to
// the current batch with the file it is to be fetched into, and StartBatches, called once after each
// round of starts, hands every batch to its plug-in's program. The outcome of each target reaches the
// manager's completion inbox (ReportSuccess, ReportFailure, ReportSuspended) exactly once. StopAll
// ends every running plug-in program; their targets report suspended.
//
// Called on the manager's work-pass thread only. The download plug-in manager implements it
// (download_plugin_manager.h).
#pragma once

#include <string>

#include "base/file_location.h"
#include "relay/service/download_request_target.h"

class DownloadPlugins {
  public:
    virtual ~DownloadPlugins() = default;
    virtual bool HasPluginForURL(const std::string& url) = 0;
    virtual void AddToBatch(const DownloadRequestTarget& target, const FileLocation& location) = 0;
    virtual void StartBatches() = 0;
    virtual void StopAll() = 0;
};
