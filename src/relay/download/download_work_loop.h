// DownloadWorkLoop: the thread that drives the download manager's work passes. Each pass serves the
// download plug-ins first (ServeDownloadPlugins: their marks, the inbox's "plugin_*" messages, the
// sweep) and then runs ServiceDownloadManager::DoWork, every step behind its own failure barrier
// (logged at "critical" as "Exception in ServiceDownloadManager::DoWork: " and the text, and so on;
// the next step runs as usual). The inbox folder is read from the options once, when the loop starts.
// Between passes it sleeps on the stop event: "_KVRGather_Mirror_ActiveLoopDelayMilliseconds"
// (1000) while downloads are in progress, else "_KVRGather_Mirror_InactiveLoopDelayMilliseconds"
// (3000), both read at each pass.
//
// Start-up builds it once the manager is ready (RequeueFromStore done) and destroys it before
// ServiceDownloadManager::AbortAll. It ends within a pass once the stop event is set or it is
// destroyed; destruction joins the thread. The manager, the plug-ins, the options and the stop event
// must outlive it.
#pragma once

#include "foundation/event.h"
#include "foundation/thread_group.h"
#include "relay/download/download_plugin_manager.h"
#include "relay/download/service_download_manager.h"
#include "relay/service/gather_options_manager.h"

class DownloadWorkLoop {
  public:
    DownloadWorkLoop(ServiceDownloadManager& manager, DownloadPluginManager& plugins,
                     const GatherOptionsManager& options, Event& stopEvent);
    ~DownloadWorkLoop();
    DownloadWorkLoop(const DownloadWorkLoop&) = delete;
    DownloadWorkLoop& operator=(const DownloadWorkLoop&) = delete;

  private:
    void Run();
    bool IsEnding();

    ServiceDownloadManager& m_manager;
    DownloadPluginManager& m_plugins;
    const GatherOptionsManager& m_options;
    Event& m_stopEvent;
    // Set by the destructor: a loop must end also when the relay never got to set the stop event.
    Event m_closing;
    // Last, so that destruction joins the thread before the members it uses go.
    ThreadGroup m_thread;
};
