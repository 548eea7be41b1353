#include "relay/gather/relay_gather_mirror_new_plugin.h"

#include <exception>
#include <string>

#include "foundation/interruptor.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/gather/gather_mirror_new_commands.h"

namespace {

// The failure's text goes to the log only; the client learns no more than that it failed. A stop
// ends the request without a reply, and a reply that has begun gets no second one.
void ReplyWithUnhandledException(HTTPPlugInInterface& interface, ClientWriter& writer, LogFunctor& log,
                                 const std::string& text) {
    log.Log(text);
    if (interface.Request().ReplyStarted()) return;
    try {
        SendPlainTextResponse(writer, "Unhandled Exception", 500, false, false);
    } catch (...) {
    }
}

}  // namespace

RelayGatherMirrorNewPlugIn::RelayGatherMirrorNewPlugIn(URLToGatherIDMap& gatherMap, GatherState& state)
    : HTTPPlugIn("KVRGatherMirrorNew", true), m_gatherMap(gatherMap), m_state(state) {
    AddName("cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe");
}

void RelayGatherMirrorNewPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    PlugInLogFunctor log(*interface, "KVRGatherMirrorNew: ");
    GatherMirrorNewRequest request{
        .writer = writer,
        .url = interface->Request().URL(),
        .state = m_state,
        .gatherMap = m_gatherMap,
        .log = log,
    };
    try {
        DispatchGatherMirrorNewCommand(request);
    } catch (const HTTPPlugInAbortException&) {
    } catch (const StopRequest&) {
    } catch (const std::exception& error) {
        ReplyWithUnhandledException(*interface, writer, log, error.what());
    } catch (...) {
        ReplyWithUnhandledException(*interface, writer, log, "No diagnostic message available");
    }
}
