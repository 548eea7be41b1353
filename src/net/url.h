// URL: an owning URL value of optional parts, filled from a URLInfo, edited part by part and written
// back to text. Each of the eight parts (scheme, opaque part, user info, host, port, path, query,
// fragment) is absent or holds its text (the port its number). A plain value; one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/byte_string.h"
#include "base/const_data.h"
#include "net/url_info.h"

class URLPathBuilder;
class URLQueryEditor;

class URL {
  public:
    URL() = default;
    // Parses the text and takes its parts (see Assign).
    explicit URL(const ByteString& text);
    explicit URL(ConstData text);

    // Replaces every part by those of the parsed text: scheme; for an opaque URL its opaque part;
    // otherwise user info, host, port (a non-numeric port throws InvalidPortNumber), path and query;
    // then the fragment.
    void Assign(const URLInfo& info);

    void SetScheme(std::string_view scheme) { m_scheme = std::string(scheme); }
    void SetUserInfo(std::string_view userInfo) { m_userInfo = std::string(userInfo); }
    // A host holding ":" that is not already bracketed is stored as "[host]".
    void SetHost(std::string_view host);
    void SetPort(std::int32_t port) { m_port = port; }
    void ClearPort() { m_port.reset(); }
    // Replaces user info, host and port by those of an authority text; a port that is not a
    // decimal numeral is left out without error.
    void SetAuthority(std::string_view authority);
    void SetPath(std::string_view path) { m_path = std::string(path); }
    void SetQuery(std::string_view query) { m_query = std::string(query); }
    void SetFragment(std::string_view fragment) { m_fragment = std::string(fragment); }

    const std::optional<std::string>& Scheme() const { return m_scheme; }
    const std::optional<std::string>& OpaquePart() const { return m_opaquePart; }
    const std::optional<std::string>& UserInfo() const { return m_userInfo; }
    const std::optional<std::string>& Host() const { return m_host; }
    const std::optional<std::int32_t>& Port() const { return m_port; }
    const std::optional<std::string>& Path() const { return m_path; }
    const std::optional<std::string>& Query() const { return m_query; }
    const std::optional<std::string>& Fragment() const { return m_fragment; }

    // A path builder bound to this URL, starting from its path (include net/url_builders.h).
    URLPathBuilder EditPath();
    // A query editor bound to this URL, starting from its query.
    URLQueryEditor EditQuery();

    // The URL text. A path below a host is written from "/" with its "." and ".." segments removed;
    // a relative path whose first segment holds ":" has that segment escaped, so that it can't be
    // read back as a scheme.
    std::string ToString() const;

  private:
    std::optional<std::string> m_scheme;
    std::optional<std::string> m_opaquePart;
    std::optional<std::string> m_userInfo;
    std::optional<std::string> m_host;
    std::optional<std::int32_t> m_port;
    std::optional<std::string> m_path;
    std::optional<std::string> m_query;
    std::optional<std::string> m_fragment;
};

// A path with its "." and ".." segments removed (RFC 3986 style, with this system's rules for the
// segment a ".." removes).
std::string RemoveDotSegments(std::string_view path);

// The percent-decoded copy of a range ("%41" gives "A"; invalid escapes stay as they are).
std::string URLDecodeRange(ConstData range);

// The reference resolved against the base, as text.
std::string ResolveURLReference(const URLInfo& reference, const URLInfo& base);
