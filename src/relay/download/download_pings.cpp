#include "relay/download/download_pings.h"

#include <optional>
#include <vector>

#include "foundation/log_manager.h"
#include "relay/download/action_targets.h"
#include "relay/download/cached_targets.h"
#include "relay/service/gather_options_manager.h"

namespace {

bool IsRequestedOrFailed(const std::optional<DownloadStateRecord>& row) {
    return row && (row->status == DownloadStateStatus::RequestSubmitted || row->status == DownloadStateStatus::Failed);
}

}  // namespace

bool HandleDownloadPing(std::uint32_t actionID, const DownloadSettingsProvider& settings,
                        ServiceDownloadManager& manager) {
    KVR_LOG("debug") << "Download ping: Action " << actionID;
    DownloadState state(settings);
    if (!state.GetState(DownloadRequestTarget::URLRequest(actionID))) return false;
    if (IsActionCached(actionID, settings, state)) return true;
    manager.AddDownloads(ActionTargetsToQueue(actionID, settings, state), true);
    return false;
}

bool HandleDynamicDownloadPing(std::uint32_t crc, const DownloadSettingsProvider& settings,
                               ServiceDownloadManager& manager) {
    KVR_LOG("debug") << "Dynamic download ping: CRC = " << crc;
    DownloadState state(settings);
    const std::vector<DownloadRequestTarget> targets = state.GetDynamicDownloadsByCRC(crc);
    if (targets.empty()) {
        KVR_LOG("debug") << "Received dynamic download notification for unknown CRC: " << crc;
        return false;
    }
    bool cached = false;
    std::vector<DownloadRequestTarget> wanted;
    for (const DownloadRequestTarget& target : targets) {
        KVR_LOG("debug") << "Dynamic download ping: {" << downloadRequestTargetText(target) << "}";
        if (IsTargetCached(target, settings, state))
            cached = true;
        else if (IsRequestedOrFailed(state.GetState(target)))
            wanted.push_back(target);
    }
    manager.AddDownloads(wanted, true);
    return cached;
}

bool DownloadPings::HandleDownloadPing(std::uint32_t actionID, GatherOptionsManager& options) {
    return ::HandleDownloadPing(actionID, options, m_manager);
}

bool DownloadPings::HandleDynamicDownloadPing(std::uint32_t digestChecksum, GatherOptionsManager& options) {
    return ::HandleDynamicDownloadPing(digestChecksum, options, m_manager);
}
