// KVRMirrorRequestPlugIn: the operator's view of the relay's action downloads, named
// "KVRMirrorRequest" for the path "cgi-bin/vtdaruravidu/KVRMirrorRequest.exe". It serves the download
// reports (HTML, and XML plain or compressed from its report cache), retries an action's failed
// downloads, tells its version and refuses mirror requests; the commands are in
// mirror_request_commands.h.
//
// Each request runs on a plug-in thread of the server. A refused command is answered by its message
// page; any other failure is logged through the request ("KVRMirrorRequest: Error:\n<text>") and
// answered with status 500 and the plain-text body "Error:\n<text>", unless the reply has begun or
// the relay is stopping.
//
// Threads: HandleRequest runs on many threads at once; the report cache guards itself. The settings,
// the download manager and the stop event are not owned and outlive the plug-in. The cache's rebuild
// stops between actions once the stop event is set, and the plug-in's destruction waits for it.
#pragma once

#include <memory>

#include "foundation/event.h"
#include "http/http_plugin.h"
#include "relay/download/download_report_cache.h"
#include "relay/download/service_download_manager.h"
#include "relay/service/download_settings_provider.h"

class KVRMirrorRequestPlugIn : public HTTPPlugIn {
  public:
    KVRMirrorRequestPlugIn(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager,
                           Event& stopEvent);

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

  private:
    const DownloadSettingsProvider& m_settings;
    ServiceDownloadManager& m_manager;
    Event& m_stopEvent;
    DownloadReportCache m_reportCache;  // last: its rebuild reads the members above
};
