#include "http/proxy_authentication.h"

#include <openssl/rand.h>

#include <atomic>
#include <initializer_list>
#include <utility>
#include <vector>

#include "base/character_classes.h"
#include "base/const_data.h"
#include "base/numerals.h"
#include "crypto/openssl_hash.h"
#include "formats/base64_codec.h"
#include "formats/hex_codec.h"
#include "foundation/log_manager.h"

namespace {

constexpr std::size_t kMaxDigestTextLength = 1023;  // realm, nonce, opaque
constexpr std::size_t kMaxDigestTokenLength = 19;   // qop, algorithm
constexpr std::size_t kClientNonceBytes = 16;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return Ascii::EqualIgnoringCase(ConstData(a), ConstData(b));
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    text = SkipBlanks(text);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

using AuthParameters = std::vector<std::pair<std::string, std::string>>;

// A quoted-string (RFC 7230): the text between the quotes with each backslash escape resolved.
bool ReadQuotedString(std::string_view& text, std::string& value) {
    text.remove_prefix(1);
    while (!text.empty()) {
        char c = text.front();
        text.remove_prefix(1);
        if (c == '"') return true;
        if (c == '\\') {
            if (text.empty()) return false;
            c = text.front();
            text.remove_prefix(1);
        }
        value += c;
    }
    return false;
}

// The comma-separated name=value pairs of a challenge, values being tokens or quoted strings (so a
// quoted qop list such as "auth,auth-int" stays one value). False for malformed text.
bool ParseAuthParameters(std::string_view text, AuthParameters& parameters) {
    for (;;) {
        while (!text.empty() && (IsBlank(text.front()) || text.front() == ',')) text.remove_prefix(1);
        if (text.empty()) return true;
        std::size_t nameEnd = 0;
        while (nameEnd < text.size() && text[nameEnd] != '=' && text[nameEnd] != ',' &&
               !IsBlank(text[nameEnd]))
            ++nameEnd;
        std::string name(text.substr(0, nameEnd));
        text = SkipBlanks(text.substr(nameEnd));
        if (name.empty() || text.empty() || text.front() != '=') return false;
        text = SkipBlanks(text.substr(1));
        std::string value;
        if (!text.empty() && text.front() == '"') {
            if (!ReadQuotedString(text, value)) return false;
        } else {
            std::size_t valueEnd = 0;
            while (valueEnd < text.size() && text[valueEnd] != ',' && !IsBlank(text[valueEnd])) ++valueEnd;
            value = text.substr(0, valueEnd);
            text.remove_prefix(valueEnd);
        }
        parameters.emplace_back(std::move(name), std::move(value));
    }
}

const std::string* FindParameter(const AuthParameters& parameters, std::string_view name) {
    for (const auto& [parameterName, value] : parameters)
        if (EqualsIgnoringCase(parameterName, name)) return &value;
    return nullptr;
}

// Whether a comma-separated qop list holds "auth" (and not only "auth-int").
bool OffersAuthQop(std::string_view list) {
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        while (!item.empty() && IsBlank(item.front())) item.remove_prefix(1);
        while (!item.empty() && IsBlank(item.back())) item.remove_suffix(1);
        if (EqualsIgnoringCase(item, "auth")) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

// The MD5 of the pieces joined by ":", as lower-case hex.
std::string DigestHex(OpenSSLHash& hash, std::initializer_list<std::string_view> pieces) {
    hash.Begin();
    bool first = true;
    for (std::string_view piece : pieces) {
        if (!first) hash.Receive(ConstData(std::string_view(":")));
        hash.Receive(ConstData(piece));
        first = false;
    }
    hash.End();
    return hash.GetDigest().ToHex();
}

// name="value", with a double quote or backslash in the value escaped.
std::string QuotedField(std::string_view name, std::string_view value) {
    std::string field(name);
    field += "=\"";
    for (char c : value) {
        if (c == '"' || c == '\\') field += '\\';
        field += c;
    }
    field += '"';
    return field;
}

std::string TokenField(std::string_view name, std::string_view value) {
    return std::string(name) + "=" + std::string(value);
}

std::string MakeBasicAuthorization(std::string_view user, std::string_view password) {
    std::string credentials = std::string(user) + ":" + std::string(password);
    return "Basic " + Base64EncodeText(ConstData(credentials));
}

}  // namespace

bool ParseDigestChallenge(std::string_view parameters, DigestChallenge& challenge) {
    AuthParameters found;
    if (!ParseAuthParameters(parameters, found)) return false;
    auto take = [&](std::string_view name, std::string& target, std::size_t limit) {
        const std::string* value = FindParameter(found, name);
        if (value) target = *value;
        return target.size() <= limit;
    };
    std::string qopList;
    challenge = DigestChallenge();
    if (!take("realm", challenge.realm, kMaxDigestTextLength) ||
        !take("nonce", challenge.nonce, kMaxDigestTextLength) ||
        !take("opaque", challenge.opaque, kMaxDigestTextLength) ||
        !take("qop", qopList, kMaxDigestTokenLength) ||
        !take("algorithm", challenge.algorithm, kMaxDigestTokenLength))
        return false;
    if (challenge.nonce.empty()) return false;
    if (FindParameter(found, "qop")) {
        if (!OffersAuthQop(qopList)) return false;
        challenge.qop = "auth";
    }
    return challenge.algorithm.empty() || EqualsIgnoringCase(challenge.algorithm, "MD5") ||
           EqualsIgnoringCase(challenge.algorithm, "MD5-sess");
}

std::string MakeDigestAuthorization(const DigestChallenge& challenge, std::string_view user,
                                    std::string_view password, std::string_view method, std::string_view uri,
                                    std::string_view clientNonce, std::uint32_t nonceCount) {
    OpenSSLHash hash;
    hash.Start(GetHTTPDigestMethod());
    std::string ha1 = DigestHex(hash, {user, challenge.realm, password});
    if (EqualsIgnoringCase(challenge.algorithm, "MD5-sess"))
        ha1 = DigestHex(hash, {ha1, challenge.nonce, clientNonce});
    std::string ha2 = DigestHex(hash, {method, uri});
    std::string count(FormatHexDigits(nonceCount, 8).View());
    std::string response =
        challenge.qop.empty()
            ? DigestHex(hash, {ha1, challenge.nonce, ha2})
            : DigestHex(hash, {ha1, challenge.nonce, count, clientNonce, challenge.qop, ha2});

    std::vector<std::string> fields = {QuotedField("username", user), QuotedField("realm", challenge.realm),
                                       QuotedField("uri", uri), QuotedField("nonce", challenge.nonce)};
    if (!challenge.qop.empty()) {
        fields.push_back(TokenField("qop", challenge.qop));
        fields.push_back(TokenField("nc", count));
        fields.push_back(QuotedField("cnonce", clientNonce));
    }
    if (!challenge.algorithm.empty()) fields.push_back(TokenField("algorithm", challenge.algorithm));
    if (!challenge.opaque.empty()) fields.push_back(QuotedField("opaque", challenge.opaque));
    fields.push_back(QuotedField("response", response));

    std::string value = "Digest ";
    for (std::size_t i = 0; i < fields.size(); ++i) value += (i ? ", " : "") + fields[i];
    return value;
}

const std::string& DigestClientNonce() {
    static const std::string nonce = [] {
        Byte random[kClientNonceBytes];
        if (RAND_bytes(random, sizeof random) != 1) throw DigestFailed();
        return HexEncodeText(ConstData(random, sizeof random));
    }();
    return nonce;
}

std::uint32_t NextDigestNonceCount() {
    static std::atomic<std::uint32_t> counter{0};
    return ++counter;
}

HTTPClientSession::HTTPClientSession(std::string proxyUser, std::string proxyPassword,
                                     std::string proxyDomain, std::string serverUser,
                                     std::string serverPassword, std::string proxyHost,
                                     std::uint16_t proxyPort, bool refuseBasic, int addressFamilyChoice)
    : m_proxyUser(std::move(proxyUser)),
      m_proxyPassword(std::move(proxyPassword)),
      m_proxyDomain(std::move(proxyDomain)),
      m_serverUser(std::move(serverUser)),
      m_serverPassword(std::move(serverPassword)),
      m_proxyHost(std::move(proxyHost)),
      m_proxyPort(proxyPort),
      m_refuseBasic(refuseBasic),
      m_addressFamilyChoice(addressFamilyChoice) {}

bool HTTPClientSession::AnswerChallenge(std::string_view method, std::string_view challenges,
                                        std::string_view requestURI, std::string& authorization,
                                        std::string& realm, bool firstAttempt, int status,
                                        std::string_view serverHost) {
    m_scheme = "Not supported";
    m_keepProxyAuthorization = false;
    while (!challenges.empty()) {
        std::size_t lineEnd = challenges.find_first_of("\r\n");
        std::string_view line = challenges.substr(0, lineEnd);
        challenges.remove_prefix(lineEnd == std::string_view::npos ? challenges.size() : lineEnd + 1);
        bool refused = false;
        if (AnswerLine(SkipBlanks(line), method, requestURI, authorization, realm, firstAttempt, status,
                       serverHost, refused))
            return true;
        if (refused) return false;
    }
    return false;
}

bool HTTPClientSession::AnswerLine(std::string_view line, std::string_view method,
                                   std::string_view requestURI, std::string& authorization,
                                   std::string& realm, bool firstAttempt, int status,
                                   std::string_view serverHost, bool& refused) {
    std::size_t wordEnd = 0;
    while (wordEnd < line.size() && !IsBlank(line[wordEnd])) ++wordEnd;
    std::string_view word = line.substr(0, wordEnd);
    std::string_view parameters = line.substr(wordEnd);
    const std::string& user = status == 407 ? m_proxyUser : m_serverUser;
    const std::string& password = status == 407 ? m_proxyPassword : m_serverPassword;

    std::string value;
    std::string challengeRealm;
    if (EqualsIgnoringCase(word, "basic")) {
        m_keepProxyAuthorization = true;
        if (!firstAttempt || m_refuseBasic) return false;
        m_scheme = "basic";
        AuthParameters found;
        if (ParseAuthParameters(parameters, found))
            if (const std::string* foundRealm = FindParameter(found, "realm")) challengeRealm = *foundRealm;
        if (user.empty() || password.empty()) return refused = true, false;
        value = MakeBasicAuthorization(user, password);
    } else if (EqualsIgnoringCase(word, "digest")) {
        DigestChallenge challenge;
        if (!firstAttempt || !ParseDigestChallenge(parameters, challenge)) return false;
        m_scheme = "digest";
        if (user.empty() || password.empty()) return refused = true, false;
        value = MakeDigestAuthorization(challenge, user, password, method, requestURI, DigestClientNonce(),
                                        NextDigestNonceCount());
        challengeRealm = challenge.realm;
    } else if (EqualsIgnoringCase(word, "ntlm") || EqualsIgnoringCase(word, "negotiate")) {
        bool ntlm = EqualsIgnoringCase(word, "ntlm");
        m_scheme = ntlm ? "NTLM" : "Negotiate";
        if (user.empty() || password.empty()) return refused = true, false;
        std::optional<std::string> token = NextSecurityToken(
            ntlm ? SecurityContextExchange::Mechanism::NTLM : SecurityContextExchange::Mechanism::Negotiate,
            TrimBlanks(parameters), firstAttempt, status, serverHost);
        if (!token) return false;
        value = m_scheme + " " + Base64EncodeText(ConstData(*token));
    } else {
        return false;
    }
    if (value.size() > kMaxAuthorizationLength) {
        KVR_LOG("debug") << m_scheme << " authentication: the answer of " << value.size()
                         << " bytes is longer than the " << kMaxAuthorizationLength << " a header may carry";
        m_securityExchange.EndExchange();
        return refused = true, false;
    }
    authorization = std::move(value);
    realm = challengeRealm.substr(0, kMaxRealmLength);
    return true;
}

std::optional<std::string> HTTPClientSession::NextSecurityToken(SecurityContextExchange::Mechanism mechanism,
                                                                std::string_view peerToken, bool firstAttempt,
                                                                int status, std::string_view serverHost) {
    if (!peerToken.empty()) {
        // A token continues only the exchange it belongs to: one begun with the same party (the proxy
        // for a 407, the server for a 401) and mechanism, so that neither party's token can draw an
        // answer made with the other's credentials. It travels whole: the response head's own bound
        // limits its size.
        if (status != m_securityExchangeStatus || mechanism != m_securityExchangeMechanism) return std::nullopt;
        std::string decoded = Base64DecodeText(ConstData(peerToken));
        return m_securityExchange.Continue(ConstData(decoded));
    }
    // A challenge without a token after the first attempt is the peer refusing the last leg: starting
    // again would go round for ever.
    if (!firstAttempt) return std::nullopt;
    std::string_view host = status == 407 ? std::string_view(m_proxyHost) : serverHost;
    if (host.empty()) return std::nullopt;
    std::string_view domain = status == 407 ? std::string_view(m_proxyDomain) : std::string_view();
    const std::string& user = status == 407 ? m_proxyUser : m_serverUser;
    const std::string& password = status == 407 ? m_proxyPassword : m_serverPassword;
    m_securityExchangeStatus = status;
    m_securityExchangeMechanism = mechanism;
    return m_securityExchange.Start(mechanism, user, domain, password, host);
}
