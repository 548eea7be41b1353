#include "relay/program/relay_diagnostics_plugin.h"

#include <exception>
#include <string>

#include "base/exceptions.h"
#include "foundation/log_manager.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/program/diagnostics_files.h"
#include "settings/configuration_settings.h"
#include "settings/crash_report.h"

RelayDiagnosticsPlugIn::RelayDiagnosticsPlugIn(const DiagnosticsSources& sources)
    : HTTPPlugIn("RelayDiagnostics", true), m_sources(sources) {
    AddName("cgi-bin/vtdaruravidu/RelayDiagnostics.exe");
    AddName("rd");
}

void RelayDiagnosticsPlugIn::Start() {
    const FileLocation& serverRoot = m_sources.serverSettings.serverRootPath;
    for (const DiagnosticsFile& file : kDiagnosticsFiles) {
        try {
            WriteDiagnosticsFileIfMissing(serverRoot, file);
        } catch (const std::exception& error) {
            KVR_LOG("critical") << "RelayDiagnostics: unable to write " << file.name << " under "
                                << serverRoot.GetPathString() << ": " << error.what();
        }
    }
}

// The error reply is sent unguarded: when it fails in turn (a stop aborting the request), that
// failure goes on to the server, which logs it.
void RelayDiagnosticsPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    try {
        RunWithMiniDumpGuard([&] { BuildDiagnosticsPage(writer, m_sources); });
    } catch (...) {
        const std::string text = "\r\nError: " + CurrentExceptionText() + "\r\n";
        PlugInLogFunctor(*interface, "RelayDiagnostics: ").Log(text);
        SendPlainTextResponse(writer, text, 200, false, false);
    }
}

bool IsDiagnosticsPageEnabled() {
    return ConfigurationNumber(2, "KVRRelay", "Diagnostics", "Enable", 1).GetValue() != 0;
}
