#include "relay/download/cached_targets.h"

#include "relay/download/directory_cache.h"

bool IsTargetCached(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings,
                    DownloadState&) {
    KVR_REQUIRE(target.IsURLRequest());
    return DirectoryCache(settings.GetActionURLsFolder())
        .Contains(settings.GetDownloadRequestFileName(*target.GetActionID()));
}
