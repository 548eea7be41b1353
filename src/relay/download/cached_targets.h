// Whether a download target, or a whole action, is in the relay's download cache. The tests only
// look: nothing is touched, so a test never keeps a file from the cache purge.
#pragma once

#include <cstdint>

#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

// A URL request is cached when its action's "dl_<action id>" is in the "ActionURLs" folder; an
// indexed download when a SHA-1 is stored for its action and index and that file is in the sha1
// folder (without a stored SHA-1 it is not); a dynamic download when the file of its own SHA-1 is in
// the sha1 folder. Only an indexed download reads the store.
bool IsTargetCached(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings,
                    DownloadState& state);

// True when the action's URL request is COMPLETED and every indexed download of the action is cached
// (looked at in the store's order, stopping at the first that is not); false without a row or in any
// other state.
bool IsActionCached(std::uint32_t actionID, const DownloadSettingsProvider& settings, DownloadState& state);
