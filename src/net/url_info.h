// URLInfo: a non-owning, allocation-free parse of a URL text held elsewhere.
//
// Parsing happens in the constructor and never fails: a malformed text only leaves parts absent or
// places them oddly (a text without "//" such as "host:80" reads as the scheme "host"). The getters
// hand out byte ranges into the text, which must outlive the URLInfo, and throw a kind of
// InvalidURLInfoUse when the part asked for is missing. A plain value, copied freely.
#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "base/const_data.h"
#include "base/exceptions.h"

class InvalidURLInfoUse : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

class NoSchemeError : public InvalidURLInfoUse {
  public:
    NoSchemeError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Scheme.") {}
};
class NoAuthorityError : public InvalidURLInfoUse {
  public:
    NoAuthorityError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Authority.") {}
};
class NoUserInfoError : public InvalidURLInfoUse {
  public:
    NoUserInfoError() : InvalidURLInfoUse("URLInfo: Attempt to use missing UserInfo.") {}
};
class NoHostError : public InvalidURLInfoUse {
  public:
    NoHostError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Host.") {}
};
class NoPortError : public InvalidURLInfoUse {
  public:
    NoPortError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Port.") {}
};
class NoPathError : public InvalidURLInfoUse {
  public:
    NoPathError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Path.") {}
};
class NoQueryError : public InvalidURLInfoUse {
  public:
    NoQueryError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Query.") {}
};
class NoFragmentError : public InvalidURLInfoUse {
  public:
    NoFragmentError() : InvalidURLInfoUse("URLInfo: Attempt to use missing Fragment.") {}
};

class InvalidPortNumber : public InvalidURLInfoUse {
  public:
    InvalidPortNumber() : InvalidURLInfoUse("URLInfo: Invalid port number.") {}
};

class URLInfo {
  public:
    explicit URLInfo(ConstData text);
    explicit URLInfo(const ByteString& text) : URLInfo(text.GetConstData()) {}

    bool HasScheme() const { return m_schemeColon != nullptr; }
    bool HasAuthority() const { return m_authorityStart != nullptr; }
    bool HasUserInfo() const { return m_userInfoEnd != nullptr; }
    bool HasQuery() const { return m_queryMark != nullptr; }
    bool HasFragment() const { return m_fragmentMark != nullptr; }
    // A path start was seen; or, without an authority, the path range is not empty.
    bool HasPath() const;
    // A port colon with at least one byte after it in the authority.
    bool HasPort() const;
    bool HasPathStart() const { return m_pathStart != nullptr; }
    // A scheme with neither authority nor path start ("mailto:someone").
    bool IsOpaque() const;

    ConstData GetScheme() const;
    // After the scheme's colon up to the fragment.
    ConstData GetOpaquePart() const;
    ConstData GetAuthority() const;
    ConstData GetUserInfo() const;
    // With the brackets of an IPv6 literal.
    ConstData GetHost() const;
    ConstData GetUnbracketedHost() const;
    // Decimal, at most 65535; a present port that is not such a numeral throws InvalidPortNumber, an
    // absent or empty one NoPortError.
    std::uint32_t GetPort() const;
    ConstData GetPath() const;
    ConstData GetQuery() const;
    ConstData GetFragment() const;

    // The path range: possibly empty, never throws.
    ConstData PathRange() const;

    // Equal schemes (case matters); opaque URLs compare their opaque parts only; others compare
    // authority, path, query and fragment, percent-escapes standing for the bytes they encode.
    static bool Equals(const URLInfo& a, const URLInfo& b);

  private:
    const Byte* AuthorityEnd() const;
    const Byte* PartEnd() const;  // the query mark, else the fragment mark, else the text end

    const Byte* m_begin;
    const Byte* m_end;
    const Byte* m_schemeColon = nullptr;
    const Byte* m_authorityStart = nullptr;
    const Byte* m_userInfoEnd = nullptr;
    const Byte* m_portColon = nullptr;
    const Byte* m_pathStart = nullptr;
    const Byte* m_queryMark = nullptr;
    const Byte* m_fragmentMark = nullptr;
};

// Byte ranges equal when each "%" with two hexadecimal digits stands for the byte it encodes
// ("%41" equals "A"; "%4" and "%zz" compare as text).
bool URLTextEquals(ConstData a, ConstData b);
// Byte-identical paths are equal; otherwise both or neither must begin with "/", and the components
// must match pairwise: names by URLTextEquals, parameters (from the first ";") byte for byte.
bool URLPathEquals(ConstData a, ConstData b);
