// Whether a download target's file is in the relay's download cache.
#pragma once

#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

// A URL request is cached when its action's "dl_<action id>" is in the "ActionURLs" folder. Answers
// only URL requests for now: another kind fails its requirement.
bool IsTargetCached(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings,
                    DownloadState& state);
