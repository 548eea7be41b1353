// HTTP Digest authentication (RFC 2617) for the outgoing HTTP clients' session: the challenge's
// parameters, the Authorization value that answers it, and the process-wide client nonce and nonce
// counter. MD5 and MD5-sess, with qop "auth" or none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What a Digest challenge asks for, its quotes removed.
struct DigestChallenge {
    std::string realm;
    std::string nonce;
    std::string opaque;
    // "auth" when the server offers it, empty when the challenge names no qop.
    std::string qop;
    // As the server wrote it ("MD5", "MD5-sess" in any case), or empty.
    std::string algorithm;
};

// Reads the parameters of one Digest challenge (the text after the word "Digest"). False when the
// challenge can't be answered: no nonce, a qop list without "auth", an algorithm other than MD5 and
// MD5-sess, a value longer than its limit, or malformed parameters.
bool ParseDigestChallenge(std::string_view parameters, DigestChallenge& challenge);

// The Authorization value of a Digest answer (RFC 2617): "Digest " and username, realm, uri, nonce,
// then qop, nc and cnonce when a qop was chosen, algorithm when one was named, opaque when given, and
// response. `uri` is the request target exactly as the request line sends it. A value that holds a
// double quote or a backslash is escaped inside its quotes.
std::string MakeDigestAuthorization(const DigestChallenge& challenge, std::string_view user,
                                    std::string_view password, std::string_view method, std::string_view uri,
                                    std::string_view clientNonce, std::uint32_t nonceCount);

// The process's Digest client nonce: 16 bytes from OpenSSL's random generator as hex text, made on
// first use. Thread-safe.
const std::string& DigestClientNonce();
// The next value of the process-wide Digest nonce counter (1 first). Thread-safe.
std::uint32_t NextDigestNonceCount();
