// The lower half of the diagnostics page: forms that send test requests to the relay's own plug-ins.
//
// - Site gathering: a link to the gather status page, a button that gathers every site, and a form
//   of site requests whose "url" list holds the gathered sites in the map's byte order, each URL
//   made safe for the page (PageText, diagnostics_values.h).
// - Client register: "Get Computer ID", requests for one computer and for all computers. The visible
//   forms ("SingleComputerRequestsForm", "AllComputerRequestsForm") only collect; their Submit
//   buttons sit in hidden forms that the page's script fills from them before they go to
//   "ClientRegister.exe".
// - Download: links to the download status pages and a form that asks for one download by action
//   and index.
//
// Links and form actions are relative to the page: "../../" leads back to the server root from each
// of the page's paths. The handlers name the functions of the page's script (diagnostics_files.h).
// The client register and download texts are fixed.
//
// Thread-safety: no state; the gather map locks itself.
#pragma once

#include <string>

#include "relay/gather/url_to_gather_id_map.h"

std::string MakeGatherSection(const URLToGatherIDMap& gatherMap);
std::string MakeClientRegisterSection();
std::string MakeDownloadSection();
