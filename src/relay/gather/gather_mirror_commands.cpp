#include "relay/gather/gather_mirror_commands.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "base/character_classes.h"
#include "formats/url_codec.h"
#include "net/url_info.h"
#include "net/url_path_iterator.h"
#include "relay/gather/gather_mirror_site_directory.h"
#include "relay/gather/parent_version_query.h"
#include "relay/register/registration_replies.h"

namespace {

using CommandHandler = void (*)(GatherMirrorRequest& request);

struct GatherMirrorCommand {
    std::string_view word;
    CommandHandler handler;
};

constexpr const char* kSiteVersionHeader = "x-kvr-siteversion";
constexpr const char* kRootVersionHeader = "x-kvr-rootserver-siteversion";

std::string HeaderValue(const HTTPRequest& request, std::string_view dashName,
                        std::string_view underscoreName) {
    std::string_view value = request.FirstHeaderValue(dashName);
    if (value.empty() && !underscoreName.empty()) value = request.FirstHeaderValue(underscoreName);
    return std::string(value);
}

// The site a version query names, and whether its CRC is asked for ("useCRC" read as C's atoi does).
struct VersionQuery {
    std::string siteURL;
    bool useCRC = false;
};

VersionQuery ParseVersionQuery(GatherMirrorRequest& request) {
    VersionQuery query;
    for (const auto& pair : RequiredQueryPairs(request)) {
        const std::string_view name = pair.first.GetConstData().View();
        const std::string value(pair.second.GetConstData().View());
        if (Ascii::EqualIgnoringCase(name, "url")) query.siteURL = value;
        if (Ascii::EqualIgnoringCase(name, "useCRC")) query.useCRC = std::atoi(value.c_str()) != 0;
    }
    return query;
}

// The answer both in a header line and as the whole body.
void SendVersionHeader(GatherMirrorRequest& request, const char* header, std::uint32_t value) {
    const std::string line = std::string(header) + ": " + std::to_string(value) + "\r\n";
    SendPlainTextResponseWithHeaders(request.writer, line, line, 200, false, false);
}

void HandleSiteVersionCommand(GatherMirrorRequest& request) {
    const VersionQuery query = ParseVersionQuery(request);
    const std::uint32_t value = query.useCRC ? request.gatherState.GetExpectedVersionCRC(query.siteURL, false)
                                             : request.gatherState.GetExpectedVersion(query.siteURL, false);
    SendVersionHeader(request, kSiteVersionHeader, value);
}

void HandleRootVersionCommand(GatherMirrorRequest& request) {
    const VersionQuery query = ParseVersionQuery(request);
    SendVersionHeader(
        request, kRootVersionHeader,
        GetCurrentVersionFromRoot(query.siteURL, query.useCRC, request.gatherState, request.stop));
}

void HandleVersionCommand(GatherMirrorRequest& request) {
    WriteGatherMirrorPage("KVRGather version " + std::string(kRelayVersionText), request.writer,
                          IsProductAgent(request.headers.userAgent), GatherMirrorStatus::kSuccess);
}

void HandleUnknownCommand(GatherMirrorRequest&) {
    throw KVRGatherError("Unknown command.", GatherMirrorStatus::kUnknownCommand);
}

// Sorted by the words' bytes, for the binary search below; one line per command.
constexpr std::array kCommands = {
    GatherMirrorCommand{"-kvrgather", HandleGatherCommand},
    GatherMirrorCommand{"-rootversion", HandleRootVersionCommand},
    GatherMirrorCommand{"-siteversion", HandleSiteVersionCommand},
    GatherMirrorCommand{"-version", HandleVersionCommand},
};
static_assert(std::is_sorted(kCommands.begin(), kCommands.end(),
                             [](const GatherMirrorCommand& a, const GatherMirrorCommand& b) {
                                 return a.word < b.word;
                             }));

CommandHandler FindCommand(std::string_view word) {
    const auto found = std::lower_bound(
        kCommands.begin(), kCommands.end(), word,
        [](const GatherMirrorCommand& command, std::string_view w) { return command.word < w; });
    return found != kCommands.end() && found->word == word ? found->handler : HandleUnknownCommand;
}

void WriteText(ClientWriter& writer, std::string_view text) {
    writer.Write(ConstData(text));
}

}  // namespace

