#include "http/header_handler.h"

#include <optional>
#include <string_view>
#include <utility>

#include "base/character_classes.h"
#include "http/raw_http_exchange.h"
#include "http/response_head_parser.h"
#include "settings/registry_functions.h"

namespace {

constexpr const char* kProductVersion = "8.0.627.0";
constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kUserAgentValue = "User Agent";
constexpr std::uint32_t kUserAgentBufferSize = 1024;
constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kBlanks = " \t";

// The rest of the line (without its line end) after `name` (lower case, with its colon) where a line
// of the head begins with it; a field name inside another field's value does not count.
std::optional<std::string_view> FieldValue(std::string_view head, std::string_view name) {
    for (std::size_t start = 0; start < head.size();) {
        std::size_t end = head.find_first_of(kLineEnds, start);
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(start, end - start);
        if (line.substr(0, name.size()) == name) return line.substr(name.size());
        start = end + 1;
    }
    return std::nullopt;
}

// The status of a lower-cased head's status line "http/1.1 200 ok"; 0 without one.
int StatusOf(std::string_view head) {
    if (head.substr(0, 5) != "http/") return 0;
    std::size_t blank = head.find_first_of(kBlanks);
    if (blank == std::string_view::npos) return 0;
    static constexpr int kStatusLimit = 1'000'000;
    int status = 0;
    for (char c : Ascii::SkipBlanks(head.substr(blank))) {
        if (c < '0' || c > '9' || status >= kStatusLimit) break;
        status = status * 10 + (c - '0');
    }
    return status;
}

// The browser's user agent when it can be used as the frame of ours: readable, non-empty, ending in
// ")", and nothing that could end the header line.
std::optional<std::string> BrowserUserAgent() {
    char buffer[kUserAgentBufferSize];
    std::uint32_t size = sizeof buffer;
    if (!ReadRegistryString(RegistryRoot::CurrentUser, kInternetSettingsKey, kUserAgentValue, buffer, size))
        return std::nullopt;
    std::string agent(buffer, size);
    if (agent.empty() || agent.back() != ')') return std::nullopt;
    if (agent.find_first_of(kLineEnds) != std::string::npos) return std::nullopt;
    return agent;
}

void AppendField(std::string& headers, std::string_view name, int value) {
    headers.append(name).append(std::to_string(value)).append("\r\n");
}

}  // namespace

HeaderHandler::HeaderHandler(ContentLengthCallback onContentLength, std::string clientName)
    : m_clientName(std::move(clientName)), m_onContentLength(std::move(onContentLength)) {}

void HeaderHandler::ReceiveResponseHeaders(const char* text) {
    std::string_view head(text);
    m_contentLength = 0;
    if (std::optional<std::string_view> value = FieldValue(head, "content-length:")) {
        m_contentLength = ParseHeaderDecimal64(ConstData(*value));
    }
    m_contentLengthUnknown = m_contentLength == 0;
    if (!m_contentLengthUnknown && m_onContentLength) m_onContentLength(m_contentLength);
    m_statusCode = StatusOf(head);
    m_sendBackChannel = FieldValue(head, "x-kvr-sendbackchannel:").has_value();
}

void HeaderHandler::GetRequestHeaders(std::string& headers) {
    if (m_downloadBytesPerSecond != 0) {
        AppendField(headers, "x-kvr-download-bytespersecond:", m_downloadBytesPerSecond);
        if (!m_throttleGroup.empty()) {
            RefuseUnsafeHeaderText(m_throttleGroup);
            headers.append("x-kvr-download-throttlegroup:").append(m_throttleGroup).append("\r\n");
        }
    }
    if (m_dynamicThrottlingEnabled) {
        headers.append("x-kvr-dynamic-enabled: 1\r\n");
        AppendField(headers, "x-kvr-dynamic-maxbytespersecond:", m_dynamicMaxBytesPerSecond);
        AppendField(headers, "x-kvr-dynamic-minbytespersecond:", m_dynamicMinBytesPerSecond);
        AppendField(headers, "x-kvr-dynamic-percentage:", m_dynamicPercentage);
    }
    headers.append("User-Agent: ");
    if (std::optional<std::string> browser = BrowserUserAgent())
        headers.append(*browser, 0, browser->size() - 1).append("; ");
    else
        headers.append("(");
    headers.append(m_clientName).append(" ").append(kProductVersion).append(")\r\n");
}

ReplaceRequestHeaderHandler::ReplaceRequestHeaderHandler(std::string requestHeaders, std::string wantedHeader)
    : HeaderHandler(nullptr, kClientName),
      m_wantedHeader(std::move(wantedHeader)),
      m_requestHeaders(std::move(requestHeaders)) {}

void ReplaceRequestHeaderHandler::ReceiveResponseHeaders(const char* text) {
    HeaderHandler::ReceiveResponseHeaders(text);
    auto lineValue = [text](std::string_view name) {
        if (name.empty()) return std::string();
        std::optional<std::string_view> value = FieldValue(text, name);
        if (!value) return std::string();
        return std::string(Ascii::SkipBlanks(*value));
    };
    m_wantedValue = lineValue(m_wantedHeader);
    m_dateValue = lineValue("date:");
}

void ReplaceRequestHeaderHandler::GetRequestHeaders(std::string& headers) {
    if (m_requestHeaders.empty())
        headers.append("User-Agent: ").append(kClientName).append("\r\n");
    else
        headers.append(m_requestHeaders);
}
