#include "relay/gather/gather_service_loop.h"

#include <string>

#include "foundation/event.h"
#include "foundation/guarded_step.h"
#include "foundation/stopwatch.h"
#include "relay/gather/connectivity_check.h"
#include "relay/gather/inbox_archives.h"
#include "relay/gather/site_gather_threads.h"
#include "relay/gather/url_fetcher.h"
#include "relay/service/gather_options_manager.h"

namespace {

class GatherService {
  public:
    explicit GatherService(const GatherServiceComponents& components)
        : m_components(components), m_options(components.options), m_inboxFolder(m_options.GetInboxFolder()) {}

    void Run() {
        RunGuardedStep("Exception in ApplyCommSettings: ", [this] { ApplyCommSettings(m_options); });
        RunGuardedStep("Exception in CheckConnectivity test: ",
                       [this] { m_internetReached = CheckConnectivity(m_options, m_components.stop); });
        m_sinceConnectivityTest.Start();
        while (!m_components.stop.Wait(0)) {
            RunPass();
            Sleep();
        }
        m_gathers.JoinAll();
    }

  private:
    void RunPass() {
        SetUseUrlMoniker(m_options.UseUrlMoniker());
        RunGuardedStep("Exception launching ProcessSiteGatherRequest thread: ", [this] {
            m_gathers.LaunchSiteGather(m_options, m_components.stop, m_components.gatherState);
        });
        ProcessInboxArchives(m_inboxFolder, m_options, m_components.gatherState, m_components.gatherMap);
        m_components.downloads.ServePlugins(m_inboxFolder);
        RunGuardedStep("Exception in ServiceDownloadManager::DoWork: ", [this] { m_components.downloads.DoWork(); });
        RunGuardedStep("Exception in CheckConnectivity test: ", [this] { TestConnectivityWhenDue(); });
    }

    // A failed test leaves the last result and the stopwatch as they were: the next pass tries again.
    void TestConnectivityWhenDue() {
        const std::int64_t interval = m_internetReached ? m_options.GetConnectivitySuccessInterval()
                                                        : m_options.GetConnectivityFailureInterval();
        if (interval == 0 || m_sinceConnectivityTest.GetElapsed() <= static_cast<std::uint64_t>(interval)) return;
        m_internetReached = CheckConnectivity(m_options, m_components.stop);
        m_sinceConnectivityTest.Reset();
        m_sinceConnectivityTest.Start();
    }

    void Sleep() {
        bool active = false;
        RunGuardedStep("Exception in ServiceDownloadManager::DoWork: ",
                       [this, &active] { active = m_components.downloads.HasDownloadsInProgress(); });
        m_components.stop.Wait(active ? m_options.GetActiveLoopDelay() : m_options.GetInactiveLoopDelay());
    }

    const GatherServiceComponents& m_components;
    GatherOptionsManager& m_options;
    const FileLocation m_inboxFolder;
    bool m_internetReached = false;
    Stopwatch m_sinceConnectivityTest;
    // Last, so that the gather threads are joined before anything they use goes.
    SiteGatherThreads m_gathers;
};

}  // namespace

void ApplyCommSettings(const GatherOptionsManager& options) {
    SetUseUrlMoniker(options.UseUrlMoniker());
    std::string name = options.GetURLMonAuthName();
    std::string phrase = options.GetURLMonAuthPhrase();
    if (!name.empty() || !phrase.empty()) SetUrlMonikerCredentials(std::move(name), std::move(phrase));
}

void GatherServiceLoop(const GatherServiceComponents& components) {
    GatherService(components).Run();
}
