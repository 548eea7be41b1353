#include "relay/download/download_work_loop.h"

#include "foundation/log_manager.h"

DownloadWorkLoop::DownloadWorkLoop(ServiceDownloadManager& manager, const GatherOptionsManager& options,
                                   Event& stopEvent)
    : m_manager(manager), m_options(options), m_stopEvent(stopEvent) {
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
    while (!IsEnding()) {
        try {
            m_manager.DoWork();
        } catch (...) {
            KVR_LOG("critical") << "Exception in ServiceDownloadManager::DoWork: " << CurrentExceptionText();
        }
        const std::int64_t delay =
            m_manager.GetInProgressCount() > 0 ? m_options.GetActiveLoopDelay() : m_options.GetInactiveLoopDelay();
        m_closing.WaitWithHandle(m_stopEvent.Descriptor(), delay);
    }
}
