#include "relay/gather/kvr_gather_mirror_plugin.h"

#include <exception>

#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/gather/gather_mirror_commands.h"
#include "net/local_server_url.h"
#include "relay/gather/mirror_file_url.h"

KVRGatherMirrorPlugIn::KVRGatherMirrorPlugIn(const GatherServiceComponents& components)
    : HTTPPlugIn("KVRGatherMirror", true), m_components(components), m_serverBaseURL(ReadLocalServerURLText()) {
    AddName("cgi-bin/vtdaruravidu/KVRGatherMirror.exe");
}

KVRGatherMirrorPlugIn::~KVRGatherMirrorPlugIn() {
    m_components.stop.Set();
    m_thread.JoinAll();
}

void KVRGatherMirrorPlugIn::Start() {
    m_thread.Start([components = m_components] { GatherServiceLoop(components); });
}

void KVRGatherMirrorPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    PlugInLogFunctor log(*interface, "KVRGatherMirror: ");
    const HTTPRequest& request = interface->Request();
    const ClientSiteHeaders headers = ReadClientSiteHeaders(request);
    GatherMirrorRequest gatherRequest{
        .writer = writer,
        .headers = headers,
        .url = request.URL(),
        .method = request.Method().View(),
        .options = m_components.options,
        .gatherState = m_components.gatherState,
        .stop = m_components.stop,
        .serverBaseURL = m_serverBaseURL,
        .log = log,
    };
    try {
        DispatchGatherMirrorCommand(gatherRequest);
    } catch (const HTTPPlugInAbortException&) {
    } catch (const StopRequest&) {
    } catch (const std::exception& error) {
        log.Log(error.what());
        if (interface->Request().ReplyStarted()) return;
        try {
            SendPlainTextResponse(writer, error.what(), 500, false, false);
        } catch (...) {
        }
    }
}
