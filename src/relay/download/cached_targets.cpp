#include "relay/download/cached_targets.h"

#include <optional>

#include "relay/download/directory_cache.h"

bool IsTargetCached(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings,
                    DownloadState& state) {
    if (target.IsURLRequest())
        return DirectoryCache(settings.GetActionURLsFolder())
            .Contains(settings.GetDownloadRequestFileName(*target.GetActionID()));
    const std::optional<DigestRecord> sha1 =
        target.IsIndexed() ? state.GetSHA1(*target.GetActionID(), *target.GetIndex()) : target.GetSha1();
    return sha1 && DirectoryCache(settings.GetSha1Folder()).Contains(DirectoryCache::NameForSHA1(*sha1));
}
