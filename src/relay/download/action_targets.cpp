#include "relay/download/action_targets.h"

#include <optional>

#include "relay/download/cached_targets.h"

namespace {

bool IsFailed(const DownloadRequestTarget& target, DownloadState& state) {
    const std::optional<DownloadStateRecord> row = state.GetState(target);
    return row && row->status == DownloadStateStatus::Failed;
}

}  // namespace

std::vector<DownloadRequestTarget> ActionTargetsToQueue(std::uint32_t actionID,
                                                        const DownloadSettingsProvider& settings,
                                                        DownloadState& state) {
    const DownloadRequestTarget urlRequest = DownloadRequestTarget::URLRequest(actionID);
    const std::optional<DownloadStateRecord> row = state.GetState(urlRequest);
    if (!row || row->status != DownloadStateStatus::Completed) return {urlRequest};
    std::vector<DownloadRequestTarget> targets = state.GetActionDownloads(actionID);
    if (!IsTargetCached(urlRequest, settings, state)) targets.push_back(urlRequest);
    return targets;
}

bool RetryFailedActionDownloads(std::uint32_t actionID, const DownloadSettingsProvider& settings,
                                ServiceDownloadManager& manager) {
    DownloadState state(settings);
    std::vector<DownloadRequestTarget> failed;
    for (const DownloadRequestTarget& target : state.GetActionDownloads(actionID))
        if (IsFailed(target, state)) failed.push_back(target);
    for (const DownloadRequestTarget& target : state.GetDynamicDownloadsByAction(actionID))
        if (IsFailed(target, state)) failed.push_back(target);
    if (failed.empty()) return false;
    manager.AddDownloads(failed, true);
    return true;
}
