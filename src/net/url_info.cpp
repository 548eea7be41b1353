#include "net/url_info.h"

#include "base/character_classes.h"
#include "base/numerals.h"
#include "net/url_path_iterator.h"

namespace {

constexpr std::uint32_t kLargestPort = 65535;

}  // namespace

// One pass, as the delimiters come. "//" opens an authority only at the text start or right after
// the scheme's colon; inside an authority the colons of a bracketed IPv6 literal are not port colons.
URLInfo::URLInfo(ConstData text) : m_begin(text.begin), m_end(text.end) {
    const Byte* openBracket = nullptr;
    const Byte* closeBracket = nullptr;
    for (const Byte* p = m_begin; p != m_end; ++p) {
        switch (*p) {
            case '#':
                m_fragmentMark = p;
                return;
            case '/':
                if (m_queryMark) break;
                if (p == m_begin || (m_schemeColon && p == m_schemeColon + 1)) {
                    m_pathStart = p;
                } else if (!m_authorityStart) {
                    if (m_pathStart && m_pathStart == p - 1) {
                        m_authorityStart = m_pathStart;
                        m_pathStart = nullptr;
                    }
                } else if (!m_pathStart) {
                    m_pathStart = p;
                }
                break;
            case ':':
                if (m_pathStart || m_queryMark) break;
                if (m_authorityStart) {
                    if (!openBracket || closeBracket) m_portColon = p;
                } else if (!m_schemeColon) {
                    m_schemeColon = p;
                }
                break;
            case '?':
                if (!m_queryMark && !IsOpaque()) m_queryMark = p;
                break;
            case '@':
                if (m_authorityStart && !m_pathStart && !m_queryMark) {
                    m_userInfoEnd = p;
                    m_portColon = nullptr;
                }
                break;
            case '[':
                if (m_authorityStart && !m_pathStart && !openBracket) openBracket = p;
                break;
            case ']':
                if (openBracket) closeBracket = p;
                break;
        }
    }
}

bool URLInfo::IsOpaque() const {
    return m_schemeColon && !m_authorityStart && !m_pathStart;
}

const Byte* URLInfo::PartEnd() const {
    if (m_queryMark) return m_queryMark;
    if (m_fragmentMark) return m_fragmentMark;
    return m_end;
}

const Byte* URLInfo::AuthorityEnd() const {
    return m_pathStart ? m_pathStart : PartEnd();
}

ConstData URLInfo::PathRange() const {
    if (m_pathStart) return {m_pathStart, PartEnd()};
    if (m_authorityStart) return {AuthorityEnd(), AuthorityEnd()};
    return {m_schemeColon ? m_schemeColon + 1 : m_begin, PartEnd()};
}

bool URLInfo::HasPath() const {
    return m_pathStart || (!m_authorityStart && !PathRange().IsEmpty());
}

bool URLInfo::HasPort() const {
    return m_portColon && m_portColon + 1 < AuthorityEnd();
}

ConstData URLInfo::GetScheme() const {
    if (!m_schemeColon) throw NoSchemeError();
    return {m_begin, m_schemeColon};
}

ConstData URLInfo::GetOpaquePart() const {
    if (!m_schemeColon) throw NoSchemeError();
    return {m_schemeColon + 1, m_fragmentMark ? m_fragmentMark : m_end};
}

ConstData URLInfo::GetAuthority() const {
    if (!m_authorityStart) throw NoAuthorityError();
    return {m_authorityStart + 2, AuthorityEnd()};
}

ConstData URLInfo::GetUserInfo() const {
    if (!m_userInfoEnd) throw NoUserInfoError();
    if (!m_authorityStart) throw NoAuthorityError();
    return {m_authorityStart + 2, m_userInfoEnd};
}

ConstData URLInfo::GetHost() const {
    if (!m_authorityStart) throw NoHostError();
    return {m_userInfoEnd ? m_userInfoEnd + 1 : m_authorityStart + 2,
            m_portColon ? m_portColon : AuthorityEnd()};
}

