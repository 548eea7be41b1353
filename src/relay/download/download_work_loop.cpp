#include "relay/download/download_work_loop.h"

#include "foundation/guarded_step.h"
#include "relay/download/download_plugin_inbox.h"

DownloadWorkLoop::DownloadWorkLoop(ServiceDownloadManager& manager, DownloadPluginManager& plugins,
                                   const GatherOptionsManager& options, Event& stopEvent)
    : m_manager(manager), m_plugins(plugins), m_options(options), m_stopEvent(stopEvent) {
    m_thread.Start([this] { Run(); });
}

DownloadWorkLoop::~DownloadWorkLoop() {
    m_closing.Set();
    m_thread.JoinAll();
}

bool DownloadWorkLoop::IsEnding() {
    return m_stopEvent.Wait(0) || m_closing.Wait(0);
}

void DownloadWorkLoop::Run() {
    const FileLocation inboxFolder = m_options.GetInboxFolder();
    while (!IsEnding()) {
        ServeDownloadPlugins(m_plugins, inboxFolder);
        RunGuardedStep("Exception in ServiceDownloadManager::DoWork: ", [&] { m_manager.DoWork(); });
        const std::int64_t delay = m_manager.GetInProgressCount() > 0 ? m_options.GetActiveLoopDelay()
                                                                      : m_options.GetInactiveLoopDelay();
        m_closing.WaitWithHandle(m_stopEvent.Descriptor(), delay);
    }
}
