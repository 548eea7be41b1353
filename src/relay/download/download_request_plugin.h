// DownloadRequestPlugIn: the HTTP plug-in through which child relays ask this relay for files,
// named "DownloadRequest" for the path "cgi-bin/DownloadRequest" (a child that posts to
// "<its Server1>/DownloadRequest" reaches it by the name too, plugin_path_table.h).
//
// A request POSTs a versioned list of download targets (versioned_object_list.h). Each target is
// answered at once, in the body's order, with a download response (download_response.h): Available
// when its file is in the cache (cached_targets.h), else InProcess. The InProcess targets go to the
// download manager to be asked of this relay's own parent (AddRequestedTargets), every time they are
// asked for; cached targets that have no row in the download state yet are handed to it as downloads
// (AddDownloads, not forced), which records them. A target whose cache test fails gets no response
// and is logged at "critical" ("Unexpected exception while processing download request: ").
//
// Replies are plain text: 200 with the response list; 405 with a fixed text for another method than
// POST; 413 for a body over kMostBodyBytes or with more than kMostTargets targets, before anything is
// processed; 500 with the failure's text for a body that does not read as a target list, or any other
// failure. The errors are logged through the request's debug log ("DownloadRequestPlugIn: ").
//
// Threaded: requests run on the server's plug-in threads (at most "_HTTPServer_ThreadLimit_
// DownloadRequest" at once), each with its own DownloadState connection. The settings and the manager
// are not owned and must outlive the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "http/cgi_response.h"
#include "http/http_plugin.h"
#include "relay/service/download_settings_provider.h"

class ServiceDownloadManager;

class DownloadRequestPlugIn : public HTTPPlugIn {
  public:
    static constexpr std::uint64_t kMostBodyBytes = 16 * 1024 * 1024;
    static constexpr std::size_t kMostTargets = 10'000;

    DownloadRequestPlugIn(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager);

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

  private:
    void HandleDownloadRequest(HTTPPlugInInterface& interface, ClientWriter& writer);
    void ReplyWithError(HTTPPlugInInterface& interface, ClientWriter& writer, int status, const std::string& message);

    const DownloadSettingsProvider& m_settings;
    ServiceDownloadManager& m_manager;
};
