#include "relay/gather/gather_mirror_pages.h"

#include <array>

#include "formats/xml_escaping.h"
#include "foundation/buffer_writer.h"
#include "foundation/time_text.h"
#include "relay/download/download_report.h"
#include "relay/gather/site_gather_status.h"
#include "relay/register/registration_replies.h"

namespace {

constexpr std::string_view kReportHTMLHead =
    "<HTML><HEAD>\r\n<TITLE>Gather Status Report</TITLE>\r\n</HEAD><BODY>\r\n"
    "<P><BIG><DIV ALIGN=CENTER>Gather Status Report</DIV></BIG>\r\n"
    "<STYLE TYPE=\"text/css\">\r\n<!--\r\n.indented\r\n   {\r\n   padding-left: 20pt;\r\n"
    "   padding-right: 20pt;\r\n   }\r\n-->\r\n</STYLE>\r\n";
constexpr std::string_view kSectionEnd = "</DIV></P>\r\n";
constexpr std::string_view kReportEnd = "</DIV></P>\r\n</BODY></HTML>\r\n";

// A report section: its title and the block of one site whose status belongs to it.
struct ReportSection {
    std::string_view title;
    bool (*holds)(std::uint32_t code);
    std::string (*block)(std::uint32_t siteID, const std::string& url, const SiteGatherStatus& status);
};

std::string DateText(const SiteGatherStatus& status) {
    return std::string(FormatTimeText(status.time, TimeZoneOffset()).View());
}

std::string BlockStart(std::uint32_t siteID, const SiteGatherStatus& status) {
    return "<P><pre>Id: " + std::to_string(siteID) + "\tDate: " + DateText(status);
}

std::string FailedBlock(std::uint32_t siteID, const std::string& url, const SiteGatherStatus& status) {
    return BlockStart(siteID, status) + "\r\nUrl: " + GatherPageText(url) +
           "\r\nError Message: " + GatherPageText(status.message) + "\r\n</pre><br>";
}

std::string ReadyBlock(std::uint32_t siteID, const std::string& url, const SiteGatherStatus& status) {
    return BlockStart(siteID, status) + "\tVersion: " + std::to_string(status.committedVersion) +
           "\r\nUrl: " + GatherPageText(url) + "\r\n</pre><br>";
}

std::string InProcessBlock(std::uint32_t siteID, const std::string& url, const SiteGatherStatus& status) {
    return BlockStart(siteID, status) + "\r\nUrl: " + GatherPageText(url) + "\r\n</pre><br>";
}

constexpr std::array kReportSections = {
    ReportSection{"Failed", [](std::uint32_t code) { return code == SiteGatherStatusCode::kGatherError; },
                  FailedBlock},
    ReportSection{"Ready", [](std::uint32_t code) { return code == 3 || code == SiteGatherStatusCode::kSiteAvailable; },
                  ReadyBlock},
    ReportSection{"In Process",
                  [](std::uint32_t code) { return code == SiteGatherStatusCode::kGatherInProgress; },
                  InProcessBlock},
};

void Send(ClientWriter& writer, std::string_view text) {
    writer.Receive(ConstData(text));
}

}  // namespace

std::string GatherPageText(std::string_view text) {
    const std::string escaped = EscapeHTMLText(ConstData(text));
    std::string page;
    page.reserve(escaped.size());
    for (const char c : escaped) {
        if (c == '\'')
            page += "&#39;";
        else
            page += c;
    }
    return page;
}

bool SendGatherConfigurationMessage(ClientWriter& writer, std::string_view message, int httpStatus,
                                    std::uint32_t mirrorStatus, std::uint32_t detail) {
    std::array<char, kConfigurationMessageBufferSize> headerBuffer;
    BufferWriter headers(headerBuffer.data(), static_cast<std::int32_t>(headerBuffer.size()));
    headers.Append("STATUS: ");
    headers.AppendDecimal(static_cast<std::uint32_t>(httpStatus));
    headers.Append("\r\n");
    if (mirrorStatus != 0) {
        headers.Append("x-kvr-gather-mirror-status: ");
        headers.AppendDecimal(mirrorStatus);
        headers.Append(",");
        headers.AppendDecimal(detail);
        headers.Append("\r\n");
    }

    std::array<char, kConfigurationMessageBufferSize> bodyBuffer;
    BufferWriter body(bodyBuffer.data(), static_cast<std::int32_t>(bodyBuffer.size()));
    body.Append("<HTML><HEAD>\r\n<TITLE>Configuration message</TITLE>\r\n</HEAD><BODY>\r\n<P>\r\n");
    body.Append(GatherPageText(message).c_str());
    body.Append("\r\n</BODY></HTML>\r\n");

    return SendHTMLResponse(writer, std::string_view(body.Text(), static_cast<std::size_t>(body.Used())),
                            std::string_view(headers.Text(), static_cast<std::size_t>(headers.Used())),
                            httpStatus, false);
}

bool SendGatherVersionReply(ClientWriter& writer) {
    return SendGatherConfigurationMessage(writer, "KVRGatherMirrorNew version " + std::string(kRelayVersionText),
                                          200, GatherMirrorStatus::kSuccess);
}

bool SendGatherInvalidCommandReply(ClientWriter& writer) {
    return SendGatherConfigurationMessage(writer, "invalid command", 200, GatherMirrorStatus::kUnknownCommand);
}

std::string GatherReportHead() {
    return DownloadReportHead("text/html");
}

// Each section walks its own copy of the map and asks for each site's status afresh, so a site whose
// gather ends while the report is written may show in two sections or in none; the report is a view,
// not a snapshot.
void WriteGatherStatusReport(ClientWriter& writer, GatherState& state, const URLToGatherIDMap& gatherMap) {
    Send(writer, GatherReportHead());
    Send(writer, kReportHTMLHead);
    for (const ReportSection& section : kReportSections) {
        Send(writer, "<P><b>" + std::string(section.title) + ":</b>\r\n<DIV CLASS=\"indented\">\r\n");
        for (const auto& [url, siteID] : gatherMap.CopyMap()) {
            const SiteGatherStatus status = state.GetStatus(url);
            if (section.holds(status.code)) Send(writer, section.block(siteID, url, status));
        }
        Send(writer, kSectionEnd);
    }
    Send(writer, kReportEnd);
    writer.End();
}
