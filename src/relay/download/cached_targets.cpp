#include "relay/download/cached_targets.h"

#include <optional>

#include "relay/download/directory_cache.h"

namespace {

bool IsInSha1Folder(const DigestRecord& sha1, const DownloadSettingsProvider& settings) {
    return DirectoryCache(settings.GetSha1Folder()).Contains(DirectoryCache::NameForSHA1(sha1));
}

}  // namespace

bool IsTargetCached(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings,
                    DownloadState& state) {
    const std::uint32_t actionID = *target.GetActionID();
    if (target.IsURLRequest())
        return DirectoryCache(settings.GetActionURLsFolder()).Contains(settings.GetDownloadRequestFileName(actionID));
    if (target.IsDynamic()) return IsInSha1Folder(*target.GetSha1(), settings);
    const std::optional<DigestRecord> stored = state.GetSHA1(actionID, *target.GetIndex());
    return stored && IsInSha1Folder(*stored, settings);
}

bool IsActionCached(std::uint32_t actionID, const DownloadSettingsProvider& settings, DownloadState& state) {
    const std::optional<DownloadStateRecord> urlRequest = state.GetState(DownloadRequestTarget::URLRequest(actionID));
    if (!urlRequest || urlRequest->status != DownloadStateStatus::Completed) return false;
    for (const DownloadRequestTarget& target : state.GetActionDownloads(actionID))
        if (!IsTargetCached(target, settings, state)) return false;
    return true;
}
