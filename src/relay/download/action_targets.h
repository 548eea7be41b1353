// What the relay asks its download manager for on behalf of clients that want an action's downloads:
// after a cache miss or a download ping (ActionTargetsToQueue), and when the mirror-request plug-in
// retries an action's failed downloads (RetryFailedActionDownloads).
#pragma once

#include <cstdint>
#include <vector>

#include "relay/download/download_state.h"
#include "relay/download/service_download_manager.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

// The action's targets to queue:
// - its URL request alone, unless the store has it COMPLETED;
// - COMPLETED, with its "dl_" file in the "ActionURLs" folder: the action's indexed targets alone.
//   Handing the URL request again would apply the list once more, setting every row of the action
//   back to NEW with the list's SHA-1s (often none), so that a miss of one file would undo what is
//   already downloaded.
// - COMPLETED without its "dl_" file: the indexed targets, then the URL request, which fetches the
//   list again.
std::vector<DownloadRequestTarget> ActionTargetsToQueue(std::uint32_t actionID,
                                                        const DownloadSettingsProvider& settings,
                                                        DownloadState& state);

// Hands the manager, forced, the action's FAILED indexed targets, then its FAILED dynamic targets
// changed within the last seven days; true when there was any. Opens a DownloadState of its own; its
// failures (SQLite::Error) pass to the caller.
bool RetryFailedActionDownloads(std::uint32_t actionID, const DownloadSettingsProvider& settings,
                                ServiceDownloadManager& manager);
