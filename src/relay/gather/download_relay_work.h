// DownloadRelayWork: the download relay's part of each pass of the gather service loop
// (gather_service_loop.h): the download plug-ins' steps (ServeDownloadPlugins: their marks, the
// inbox's "plugin_*" messages, the sweep, each behind its own barrier), then the download manager's
// work pass (ServiceDownloadManager::DoWork), and the manager's count of downloads in progress, which
// picks the loop's sleep.
//
// The loop is the only thread that serves the plug-ins and drives the manager's passes; the manager,
// the plug-ins and this object must outlive it.
#pragma once

#include "relay/download/download_plugin_manager.h"
#include "relay/download/service_download_manager.h"
#include "relay/gather/gather_service_loop.h"

class DownloadRelayWork : public GatherLoopDownloadWork {
  public:
    DownloadRelayWork(ServiceDownloadManager& manager, DownloadPluginManager& plugins)
        : m_manager(manager), m_plugins(plugins) {}

    void ServePlugins(const FileLocation& inboxFolder) override;
    void DoWork() override { m_manager.DoWork(); }
    bool HasDownloadsInProgress() override { return m_manager.GetInProgressCount() > 0; }

  private:
    ServiceDownloadManager& m_manager;
    DownloadPluginManager& m_plugins;
};
