// The script and stylesheet of the diagnostics page, compiled into the relay: the server serves them
// as plain files from "Diagnostics/RelayDiagnostics.js" and "Diagnostics/RelayDiagnostics.css" under
// its root folder, where the diagnostics plug-in puts them when it starts.
//
// The script holds the functions the page's handlers name, each taking the form (or, for
// toggle_visibility, the id of a settings section):
//   toggle_visibility                  shows or hides a settings section's body ("+ " / "- ")
//   disableSingleComputerFields, enableSingleComputerAcionIDField,
//   enableSingleComputerResendReportFields, disableAllComputerFields,
//   enableAllComputerDownloadAvailableFields, disableCRCandRequest, enableCRCandRequest
//                                      enable the fields the chosen request type uses, disable the rest
//   singleComputerClientRegisterRequest, allComputerClientRegisterRequest
//                                      fill the hidden form from the visible one just before it is
//                                      sent: "NotifyClient" (or "NotifyAllClients") with the chosen
//                                      type as "Body", the action id or the report range as
//                                      "Argument" and "Argument2"; "IsDescendant" and "FetchCommands"
//                                      are request types of their own
//   requestGatherSiteRequest           points the site request at its command: the site's contents,
//                                      its version here ("-siteversion") or at the root
//                                      ("-rootversion"), or a gather of its latest or a given version
//   addRequestDownloadID               asks for "../../vtmirror/downloads/<ActionID>/<UrlID>"
//                                      (downloadRequestPath), which queues a download not yet cached
//
// A file already there is never replaced, so an administrator's own version stays. Each file is
// written whole under a temporary name and then given its name.
#pragma once

#include <array>

#include "base/file_location.h"

struct DiagnosticsFile {
    const char* name;  // in the "Diagnostics" folder of the server root
    const char* content;
};

extern const std::array<DiagnosticsFile, 2> kDiagnosticsFiles;

// Writes the file into "<serverRoot>/Diagnostics" (made when missing) unless a file of its name is
// there. The file errors of a failed write pass to the caller; nothing is left under the name then.
void WriteDiagnosticsFileIfMissing(const FileLocation& serverRoot, const DiagnosticsFile& file);
