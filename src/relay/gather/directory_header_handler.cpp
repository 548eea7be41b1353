#include "relay/gather/directory_header_handler.h"

#include <optional>
#include <utility>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "net/url_info.h"

namespace {

constexpr std::string_view kLineEnds = "\r\n";

// The value of the first line of the head that starts with `name` (with its colon), or of the last
// such line; its blanks trimmed. Nothing when no line starts with the name.
std::optional<std::string_view> FieldValue(std::string_view head, std::string_view name, bool lastLineCounts) {
    std::optional<std::string_view> found;
    for (std::size_t start = 0; start <= head.size();) {
        std::size_t end = head.find_first_of(kLineEnds, start);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(start, end - start);
        if (line.size() >= name.size() && Ascii::EqualIgnoringCase(line.substr(0, name.size()), name)) {
            found = Ascii::TrimBlanks(line.substr(name.size()));
            if (!lastLineCounts) return found;
        }
        start = end + 1;
    }
    return found;
}

std::string TextField(std::string_view head, std::string_view name, bool lastLineCounts = false) {
    return std::string(FieldValue(head, name, lastLineCounts).value_or(std::string_view()));
}

// The digits at the start of the value; 0 when there are none or they do not fit.
std::uint64_t NumberField(std::string_view head, std::string_view name) {
    const std::string_view value = FieldValue(head, name, false).value_or(std::string_view());
    std::size_t digits = 0;
    while (digits < value.size() && Ascii::Digits().Contains(static_cast<unsigned char>(value[digits]))) ++digits;
    std::uint64_t number = 0;
    if (ParseDecimalUInt64(ConstData(value.substr(0, digits)), number) != NumeralStatus::Success) return 0;
    return number;
}

std::uint32_t Number32Field(std::string_view head, std::string_view name) {
    const std::uint64_t number = NumberField(head, name);
    return number > UINT32_MAX ? 0 : static_cast<std::uint32_t>(number);
}

bool IsAbsoluteURL(const URLInfo& url) {
    return url.HasScheme() && url.HasAuthority();
}

}  // namespace

std::string RehostURL(std::string_view url, std::string_view requestURL) {
    if (url.empty()) return {};
    const URLInfo given{ConstData(url)};
    const URLInfo request{ConstData(requestURL)};
    if (!IsAbsoluteURL(given) || !IsAbsoluteURL(request)) return std::string(url);
    try {
        std::string rebuilt(request.GetScheme().View());
        rebuilt.append("://").append(request.GetHost().View());
        if (request.HasPort()) rebuilt.append(":").append(std::to_string(request.GetPort()));
        const std::string_view path = given.PathRange().View();
        rebuilt.append(path.empty() ? "/" : path);
        return rebuilt;
    } catch (const InvalidURLInfoUse&) {
        return std::string(url);  // a request URL without host or with a bad port
    }
}

DirectoryHeaderHandler::DirectoryHeaderHandler(std::string lastServerDate, std::int32_t clientSiteVersion,
                                               bool clientValid)
    : HeaderHandler(nullptr, kClientName),
      m_lastServerDate(std::move(lastServerDate)),
      m_clientSiteVersion(clientSiteVersion),
      m_clientValid(clientValid) {}

void DirectoryHeaderHandler::GetRequestHeaders(std::string& headers) {
    HeaderHandler::GetRequestHeaders(headers);
    headers.append("x_veltra_directory: signed\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n");
    if (m_clientSiteVersion != -1)
        headers.append("x_veltra_client_site_version: ").append(std::to_string(m_clientSiteVersion)).append("\r\n");
    if (!m_lastServerDate.empty()) headers.append("x_veltra_last_server_date: ").append(m_lastServerDate).append("\r\n");
    if (m_clientValid) headers.append("x_veltra_client_valid: true\r\n");
}

void DirectoryHeaderHandler::ReceiveResponseHeaders(const char* text) {
    HeaderHandler::ReceiveResponseHeaders(text);
    const std::string_view head(text);
    m_directoryServerDate = TextField(head, "x-veltra-directory-server-date:", true);
    m_directoryServerSiteVersion = Number32Field(head, "x-veltra-directory-server-site-version:");
    m_localAddress = TextField(head, "x-kvr-http-local-addr:");
    m_diffSiteURL = TextField(head, "x-kvrgather-diffsite-url:");
    m_diffSiteSize = NumberField(head, "x-kvrgather-diffsite-size:");
    m_fullSiteURL = TextField(head, "x-kvrgather-fullsite-url:");
    m_fullSiteSize = NumberField(head, "x-kvrgather-fullsite-size:");
    m_mdirListURL = TextField(head, "x-kvrgather-mdirlist-url:");
    m_allDiffsURL = TextField(head, "x-kvrgather-alldiffs-url:");
    m_singleFullSiteURL = TextField(head, "x-kvrgather-single-fullsite-url:");
    m_singleFullSiteSize = NumberField(head, "x-kvrgather-single-fullsite-size:");
}

std::string DirectoryHeaderHandler::GetLocalAddress(std::string_view requestURL) const {
    return RehostURL(m_localAddress, requestURL);
}

std::string DirectoryHeaderHandler::GetDiffSiteURL(std::string_view requestURL) const {
    return RehostURL(m_diffSiteURL, requestURL);
}

std::string DirectoryHeaderHandler::GetFullSiteURL(std::string_view requestURL) const {
    return RehostURL(m_fullSiteURL, requestURL);
}

std::string DirectoryHeaderHandler::GetMDirListURL(std::string_view requestURL) const {
    return RehostURL(m_mdirListURL, requestURL);
}

std::string DirectoryHeaderHandler::GetAllDiffsURL(std::string_view requestURL) const {
    return RehostURL(m_allDiffsURL, requestURL);
}

std::string DirectoryHeaderHandler::GetSingleFullSiteURL(std::string_view requestURL) const {
    return RehostURL(m_singleFullSiteURL, requestURL);
}
