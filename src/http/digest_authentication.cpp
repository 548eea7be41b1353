#include "http/digest_authentication.h"

#include <openssl/rand.h>

#include <atomic>
#include <initializer_list>
#include <vector>

#include "base/const_data.h"
#include "base/numerals.h"
#include "crypto/openssl_hash.h"
#include "formats/hex_codec.h"
#include "http/authentication_challenge.h"

namespace {

constexpr std::size_t kMaxDigestTextLength = 1023;  // realm, nonce, opaque
constexpr std::size_t kMaxDigestTokenLength = 19;   // qop, algorithm
constexpr std::size_t kClientNonceBytes = 16;

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

}  // namespace

bool ParseDigestChallenge(std::string_view parameters, DigestChallenge& challenge) {
    AuthParameters found;
    if (!ParseAuthParameters(parameters, found)) return false;
    auto take = [&](std::string_view name, std::string& target, std::size_t limit) {
        const std::string* value = FindAuthParameter(found, name);
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
    if (FindAuthParameter(found, "qop")) {
        // "auth-int" alone is refused: it needs a hash of the body.
        if (!AuthListHolds(qopList, "auth")) return false;
        challenge.qop = "auth";
    }
    return challenge.algorithm.empty() || IsAuthWord(challenge.algorithm, "MD5") ||
           IsAuthWord(challenge.algorithm, "MD5-sess");
}

std::string MakeDigestAuthorization(const DigestChallenge& challenge, std::string_view user,
                                    std::string_view password, std::string_view method, std::string_view uri,
                                    std::string_view clientNonce, std::uint32_t nonceCount) {
    OpenSSLHash hash;
    hash.Start(GetHTTPDigestMethod());
    std::string ha1 = DigestHex(hash, {user, challenge.realm, password});
    if (IsAuthWord(challenge.algorithm, "MD5-sess"))
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
