#include "relay/download/download_path_serving.h"

#include <algorithm>

#include "base/character_classes.h"
#include "http/http_request.h"
#include "http/served_file_request.h"
#include "relay/download/action_targets.h"
#include "relay/download/cached_targets.h"
#include "relay/download/directory_cache.h"
#include "relay/download/download_path.h"

namespace {

// The sha1 folder's file of the digest, touched; its URL path when it is there.
std::optional<std::string> FindSha1File(const DigestRecord& sha1, const DownloadSettingsProvider& settings) {
    if (!DirectoryCache(settings.GetSha1Folder()).Find(DirectoryCache::NameForSHA1(sha1))) return std::nullopt;
    return settings.GetSha1DownloadURLPath(sha1);
}

struct Mapping {
    std::optional<std::string> served;
    std::vector<DownloadRequestTarget> wanted;
};

Mapping MapSha1(const DigestRecord& sha1, const DownloadSettingsProvider& settings, DownloadStateOnDemand& state) {
    if (std::optional<std::string> served = FindSha1File(sha1, settings)) return {std::move(served), {}};
    return {std::nullopt, state.Get().GetDynamicDownloadsBySHA1(sha1)};
}

Mapping MapActionIndex(const DownloadPath& path, const DownloadSettingsProvider& settings,
                       DownloadStateOnDemand& state, const std::string& readyMarkerPath) {
    const std::uint32_t actionID = path.GetActionID();
    const std::uint32_t index = path.GetIndex();
    DownloadState& store = state.Get();
    if (index == 0) {
        if (IsActionCached(actionID, settings, store)) return {readyMarkerPath, {}};
    } else if (const std::optional<DigestRecord> sha1 = store.GetSHA1(actionID, index)) {
        if (std::optional<std::string> served = FindSha1File(*sha1, settings)) return {std::move(served), {}};
    }
    return {std::nullopt, ActionTargetsToQueue(actionID, settings, store)};
}

Mapping MapRequestFile(std::uint32_t actionID, const DownloadSettingsProvider& settings) {
    if (DirectoryCache(settings.GetActionURLsFolder()).Find(settings.GetDownloadRequestFileName(actionID)))
        return {settings.GetActionURLPath(actionID), {}};
    return {std::nullopt, {DownloadRequestTarget::URLRequest(actionID)}};
}

Mapping MapDownloadPath(const DownloadPath& path, const DownloadSettingsProvider& settings,
                        DownloadStateOnDemand& state, const std::string& readyMarkerPath) {
    switch (path.GetKind()) {
        case DownloadPathKind::Sha1:
            return MapSha1(path.GetSHA1(), settings, state);
        case DownloadPathKind::ActionIndex:
            return MapActionIndex(path, settings, state, readyMarkerPath);
        case DownloadPathKind::RequestFile:
            return MapRequestFile(path.GetActionID(), settings);
        case DownloadPathKind::NotADownloadPath:
            break;
    }
    return {};
}

std::string JoinedPath(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) path += "/" + name;
    return path;
}

bool IsDecimalName(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return Ascii::Digits().Contains(static_cast<Byte>(c)); });
}

bool IsBusy(const SQLite::Error& error) {
    const int primary = error.Code() & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace

DownloadStateOnDemand::DownloadStateOnDemand(const DownloadSettingsProvider& settings, std::int64_t busyTimeout)
    : m_settings(settings), m_busyTimeout(busyTimeout) {}

DownloadState& DownloadStateOnDemand::Get() {
    if (!m_state) m_state.emplace(m_settings, m_busyTimeout);
    return *m_state;
}

std::optional<std::string> ServeDownloadPath(ConstData path, const DownloadSettingsProvider& settings,
                                             DownloadStateOnDemand& state, ServiceDownloadManager& manager,
                                             const std::string& readyMarkerPath) {
    const std::string prefix = settings.GetDownloadsURLPath();
    const DownloadPath parsed = ParseDownloadPath(path, ConstData(std::string_view(prefix)));
    Mapping mapping = MapDownloadPath(parsed, settings, state, readyMarkerPath);
    if (!mapping.wanted.empty()) manager.AddDownloads(mapping.wanted, false);
    return std::move(mapping.served);
}

DownloadPathServing::DownloadPathServing(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager)
    : m_settings(settings),
      m_manager(manager),
      m_state(settings, kBusyTimeout),
      m_prefixNames(ServedPathNames(ConstData(std::string_view(settings.GetDownloadsURLPath()))).value()) {}

std::optional<std::string> DownloadPathServing::MapDownloadPath(ConstData path, const std::string& readyMarkerPath) {
    const std::optional<std::vector<std::string>> names = ServedPathNames(path);
    if (!names) return std::nullopt;
    const std::string plainPath = JoinedPath(*names);
    std::optional<std::string> served;
    try {
        served = ServeDownloadPath(ConstData(std::string_view(plainPath)), m_settings, m_state, m_manager,
                                   readyMarkerPath);
    } catch (const SQLite::Error& error) {
        if (!IsBusy(error)) {
            m_state.Close();
            throw;
        }
    }
    if (served) return served;
    if (IsInActionFolder(*names)) throw HTTPRequestError(404);
    return std::nullopt;
}

// downloads/<digits>/<anything>: inside a folder named like an action's.
bool DownloadPathServing::IsInActionFolder(const std::vector<std::string>& names) const {
    const std::size_t folder = m_prefixNames.size();
    return names.size() > folder + 1 && std::equal(m_prefixNames.begin(), m_prefixNames.end(), names.begin()) &&
           IsDecimalName(names[folder]);
}
