// The HTML download report: the download report (download_report.h) as a page for the operator,
// read afresh from the state store on every request, with a retry link for each failed action.
//
// The page has four sections, each listing its actions in action order: "Failed:", "Ready:", "In
// process:" (the active actions first) and "Pending:". An action's block names it, links a failed
// one to "<link base>/-retry?id=<action id>", tells an action in progress whether it is downloading
// or waiting for a retry and since when (local time), numbers its downloads with their progress and
// URLs, and shows a failed action's error lines.
//
// Every text that came from the network (URLs, error texts, the request path in the link base) is
// made safe first (EscapeHTMLText): a planted "<script>" or quotation mark stays text.
#pragma once

#include <string>
#include <string_view>

#include "base/const_data.h"
#include "foundation/event.h"
#include "http/cgi_response.h"
#include "relay/download/download_report.h"
#include "relay/service/download_settings_provider.h"

// The path the retry links begin with, from the request path as it came (not decoded): "/" and each
// component but the last, and the last too when it names the plug-in ("KVRMirrorRequest.exe" or
// "KVRMirrorRequest", in any case). Empty components are left out, so a link never begins with "//"
// (which would name another host).
std::string HTMLReportLinkBase(ConstData requestPath);

// One action's block, beginning "<P>Action: <id>"; `linkBase` is HTMLReportLinkBase's text, to which
// a failed action's link adds "/-retry?id=<id>" ("/" put in front of a base that lacks it).
std::string WriteHTMLActionDownload(const ActionDownload& action, std::string_view linkBase);

// Builds the report (BuildActionDownloads; StopRequest once the stop event is set, the store's
// errors) and only then writes the whole reply through the writer: head, page and sections.
// `requestURL` is the request target, its query ignored.
void SendHTMLDownloadReport(ClientWriter& writer, const std::string& requestURL,
                            const DownloadSettingsProvider& settings, Event& stopEvent);
