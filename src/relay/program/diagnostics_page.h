// The diagnostics page: one HTML page that shows an operator the settings that govern the relay, how
// full its result-forwarding buffer is, what the upload manager is doing, and forms that send test
// requests to the other plug-ins. Everything is read afresh for each page, which is assembled whole in
// memory and then sent.
//
// The page, with nothing between the tags:
//
//   <HTML><HEAD><TITLE>Relay Diagnostics</TITLE>
//   <LINK rel="stylesheet" type="text/css" href="../../Diagnostics/RelayDiagnostics.css" />
//   <SCRIPT type="text/javascript" src="../../Diagnostics/RelayDiagnostics.js"></SCRIPT></HEAD><BODY>
//   title, the six settings sections (diagnostics_settings_sections.h), <hr>, the status section,
//   the site gathering, client register and download forms (diagnostics_request_forms.h)
//   </BODY></HTML>
//
// The status section measures the forwarding buffer ("ForwardingBufferDir" of the results buffer
// directory) against the post-results limits "BufferDirectoryMaxSize" and "BufferDirectoryMaxCount",
// through the relay's buffer counters, which count the folder at most once every five seconds however
// often the page is loaded:
//
//   <div class="sectiontitle">Relay Status Information</div><br>
//   <div class="formline"><div class="formlabel">Quorel File Size Limit:</div>
//   <div class="forminput">P% ( BYTES / MAXBYTES Bytes )</div></div>
//   <div class="formline"><div class="formlabel">Quorel File Count Limit:</div>
//   <div class="forminput">P% ( FILES / MAXFILES Files )</div></div>
//   <div class="formline"><div class="formlabel">Upload Manager Status:</div>
//   <div class="forminput">STATUS</div></div>
//   [<div class="warning">Warning! The Quorel buffer directory is overloaded and new posts will not be
//   accepted.</div>]<br><hr>
//
// Percentages have two decimals; a limit of 0 gives "NaN" for an empty buffer and "+infinity" for
// another. STATUS is the status text of the upload manager that runs (upload_manager.h), or "No upload
// manager" while none does.
//
// Building a page creates no folder, loads no key and reveals no secret: no proxy credentials, no
// key material, and URLs without their user info (diagnostics_values.h).
//
// Thread-safety: pages are built on many request threads at once; the sources lock themselves.
#pragma once

#include <optional>
#include <string>

#include "base/file_location.h"
#include "foundation/locked_counters.h"
#include "http/cgi_response.h"
#include "http/http_server_settings.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "relay/post/post_file_options_manager.h"
#include "relay/service/gather_options_manager.h"

// What the page reads, as the run routine holds it; nothing is owned.
struct DiagnosticsSources {
    const GatherOptionsManager& configuration;
    const PostFileOptionsManager& postFileOptions;
    const HTTPServerSettings& serverSettings;
    const URLToGatherIDMap& gatherMap;
    // The counts of the result-forwarding buffer, shared with the post-results plug-in.
    LockedCounters& resultBufferCounters;
};

// "Veltra Relay Diagnostics" and "(Version: 8.0.627.0)".
std::string MakeTitleSection();
// The status section over the forwarding buffer folder; no upload manager status says "No upload
// manager".
std::string MakeStatusInformationSection(const FileLocation& forwardingBuffer, LockedCounters& counters,
                                         const std::optional<std::string>& uploadManagerStatus);
// The whole page.
std::string MakeDiagnosticsPage(const DiagnosticsSources& sources);
// The page as a complete reply: status 200, "Content-Type: text/html", its length and the no-cache
// lines (http/cgi_response.h). The reading errors of the settings pass to the caller before anything
// is written.
void BuildDiagnosticsPage(ClientWriter& writer, const DiagnosticsSources& sources);
