#include "net/url.h"

#include <string>

#include "base/numerals.h"
#include "formats/url_codec.h"
#include "net/url_builders.h"

namespace {

std::string TextOf(ConstData range) {
    return std::string(range.View());
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Drops the last segment of the output: a final "/" first, then everything from the last remaining
// "/" on (the whole output when it holds none).
void RemoveLastSegment(std::string& output) {
    if (output.empty()) return;
    if (output.back() == '/') output.pop_back();
    std::size_t slash = output.rfind('/');
    output.erase(slash == std::string::npos ? 0 : slash);
}

// A relative path whose first segment holds ":" would read back as a scheme; that segment is
// escaped (its ":" becomes "%3a").
std::string WithSafeFirstSegment(const std::string& path) {
    std::size_t slash = path.find('/');
    std::string first = path.substr(0, slash);
    if (first.find(':') == std::string::npos) return path;
    return URLEncodeText(ConstData(first), URLPathNoColonCharacters()) +
           (slash == std::string::npos ? "" : path.substr(slash));
}

}  // namespace

std::string RemoveDotSegments(std::string_view path) {
    std::string input(path), output;
    std::string_view rest = input;
    while (!rest.empty()) {
        if (StartsWith(rest, "../")) {
            rest.remove_prefix(3);
        } else if (StartsWith(rest, "./")) {
            rest.remove_prefix(2);
        } else if (StartsWith(rest, "/./")) {
            rest.remove_prefix(2);
        } else if (rest == "/.") {
            rest = "/";
        } else if (StartsWith(rest, "/../")) {
            rest.remove_prefix(3);
            RemoveLastSegment(output);
        } else if (rest == "/..") {
            rest = "/";
            RemoveLastSegment(output);
        } else if (rest == "." || rest == "..") {
            break;
        } else {
            std::size_t end = rest.find('/', 1);
            if (end == std::string_view::npos) end = rest.size();
            output.append(rest.substr(0, end));
            rest.remove_prefix(end);
        }
    }
    return output;
}

URL::URL(const ByteString& text) : URL(text.GetConstData()) {}

URL::URL(ConstData text) {
    Assign(URLInfo(text));
}

void URL::Assign(const URLInfo& info) {
    *this = URL();
    if (info.HasScheme()) m_scheme = TextOf(info.GetScheme());
    if (info.IsOpaque()) {
        m_opaquePart = TextOf(info.GetOpaquePart());
    } else {
        if (info.HasUserInfo()) m_userInfo = TextOf(info.GetUserInfo());
        if (info.HasAuthority()) m_host = TextOf(info.GetHost());
        if (info.HasPort()) m_port = static_cast<std::int32_t>(info.GetPort());
        if (info.HasPath()) m_path = TextOf(info.GetPath());
        if (info.HasQuery()) m_query = TextOf(info.GetQuery());
    }
    if (info.HasFragment()) m_fragment = TextOf(info.GetFragment());
}

void URL::SetHost(std::string_view host) {
    if (host.find(':') != std::string_view::npos && !StartsWith(host, "["))
        m_host = "[" + std::string(host) + "]";
    else
        m_host = std::string(host);
}

void URL::SetAuthority(std::string_view authority) {
    m_userInfo.reset();
    m_host.reset();
    m_port.reset();
    std::size_t at = authority.find('@');
    if (at != std::string_view::npos) {
        m_userInfo = std::string(authority.substr(0, at));
        authority.remove_prefix(at + 1);
    }
    std::size_t portSearch = 0;
    if (authority.size() >= 2 && authority[0] == '[') {
        std::size_t close = authority.find(']');
        portSearch = close == std::string_view::npos ? authority.size() : close + 1;
    }
    std::size_t colon = authority.find(':', portSearch);
    SetHost(authority.substr(0, colon));
    if (colon == std::string_view::npos) return;
    std::uint32_t port;
    if (ParseDecimalUInt32(ConstData(authority.substr(colon + 1)), port) == NumeralStatus::Success &&
        port <= INT32_MAX)
        m_port = static_cast<std::int32_t>(port);
}

std::string URL::ToString() const {
    std::string text;
    if (m_scheme) text += *m_scheme + ":";
    if (m_opaquePart) {
        text += *m_opaquePart;
    } else {
        if (m_host) {
            text += "//";
            if (m_userInfo) text += *m_userInfo + "@";
            text += *m_host;
            if (m_port) text += ":" + std::to_string(*m_port);
        }
        if (m_path) {
            if (m_host)
                text += RemoveDotSegments("/" + (StartsWith(*m_path, "/") ? m_path->substr(1) : *m_path));
            else if (m_scheme || StartsWith(*m_path, "/"))
                text += *m_path;
            else
                text += WithSafeFirstSegment(*m_path);
        }
        if (m_query) text += "?" + *m_query;
    }
    if (m_fragment) text += "#" + *m_fragment;
    return text;
}

URLPathBuilder URL::EditPath() {
    return URLPathBuilder(*this);
}

URLQueryEditor URL::EditQuery() {
    return URLQueryEditor(*this);
}

std::string URLDecodeRange(ConstData range) {
    return URLDecodeText(range);
}

namespace {

// The reference's path merged onto the base's: the base path up to its last "/", then the reference
// path.
std::string MergePaths(const URLInfo& base, ConstData referencePath) {
    std::string reference = TextOf(referencePath);
    if (base.HasAuthority() && !base.HasPathStart()) return "/" + reference;
    ConstData basePath = base.PathRange();
    if (!base.HasAuthority() && !base.HasPathStart() && basePath.IsEmpty()) return reference;
    std::string_view baseText = basePath.View();
    std::size_t lastSlash = baseText.rfind('/');
    if (lastSlash == std::string_view::npos) return reference;
    return std::string(baseText.substr(0, lastSlash + 1)) + reference;
}

}  // namespace

std::string ResolveURLReference(const URLInfo& reference, const URLInfo& base) {
    URL result;
    if (reference.HasScheme()) {
        result.SetScheme(reference.GetScheme().View());
        if (reference.HasAuthority()) result.SetAuthority(reference.GetAuthority().View());
        if (reference.HasPathStart() || (!reference.HasAuthority() && !reference.PathRange().IsEmpty()))
            result.SetPath(RemoveDotSegments(reference.PathRange().View()));
        if (reference.HasQuery()) result.SetQuery(reference.GetQuery().View());
    } else if (reference.HasAuthority()) {
        result.SetAuthority(reference.GetAuthority().View());
        if (reference.HasPath()) result.SetPath(RemoveDotSegments(reference.PathRange().View()));
        if (reference.HasQuery()) result.SetQuery(reference.GetQuery().View());
        if (base.HasScheme()) result.SetScheme(base.GetScheme().View());
    } else {
        if (reference.HasPath()) {
            if (reference.HasPathStart())
                result.SetPath(RemoveDotSegments(reference.PathRange().View()));
            else
                result.SetPath(RemoveDotSegments(MergePaths(base, reference.PathRange())));
            if (reference.HasQuery()) result.SetQuery(reference.GetQuery().View());
        } else {
            if (base.HasPath()) result.SetPath(base.PathRange().View());
            if (reference.HasQuery())
                result.SetQuery(reference.GetQuery().View());
            else if (base.HasQuery())
                result.SetQuery(base.GetQuery().View());
        }
        if (base.HasAuthority()) result.SetAuthority(base.GetAuthority().View());
        if (base.HasScheme()) result.SetScheme(base.GetScheme().View());
    }
    if (reference.HasFragment()) result.SetFragment(reference.GetFragment().View());
    return result.ToString();
}
