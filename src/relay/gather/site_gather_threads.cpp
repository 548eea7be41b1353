#include "relay/gather/site_gather_threads.h"

#include <optional>
#include <string>

#include "foundation/log_manager.h"
#include "relay/gather/gather_fetch.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/site_gather_worker.h"

namespace {

void RunAndReport(const SiteGatherParams& params, GatherOptionsManager& options, Event& stop, GatherState& gatherState) {
    const std::uint32_t siteID = params.siteID;
    const SiteVersion& requested = params.expectedVersion;
    try {
        SiteGatherWorker(params, options, stop, gatherState).Run();
    } catch (const GatherFinishedEarly&) {
        gatherState.GatheredSameVersion(siteID, requested, "Already have latest version of site.");
    } catch (const GatherFilesInUse&) {
        gatherState.RetrySiteGather(siteID, requested, "Files in use by some other process.  Will try again later.");
    } catch (const InvalidActionSiteEpoch&) {
        gatherState.FailedSiteGather(siteID, requested,
                                     "Discarding site (id " + std::to_string(siteID) +
                                         ") because it has an invalid action site epoch.");
    } catch (const EpochReset&) {
    } catch (const GatherCancelled&) {
        gatherState.FailedSiteGather(siteID, requested, "Gather cancelled by stop request.");
    } catch (...) {
        gatherState.FailedSiteGather(siteID, requested, CurrentExceptionText());
    }
}

}  // namespace

void ProcessSiteGatherRequest(const std::shared_ptr<const SiteGatherParams>& params, GatherOptionsManager& options,
                              Event& stop, GatherState& gatherState) {
    KVR_LOG("debug") << "Beginning gather of site " << params->siteURL;
    try {
        RunAndReport(*params, options, stop, gatherState);
    } catch (...) {
        KVR_LOG("critical") << params->siteID << ": reporting the gather's outcome failed: " << CurrentExceptionText();
    }
}

bool SiteGatherThreads::LaunchSiteGather(GatherOptionsManager& options, Event& stop, GatherState& gatherState) {
    std::optional<SiteGatherParams> next;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_running.size() >= kMaxConcurrentGathers) return false;
        next = gatherState.PopQueuedRequest(m_running);
        if (!next) return false;
        m_running.insert(next->siteID);
    }
    const auto params = std::make_shared<const SiteGatherParams>(std::move(*next));
    try {
        m_threads.Start([this, params, &options, &stop, &gatherState] {
            ProcessSiteGatherRequest(params, options, stop, gatherState);
            Finished(params->siteID);
        });
    } catch (...) {
        Finished(params->siteID);
        gatherState.FailedSiteGather(params->siteID, params->expectedVersion, CurrentExceptionText());
        throw;
    }
    return true;
}

std::set<std::uint32_t> SiteGatherThreads::RunningSites() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_running;
}

void SiteGatherThreads::Finished(std::uint32_t siteID) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_running.erase(siteID);
}
