// DownloadRelayWork: the download relay's part of each pass of the gather service loop
// (gather_service_loop.h), over the download manager: its work pass (ServiceDownloadManager::DoWork)
// and its count of downloads in progress, which picks the loop's sleep.
//
// The loop is the only thread that drives the manager's passes; the manager and this object must
// outlive it.
#pragma once

#include "relay/download/service_download_manager.h"
#include "relay/gather/gather_service_loop.h"

class DownloadRelayWork : public GatherLoopDownloadWork {
  public:
    explicit DownloadRelayWork(ServiceDownloadManager& manager) : m_manager(manager) {}

    void ServePlugins(const FileLocation& inboxFolder) override;
    void DoWork() override { m_manager.DoWork(); }
    bool HasDownloadsInProgress() override { return m_manager.GetInProgressCount() > 0; }

  private:
    ServiceDownloadManager& m_manager;
};
