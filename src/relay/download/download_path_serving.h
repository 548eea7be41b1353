// Serving download paths (download_path.h) from the relay's download cache, on the HTTP server's loop
// thread, before a path is served as a file:
//
//   sha1/<digest>        its file in the sha1 folder, touched: "/vtmirror/downloads/sha1/<hex>";
//                        a miss hands the dynamic downloads of that SHA-1 (last seven days) to the
//                        download manager
//   <action>/dl_<action> its list in the "ActionURLs" folder: "/vtmirror/downloads/ActionURLs/dl_<id>";
//                        a miss hands the action's URL request to the download manager
//   <action>/0           the ready marker (the server's probe path) once the whole action is cached
//                        (IsActionCached); a miss queues the action's targets (ActionTargetsToQueue)
//   <action>/<index>     the file of the SHA-1 stored for that download, touched; a miss queues the
//                        action's targets
//
// Targets a miss hands over go to ServiceDownloadManager::AddDownloads unforced. Only the
// <action>/<index> forms (0 among them) and the SHA-1 miss read the download state; the others open
// no database.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/const_data.h"
#include "relay/download/download_state.h"
#include "relay/download/service_download_manager.h"
#include "relay/service/download_path_mapper.h"
#include "relay/service/download_settings_provider.h"

// A connection to the download state opened at its first use and then kept, for one thread. Close
// drops it; the next Get opens a new one.
class DownloadStateOnDemand {
  public:
    // `busyTimeout` in microseconds, as DownloadState takes it. The settings must outlive the object.
    DownloadStateOnDemand(const DownloadSettingsProvider& settings, std::int64_t busyTimeout);

    // Throws SQLite::Error when the connection cannot be opened.
    DownloadState& Get();
    void Close() { m_state.reset(); }

  private:
    const DownloadSettingsProvider& m_settings;
    std::int64_t m_busyTimeout;
    std::optional<DownloadState> m_state;
};

// The cache path to serve for `path` (parsed under the settings' download URL path), or none when the
// cache lacks it or it is no download path. The store's and the cache's failures (SQLite::Error, file
// errors) pass to the caller; targets are handed over only once every look-up succeeded, so a
// failed call has asked for nothing.
std::optional<std::string> ServeDownloadPath(ConstData path, const DownloadSettingsProvider& settings,
                                             DownloadStateOnDemand& state, ServiceDownloadManager& manager,
                                             const std::string& readyMarkerPath);

// The relay server's download path mapper. A request path is read as the file serving reads it
// (each segment decoded up to its ";", empty and "." segments left out), so that every spelling of a
// path that would serve a file of the downloads folder is mapped as the plain one; a path the file
// serving refuses is left to it.
//
// An action's folder in the downloads folder (downloads/<action id>/, where finished downloads wait
// for the request file processor) is never served: a request into one that the cache does not
// answer, the "<action>/..." misses among them, is refused with HTTPRequestError 404. Without that,
// "<action>/0" would serve the folder's unverified "0" marker as the ready marker.
//
// The download state is read through one connection kept for the loop thread, whose statements wait
// at most kBusyTimeout for a locked database; a request that meets a database still locked then is
// taken as a miss that asks for nothing. Other failures pass (the server answers 500), and drop the
// connection, so the next request opens a new one.
//
// Used on the server's loop thread only. The settings and the manager must outlive it.
class DownloadPathServing : public DownloadPathMapper {
  public:
    static constexpr std::int64_t kBusyTimeout = 100'000;  // microseconds

    DownloadPathServing(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager);

    std::optional<std::string> MapDownloadPath(ConstData path, const std::string& readyMarkerPath) override;

  private:
    bool IsInActionFolder(const std::vector<std::string>& names) const;

    const DownloadSettingsProvider& m_settings;
    ServiceDownloadManager& m_manager;
    DownloadStateOnDemand m_state;
    std::vector<std::string> m_prefixNames;
};
