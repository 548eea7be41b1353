#include "relay/download/mirror_request_commands.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "net/url_info.h"
#include "relay/download/html_download_report.h"
#include "relay/register/registration_replies.h"

namespace {

using CommandHandler = void (*)(MirrorRequest& request);

struct MirrorCommand {
    std::string_view word;
    CommandHandler handler;
};

void SendHTMLReport(MirrorRequest& request) {
    SendHTMLDownloadReport(request.writer, request.url, request.settings, request.stopEvent);
}

void SendPlainTextReport(MirrorRequest& request) {
    SendTextDownloadReport(request.writer, DownloadReportCache::Form::Plain, request.reportCache);
}

void SendCompressedTextReport(MirrorRequest& request) {
    SendTextDownloadReport(request.writer, DownloadReportCache::Form::Compressed, request.reportCache);
}

// A relay passes no mirror requests on; the method and body do not matter.
void SubmitMirrorRequest(MirrorRequest&) {
    throw MirrorDownloadError("Can't submit download requests to Relays.", MirrorStatusCode::RequestsRefused);
}

void RetryMirrorAction(MirrorRequest& request) {
    if (!Ascii::EqualIgnoringCase(request.method, "get"))
        throw MirrorDownloadError("Incorrect submit method.", MirrorStatusCode::IncorrectMethod);
    const std::uint32_t actionID = ParseRetryActionID(request.url);
    const bool handedBack = request.retryFailedActionDownloads(actionID);
    SendMirrorMessagePage(handedBack ? "Request retry started." : "That download has not failed.", 200,
                          request.writer, MirrorStatusCode::Success);
}

void SendVersionPage(MirrorRequest& request) {
    SendMirrorMessagePage("KVRMirrorRequest version " + std::string(kRelayVersionText), 200, request.writer,
                          MirrorStatusCode::Success);
}

void RefuseUnknownCommand(MirrorRequest&) {
    throw MirrorDownloadError("invalid command", MirrorStatusCode::InvalidCommand);
}

// Sorted by the words' bytes, for the binary search below; one line per command.
constexpr std::array kCommands = {
    MirrorCommand{"", SendHTMLReport},
    MirrorCommand{"-compressedtextreport", SendCompressedTextReport},
    MirrorCommand{"-report", SendHTMLReport},
    MirrorCommand{"-request", SubmitMirrorRequest},
    MirrorCommand{"-retry", RetryMirrorAction},
    MirrorCommand{"-textreport", SendPlainTextReport},
    MirrorCommand{"-version", SendVersionPage},
    MirrorCommand{"kvrmirrorrequest", SendHTMLReport},
    MirrorCommand{"kvrmirrorrequest.exe", SendHTMLReport},
};
static_assert(std::is_sorted(kCommands.begin(), kCommands.end(),
                             [](const MirrorCommand& a, const MirrorCommand& b) { return a.word < b.word; }));

CommandHandler FindCommand(std::string_view word) {
    const auto found =
        std::lower_bound(kCommands.begin(), kCommands.end(), word,
                         [](const MirrorCommand& command, std::string_view w) { return command.word < w; });
    return found != kCommands.end() && found->word == word ? found->handler : RefuseUnknownCommand;
}

}  // namespace

void DispatchMirrorCommand(MirrorRequest& request) {
    const CommandHandler handler = FindCommand(PlugInCommandWord(request.url));
    try {
        handler(request);
    } catch (const MirrorDownloadError& error) {
        request.log.Log(error.what());
        SendMirrorMessagePage(error.what(), 200, request.writer, error.Code());
    }
}

std::uint32_t ParseRetryActionID(const std::string& url) {
    const URLInfo info{ConstData(url)};
    if (!info.HasQuery())
        throw MirrorDownloadError("Missing required parameter(s).", MirrorStatusCode::MissingParameter);
    std::optional<std::string> id;
    for (const auto& pair : ParseNameValueList(info.GetQuery().View()))
        if (pair.first.GetConstData().View() == "id") id = std::string(pair.second.GetConstData().View());
    if (!id || id->empty())
        throw MirrorDownloadError("Missing action id.", MirrorStatusCode::MissingParameter);
    std::uint32_t actionID = 0;
    if (ParseDecimalUInt32(ConstData(*id), actionID) != NumeralStatus::Success || actionID == 0)
        throw MirrorDownloadError("Invalid action id.", MirrorStatusCode::MissingParameter);
    return actionID;
}

void SendMirrorMessagePage(std::string_view message, int httpStatus, ClientWriter& writer,
                           MirrorStatusCode code) {
    const std::string headers =
        "STATUS: " + std::to_string(httpStatus) +
        "\r\nx-kvr-download-mirror-status: " + std::to_string(static_cast<std::uint32_t>(code)) + "\r\n";
    const std::string body =
        "<HTML><HEAD>\r\n<TITLE>Configuration message</TITLE>\r\n</HEAD><BODY>\r\n<P>\r\n" +
        std::string(message) + "\r\n</BODY></HTML>\r\n";
    SendHTMLResponse(writer, body, headers, httpStatus, false);
}
