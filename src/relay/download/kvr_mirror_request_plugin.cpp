#include "relay/download/kvr_mirror_request_plugin.h"

#include <exception>
#include <string>

#include "foundation/interruptor.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/download/action_targets.h"
#include "relay/download/mirror_request_commands.h"
#include "relay/download/xml_download_report.h"

namespace {

// A stop ends the request without a reply; a reply that has begun gets no second one.
void ReplyWithError(HTTPPlugInInterface& interface, ClientWriter& writer, LogFunctor& log,
                    const std::string& text) {
    const std::string body = "Error:\n" + text;
    log.Log(body);
    if (interface.Request().ReplyStarted()) return;
    try {
        SendPlainTextResponse(writer, body, 500, false, false);
    } catch (...) {
    }
}

}  // namespace

KVRMirrorRequestPlugIn::KVRMirrorRequestPlugIn(const DownloadSettingsProvider& settings,
                                               ServiceDownloadManager& manager, Event& stopEvent)
    : HTTPPlugIn("KVRMirrorRequest", true),
      m_settings(settings),
      m_manager(manager),
      m_stopEvent(stopEvent),
      m_reportCache([this] { return BuildXMLDownloadReport(m_settings, m_stopEvent); }) {
    AddName("cgi-bin/vtdaruravidu/KVRMirrorRequest.exe");
}

void KVRMirrorRequestPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    PlugInLogFunctor log(*interface, "KVRMirrorRequest: ");
    const HTTPRequest& request = interface->Request();
    MirrorRequest mirrorRequest{
        .writer = writer,
        .url = request.URL(),
        .method = request.Method().View(),
        .settings = m_settings,
        .reportCache = m_reportCache,
        .stopEvent = m_stopEvent,
        .retryFailedActionDownloads =
            [this](std::uint32_t actionID) {
                return RetryFailedActionDownloads(actionID, m_settings, m_manager);
            },
        .log = log,
    };
    try {
        DispatchMirrorCommand(mirrorRequest);
    } catch (const HTTPPlugInAbortException&) {
    } catch (const StopRequest&) {
    } catch (const std::exception& error) {
        ReplyWithError(*interface, writer, log, error.what());
    } catch (...) {
        ReplyWithError(*interface, writer, log, "No diagnostic message available");
    }
}