ClientSiteHeaders ReadClientSiteHeaders(const HTTPRequest& request) {
    return {
        .clientSiteVersion =
            HeaderValue(request, "x-veltra-client-site-version", "x_veltra_client_site_version"),
        .clientValid = HeaderValue(request, "x-veltra-client-valid", "x_veltra_client_valid"),
        .directory = HeaderValue(request, "x-veltra-directory", "x_veltra_directory"),
        .userAgent = HeaderValue(request, "User-Agent", ""),
        .lastServerDate = HeaderValue(request, "x-veltra-last-server-date", "x_veltra_last_server_date"),
    };
}

std::string GatherMirrorCommandWord(const std::string& url) {
    const URLInfo info{ConstData(url)};
    std::string word = URLDecodeText(GetLastPathComponent(info.GetPath()).whole);
    for (const char* command : {"-version", "-rootversion", "-siteversion"})
        if (Ascii::EqualIgnoringCase(word, command)) return word;
    return "-kvrgather";
}

NameValueList RequiredQueryPairs(const GatherMirrorRequest& request) {
    const URLInfo info{ConstData(request.url)};
    if (!info.HasQuery())
        throw KVRGatherError("Missing required parameter(s).", GatherMirrorStatus::kMissingParameter);
    if (!Ascii::EqualIgnoringCase(request.method, "get"))
        throw KVRGatherError("Incorrect submit method.", GatherMirrorStatus::kIncorrectMethod);
    return ParseNameValueList(info.GetQuery().View());
}

bool IsProductAgent(std::string_view userAgent) {
    return userAgent.size() >= 6 && userAgent.find("Veltra") != std::string_view::npos;
}

void DispatchGatherMirrorCommand(GatherMirrorRequest& request) {
    const CommandHandler handler = FindCommand(GatherMirrorCommandWord(request.url));
    try {
        handler(request);
    } catch (const KVRGatherError& error) {
        WriteGatherMirrorPage(error.what(), request.writer, IsProductAgent(request.headers.userAgent),
                              error.Code());
        request.log.Log(error.what());
    }
}

void WriteGatherMirrorPage(std::string_view message, ClientWriter& writer, bool productAgent,
                           std::uint32_t code) {
    std::string body =
        code == GatherMirrorStatus::kSuccess
            ? "<HTML><HEAD>\r\n<TITLE> Configuration </TITLE>\r\n</HEAD><BODY>\r\n<H1>Version</H1>\r\n"
              "<P>\r\n"
            : "<HTML><HEAD>\r\n<TITLE> Configuration problem</TITLE>\r\n</HEAD><BODY>\r\n"
              "<H1>Error providing site directory.</H1>\r\nThe requested Kelm site cannot be "
              "serviced by this server.<P>\r\n";
    body.append(message).append("(").append(std::to_string(code)).append(")\r\n</BODY></HTML>\r\n");

    char date[64];
    FormatCurrentHTTPDate(date, sizeof date, true);
    std::string head =
        productAgent && code != GatherMirrorStatus::kSuccess ? "HTTP/1.1 404\r\n" : "HTTP/1.1 200\r\n";
    head.append("Date: ").append(date).append("\r\n");
    head.append(
        "MIME-Version: 1.0\r\nExpires: 0\r\nPragma: no-cache\r\nCache-Control: private\r\n"
        "Cache-Control: no-cache\r\nContent-Type: text/html\r\n");
    head.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
    if (code != 0) head.append("x-kvr-gather-mirror-status: ").append(std::to_string(code)).append("\r\n");
    head.append("\r\n");
    WriteText(writer, head);
    WriteText(writer, body);
    writer.End();
}
