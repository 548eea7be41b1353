#include "relay/gather/gather_mirror_new_commands.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "net/url_info.h"
#include "relay/gather/gather_mirror_pages.h"
#include "relay/gather/kvr_gather_error.h"

namespace {

using CommandHandler = void (*)(GatherMirrorNewRequest& request);

struct GatherCommand {
    std::string_view word;
    CommandHandler handler;
};

// The last value of the query's pair named `name` (ignoring case); none without such a pair.
std::optional<std::string> QueryValue(const std::string& url, std::string_view name) {
    const URLInfo info{ConstData(url)};
    if (!info.HasQuery()) return std::nullopt;
    std::optional<std::string> value;
    for (const auto& pair : ParseNameValueList(info.GetQuery().View()))
        if (Ascii::EqualIgnoringCase(pair.first.GetConstData().View(), name))
            value = std::string(pair.second.GetConstData().View());
    return value;
}

std::string RequiredQueryValue(const std::string& url, std::string_view name) {
    std::optional<std::string> value = QueryValue(url, name);
    if (!value)
        throw KVRGatherError("Must provide a \"" + std::string(name) + "\" parameter.",
                             GatherMirrorStatus::kMissingParameter);
    return *value;
}

void GatherLatest(GatherMirrorNewRequest& request) {
    const std::string site = RequiredQueryValue(request.url, "url");
    request.state.QueueSiteGatherRequest(site, SiteVersion(), 0);
    SendGatherConfigurationMessage(request.writer, "Asked parent for latest version of site \"" + site + "\".",
                                   200, GatherMirrorStatus::kSuccess);
}

// Both parameters are checked before anything is queued; the version must be a 32-bit decimal
// (NotANumeral or NumeralTooLarge otherwise), useCRC is read as C's atoi reads it.
void GatherVersion(GatherMirrorNewRequest& request) {
    const std::string site = RequiredQueryValue(request.url, "url");
    const std::string versionText = RequiredQueryValue(request.url, "version");
    const std::uint32_t version = DecimalToUInt32(ConstData(versionText));
    const bool isCRC = std::strtol(QueryValue(request.url, "useCRC").value_or("0").c_str(), nullptr, 10) != 0;
    request.state.QueueSiteGatherRequest(site, SiteVersion(version, isCRC), 0);
    SendGatherConfigurationMessage(
        request.writer, "Requested version " + std::to_string(version) + " of site \"" + site + "\".", 200,
        GatherMirrorStatus::kSuccess);
}

constexpr std::string_view kGatherAllHead =
    "<HTML><HEAD><TITLE>Gather Status Report</TITLE></HEAD><BODY><P><BIG><DIV ALIGN=CENTER>Gather Status "
    "Report</DIV></BIG><STYLE TYPE=\"text/css\"> .indented { padding-left: 20pt; padding-right: 20pt; } "
    "</STYLE><P><b>Triggering a gather of the latest version of all currently present sites...</b></P>"
    "<DIV CLASS=\"indented\">";

void Send(ClientWriter& writer, std::string_view text) {
    writer.Receive(ConstData(text));
}

// Each site is named before it is queued, so a failure leaves the page showing where it stopped.
void GatherAll(GatherMirrorNewRequest& request) {
    Send(request.writer, GatherReportHead());
    Send(request.writer, kGatherAllHead);
    for (const auto& [url, siteID] : request.gatherMap.CopyMap()) {
        Send(request.writer, "<P><pre>Starting gather of site \"" + GatherPageText(url) +
                                 "\" (site id: " + std::to_string(siteID) + ")</pre></P>");
        // The page is under way: a site the gather state refuses (one mapped before the URL rules)
        // is said so on its line, and the others are still queued.
        try {
            request.state.QueueSiteGatherRequest(url, SiteVersion(), 0);
            Send(request.writer, "<P><pre>\tAsked parent for latest version.</pre></P>");
        } catch (const UnableToGenerateSiteID&) {
            Send(request.writer, "<P><pre>\tNot gathered: not a site URL this relay gathers.</pre></P>");
        }
    }
    Send(request.writer, "</DIV></P></BODY></HTML>");
    request.writer.End();
}

void SendStatusReport(GatherMirrorNewRequest& request) {
    WriteGatherStatusReport(request.writer, request.state, request.gatherMap);
}

void SendVersion(GatherMirrorNewRequest& request) {
    SendGatherVersionReply(request.writer);
}

void SendInvalidCommand(GatherMirrorNewRequest& request) {
    SendGatherInvalidCommandReply(request.writer);
}

// The queueing commands, looked at first and in this order.
constexpr std::array kGatherCommands = {
    GatherCommand{"-gatherall", GatherAll},
    GatherCommand{"-gatherlatest", GatherLatest},
    GatherCommand{"-gatherversion", GatherVersion},
};

// The page commands, sorted by the words' bytes for the binary search below.
constexpr std::array kPageCommands = {
    GatherCommand{"", SendStatusReport},
    GatherCommand{"-report", SendStatusReport},
    GatherCommand{"-version", SendVersion},
    GatherCommand{"kvrgathermirrornew.exe", SendStatusReport},
};
static_assert(std::is_sorted(kPageCommands.begin(), kPageCommands.end(),
                             [](const GatherCommand& a, const GatherCommand& b) { return a.word < b.word; }));

CommandHandler FindCommand(std::string_view word) {
    for (const GatherCommand& command : kGatherCommands)
        if (command.word == word) return command.handler;
    const auto found =
        std::lower_bound(kPageCommands.begin(), kPageCommands.end(), word,
                         [](const GatherCommand& command, std::string_view w) { return command.word < w; });
    return found != kPageCommands.end() && found->word == word ? found->handler : SendInvalidCommand;
}

}  // namespace

void DispatchGatherMirrorNewCommand(GatherMirrorNewRequest& request) {
    const CommandHandler handler = FindCommand(PlugInCommandWord(request.url));
    try {
        handler(request);
    } catch (const KVRGatherError& error) {
        request.log.Log(error.what());
        SendGatherConfigurationMessage(request.writer, error.what(), 200, error.Code(), error.Detail());
    }
}
