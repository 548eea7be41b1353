#include "relay/download/html_download_report.h"

#include <algorithm>
#include <vector>

#include "base/character_classes.h"
#include "formats/xml_escaping.h"
#include "foundation/clocks.h"
#include "foundation/time_text.h"
#include "net/url_info.h"
#include "net/url_path_iterator.h"

namespace {

constexpr std::string_view kPageHead =
    "<HTML><HEAD>\r\n<TITLE>Download Status Report</TITLE>\r\n</HEAD><BODY>\r\n"
    "<P><BIG><DIV ALIGN=CENTER>Download Status Report</DIV></BIG>\r\n"
    "<STYLE TYPE=\"text/css\">\r\n<!--\r\n.indented\r\n   {\r\n   padding-left: 20pt;\r\n"
    "   padding-right: 20pt;\r\n   }\r\n-->\r\n</STYLE>\r\n";
constexpr std::string_view kSectionEnd = "</DIV></P>\r\n";
constexpr std::string_view kPageEnd = "</BODY></HTML>";

std::string HTMLText(std::string_view text) {
    return EscapeHTMLText(ConstData(text));
}

void Send(ClientWriter& writer, std::string_view text) {
    writer.Receive(ConstData(text));
}

void SendSection(ClientWriter& writer, std::string_view heading,
                 const std::vector<const ActionDownload*>& actions, std::string_view linkBase) {
    Send(writer, std::string("<P><b>") + std::string(heading) + ":</b><DIV CLASS=\"indented\">\r\n");
    for (const ActionDownload* action : actions) Send(writer, WriteHTMLActionDownload(*action, linkBase));
    Send(writer, kSectionEnd);
}

std::vector<const ActionDownload*> InState(const std::vector<ActionDownload>& actions,
                                           DownloadMirrorActionStatus state) {
    std::vector<const ActionDownload*> selected;
    for (const ActionDownload& action : actions)
        if (action.state == state) selected.push_back(&action);
    return selected;
}

// In process: the active actions first, then those waiting for a retry, each group in action order.
std::vector<const ActionDownload*> InProcess(const std::vector<ActionDownload>& actions) {
    std::vector<const ActionDownload*> selected = InState(actions, DownloadMirrorActionStatus::InProgress);
    std::stable_partition(selected.begin(), selected.end(),
                          [](const ActionDownload* a) { return a->isActive; });
    return selected;
}

// The plug-in answers under its path and under its name: a path ending in either keeps it in the base.
bool IsPlugInComponent(std::string_view component) {
    return Ascii::EqualIgnoringCase(component, "kvrmirrorrequest.exe") ||
           Ascii::EqualIgnoringCase(component, "kvrmirrorrequest");
}

}  // namespace

std::string HTMLReportLinkBase(ConstData requestPath) {
    std::vector<std::string_view> components;
    for (URLPathIterator it = URLPathIterator::First(requestPath); !it.AtEnd(); it.Next())
        components.push_back(it.Current().whole.View());
    std::string base;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const bool last = i + 1 == components.size();
        if (components[i].empty()) continue;
        if (last && !IsPlugInComponent(components[i])) continue;
        base += "/";
        base += components[i];
    }
    return base;
}

std::string WriteHTMLActionDownload(const ActionDownload& action, std::string_view linkBase) {
    std::string block = "<P>Action: " + std::to_string(action.actionID);
    if (action.state == DownloadMirrorActionStatus::Failed) {
        block += " <A HREF=\"";
        if (!linkBase.empty() && linkBase.front() != '/') block += "/";
        block += HTMLText(linkBase) + "/-retry?id=" + std::to_string(action.actionID) +
                 "\">Retry Mirror Request</A>";
    }
    if (action.state == DownloadMirrorActionStatus::InProgress) {
        block += action.isActive ? " downloading" : " waiting for retry";
        if (action.date != 0)
            block += " " + std::string(FormatTimeText(action.date, GetLocalZoneOffset()).View());
    }
    std::uint64_t number = 0;
    for (const DownloadReportEntry& entry : action.downloads) {
        block += "<br>url " + std::to_string(++number);
        if (entry.bytesDownloaded && entry.totalBytes)
            block += " " + std::to_string(*entry.bytesDownloaded) + " bytes of " +
                     std::to_string(*entry.totalBytes);
        block += ": " + HTMLText(entry.target.GetURL().value_or(""));
    }
    if (action.state == DownloadMirrorActionStatus::Failed && !action.error.empty())
        block += "<br>Error Status: " + HTMLText(action.error);
    return block;
}

void SendHTMLDownloadReport(ClientWriter& writer, const std::string& requestURL,
                            const DownloadSettingsProvider& settings, Event& stopEvent) {
    const std::vector<ActionDownload> actions = BuildActionDownloads(settings, stopEvent);
    const URLInfo url{ConstData(requestURL)};
    const std::string linkBase = HTMLReportLinkBase(url.PathRange());

    Send(writer, DownloadReportHead("text/html"));
    Send(writer, kPageHead);
    SendSection(writer, "Failed", InState(actions, DownloadMirrorActionStatus::Failed), linkBase);
    SendSection(writer, "Ready", InState(actions, DownloadMirrorActionStatus::Ready), linkBase);
    SendSection(writer, "In process", InProcess(actions), linkBase);
    SendSection(writer, "Pending", InState(actions, DownloadMirrorActionStatus::Pending), linkBase);
    Send(writer, kPageEnd);
    writer.End();
}
