// DirectoryHeaderHandler: the header handler of a site directory request, the request with which
// every site gather begins (site_directory_request.h builds its URL). It tells the parent what the
// relay holds and reads from the reply's head where the parent offers the site's content.
//
// Request lines, after the base handler's (throttle lines and "User-Agent", client name
// "Veltra KVRGather"), in this order:
//     x_veltra_directory: signed
//     Pragma: no-cache
//     Cache-Control: no-cache
//     x_veltra_client_site_version: <version>    unless the client site version is -1
//     x_veltra_last_server_date: <date>          unless the date is empty
//     x_veltra_client_valid: true                when the client is valid
//
// Reply fields, read after the base handler's reading (content length, status):
//     x-veltra-directory-server-date:            text; the last such line counts
//     x-veltra-directory-server-site-version:    32-bit number
//     x-kvr-http-local-addr:                     URL
//     x-kvrgather-diffsite-url:, -diffsite-size: URL, 64-bit number
//     x-kvrgather-fullsite-url:, -fullsite-size: URL, 64-bit number
//     x-kvrgather-mdirlist-url:                  URL
//     x-kvrgather-alldiffs-url:                  URL
//     x-kvrgather-single-fullsite-url:, -single-fullsite-size:  URL, 64-bit number
// A name counts only at the start of a line (the head's start, or after a CR or LF), in any letter
// case; for every field but the date the first line counts. A value is the rest of its line without
// the blanks around it, taken as the head gives it (the socket client lowers the whole head, which
// our parents' lower-case mirror paths survive). A number is the run of digits at the start of its
// value: "123abc" is 123, a value that starts otherwise (or does not fit) 0. A missing field leaves
// its text empty and its number 0.
//
// The URL getters rebuild each URL on the scheme, host and port of the URL the request was sent to,
// keeping the path the parent gave, so the relay keeps reaching its parent by the address it used
// itself even when the parent names itself by an internal host name. An empty value stays empty; a
// value that is no absolute URL (no scheme, no authority) is given as it is.
//
// One request at a time; read the results after the request has returned.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/header_handler.h"

class DirectoryHeaderHandler : public HeaderHandler {
  public:
    static constexpr const char* kClientName = "Veltra KVRGather";
    // The last server date of every directory request the gather sends.
    static constexpr const char* kMirrorServerDate = "<daruravidumirror>";

    DirectoryHeaderHandler(std::string lastServerDate, std::int32_t clientSiteVersion, bool clientValid);

    void ReceiveResponseHeaders(const char* head) override;
    void GetRequestHeaders(std::string& headers) override;

    const std::string& GetDirectoryServerDate() const { return m_directoryServerDate; }
    std::uint32_t GetDirectoryServerSiteVersion() const { return m_directoryServerSiteVersion; }
    std::uint64_t GetDiffSiteSize() const { return m_diffSiteSize; }
    std::uint64_t GetFullSiteSize() const { return m_fullSiteSize; }
    std::uint64_t GetSingleFullSiteSize() const { return m_singleFullSiteSize; }

    // Rebuilt on `requestURL`, the URL the directory request was sent to.
    std::string GetLocalAddress(std::string_view requestURL) const;
    std::string GetDiffSiteURL(std::string_view requestURL) const;
    std::string GetFullSiteURL(std::string_view requestURL) const;
    std::string GetMDirListURL(std::string_view requestURL) const;
    std::string GetAllDiffsURL(std::string_view requestURL) const;
    std::string GetSingleFullSiteURL(std::string_view requestURL) const;

  private:
    std::string m_lastServerDate;
    std::int32_t m_clientSiteVersion;
    bool m_clientValid;

    std::string m_directoryServerDate;
    std::uint32_t m_directoryServerSiteVersion = 0;
    std::string m_localAddress;
    std::string m_diffSiteURL;
    std::uint64_t m_diffSiteSize = 0;
    std::string m_fullSiteURL;
    std::uint64_t m_fullSiteSize = 0;
    std::string m_mdirListURL;
    std::string m_allDiffsURL;
    std::string m_singleFullSiteURL;
    std::uint64_t m_singleFullSiteSize = 0;
};

// `url` on the scheme, host and port of `requestURL`, with its own path; as the getters above say.
std::string RehostURL(std::string_view url, std::string_view requestURL);
