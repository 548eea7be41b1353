// RelayDiagnosticsPlugIn: the diagnostics page (diagnostics_page.h) at "RelayDiagnostics",
// "cgi-bin/vtdaruravidu/RelayDiagnostics.exe" and "rd", for GET and POST alike; the query and any body
// are not read.
//
// Who may see it: anyone who reaches the relay's port, with no check of its own, as operators use it
// from afar. The named setting "_KVRRelay_Diagnostics_Enable" (default 1) is the switch: the run
// routine builds the plug-in always but enters it into the path table only while the setting is not
// 0, so that "/rd" is then an ordinary file path. The page reveals no secret (diagnostics_page.h).
//
// Start writes the page's script and stylesheet under the server root when they are missing
// (diagnostics_files.h); a failed write is logged at "critical" and the page is served all the same.
//
// A page that cannot be built is answered, with status 200 and as plain text, "\r\nError: <text>\r\n",
// which is also logged through the request's debug log after "RelayDiagnostics: ". An exception that
// leaves the page is offered to the crash report first (settings/crash_report.h).
//
// Threads: each request runs on a plug-in thread of the server, several at once; the plug-in keeps no
// state of its own. The sources are the run routine's and outlive the plug-in.
#pragma once

#include <memory>

#include "http/http_plugin.h"
#include "relay/program/diagnostics_page.h"

class RelayDiagnosticsPlugIn : public HTTPPlugIn {
  public:
    explicit RelayDiagnosticsPlugIn(const DiagnosticsSources& sources);

    void Start() override;
    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

  private:
    const DiagnosticsSources m_sources;
};

// "_KVRRelay_Diagnostics_Enable", read now: whether the page is served.
bool IsDiagnosticsPageEnabled();