ConstData URLInfo::GetUnbracketedHost() const {
    ConstData host = GetHost();
    if (host.Length() > 1 && host.begin[0] == '[' && host.end[-1] == ']')
        return {host.begin + 1, host.end - 1};
    return host;
}

// A port above 65535 can name no TCP port; it is refused here rather than cut to 16 bits by a caller.
std::uint32_t URLInfo::GetPort() const {
    if (!HasPort()) throw NoPortError();
    std::uint32_t port;
    if (ParseDecimalUInt32({m_portColon + 1, AuthorityEnd()}, port) != NumeralStatus::Success ||
        port > kLargestPort)
        throw InvalidPortNumber();
    return port;
}

ConstData URLInfo::GetPath() const {
    if (m_authorityStart && !m_pathStart) throw NoPathError();
    ConstData path = PathRange();
    if (path.IsEmpty()) throw NoPathError();
    return path;
}

ConstData URLInfo::GetQuery() const {
    if (!m_queryMark) throw NoQueryError();
    return {m_queryMark + 1, m_fragmentMark ? m_fragmentMark : m_end};
}

ConstData URLInfo::GetFragment() const {
    if (!m_fragmentMark) throw NoFragmentError();
    return {m_fragmentMark + 1, m_end};
}

bool URLInfo::Equals(const URLInfo& a, const URLInfo& b) {
    if (a.HasScheme() != b.HasScheme()) return false;
    if (a.HasScheme() && a.GetScheme().View() != b.GetScheme().View()) return false;
    if (a.IsOpaque() != b.IsOpaque()) return false;
    if (a.IsOpaque()) return URLTextEquals(a.GetOpaquePart(), b.GetOpaquePart());
    if (a.HasAuthority() != b.HasAuthority()) return false;
    if (a.HasAuthority() && !URLTextEquals(a.GetAuthority(), b.GetAuthority())) return false;
    if (a.HasPath() != b.HasPath()) return false;
    if (a.HasPath() && !URLPathEquals(a.PathRange(), b.PathRange())) return false;
    if (a.HasQuery() != b.HasQuery()) return false;
    if (a.HasQuery() && !URLTextEquals(a.GetQuery(), b.GetQuery())) return false;
    if (a.HasFragment() != b.HasFragment()) return false;
    return !a.HasFragment() || URLTextEquals(a.GetFragment(), b.GetFragment());
}

namespace {

// The byte at `p` (advanced past it), a "%" and two hexadecimal digits inside the range standing for
// the byte they encode.
Byte NextDecodedByte(const Byte*& p, const Byte* end) {
    if (*p == '%' && end - p >= 3 && Ascii::HexDigits().Contains(p[1]) && Ascii::HexDigits().Contains(p[2])) {
        Byte decoded = static_cast<Byte>(HexDigitValue(p[1]) * 16 + HexDigitValue(p[2]));
        p += 3;
        return decoded;
    }
    return *p++;
}

}  // namespace

bool URLTextEquals(ConstData a, ConstData b) {
    const Byte* p = a.begin;
    const Byte* q = b.begin;
    while (p != a.end && q != b.end)
        if (NextDecodedByte(p, a.end) != NextDecodedByte(q, b.end)) return false;
    return p == a.end && q == b.end;
}

bool URLPathEquals(ConstData a, ConstData b) {
    if (a.View() == b.View()) return true;
    bool aRooted = !a.IsEmpty() && *a.begin == '/';
    bool bRooted = !b.IsEmpty() && *b.begin == '/';
    if (aRooted != bRooted) return false;
    URLPathIterator p = URLPathIterator::First(a);
    URLPathIterator q = URLPathIterator::First(b);
    for (; !p.AtEnd() && !q.AtEnd(); p.Next(), q.Next()) {
        if (!URLTextEquals(p.Current().name, q.Current().name)) return false;
        if (p.Current().parameters.View() != q.Current().parameters.View()) return false;
    }
    return p.AtEnd() && q.AtEnd();
}
