// Whether a download target's file is in the relay's download cache.
#pragma once

#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

// A URL request is cached when its action's "dl_<action id>" is in the "ActionURLs" folder; an
// indexed download when the store holds a SHA-1 for it and that file is in the "sha1" folder; a
// dynamic download when its own SHA-1's file is there. Looking does not touch the files.
bool IsTargetCached(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings,
                    DownloadState& state);
