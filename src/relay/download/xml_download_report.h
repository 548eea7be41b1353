// The XML download report: the download report (download_report.h) as a UTF-8 document for programs,
// made as plain text and as a zlib stream (RFC 1950) of the same bytes in one pass. The mirror-request
// plug-in serves both from its DownloadReportCache (download_report_cache.h).
//
// The document (absent optional values leave their element out):
//
//   DownloadReport
//     ActionDownload            one per action, in action order
//       ActionID State Error IsActive Date
//       Downloads               one per entry
//         DownloadRequestTarget   ActionID Index Hash Size URL
//         Status                  State Timestamp RetryCount Error (ErrorCode ErrorString)
//         Available BytesDownloaded TotalBytes MinutesToNextRetry RetryLimit
//
// State is "Failed", "Ready", "InProgress" or "Pending"; Status/State the download state's name;
// Hash 40 lower-case hexadecimal digits; IsActive and Available 0 or 1; Date and Timestamp time texts
// in UTC (time_text.h). Texts from the network (URLs, error texts) are made safe first
// (ReplaceUnsafeCharacters): a control byte or malformed UTF-8 cannot make the document ill-formed.
#pragma once

#include <string>
#include <vector>

#include "foundation/event.h"
#include "relay/download/download_report.h"
#include "relay/service/download_settings_provider.h"

struct XMLDownloadReport {
    std::string plain;
    std::string compressed;
};

// The document of the actions, both forms.
XMLDownloadReport WriteXMLDownloadReport(const std::vector<ActionDownload>& actions);
// Reads the store (BuildActionDownloads: StopRequest once the stop event is set, the store's errors)
// and writes the document.
XMLDownloadReport BuildXMLDownloadReport(const DownloadSettingsProvider& settings, Event& stopEvent);
