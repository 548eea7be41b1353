// The authentication state of the outgoing HTTP clients: HTTPClientSession holds the proxy settings
// and the credentials, and answers "WWW-Authenticate" (401) and "Proxy-Authenticate" (407)
// challenges with Basic, Digest (MD5, MD5-sess, qop "auth" or none), NTLM or Negotiate header values.
// NTLM and Negotiate go through GSSAPI (security_context_exchange.h) and take several legs on one
// connection; the session keeps the exchange between them.
//
// A session lives as long as its owner's configuration and serves many requests one after another,
// but one at a time: it is not locked. It can be moved, not copied (it owns the GSSAPI exchange). The
// Digest client nonce and nonce counter are process-wide.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/security_context_exchange.h"

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

class HTTPClientSession {
  public:
    static constexpr std::size_t kMaxAuthorizationLength = 4095;
    static constexpr std::size_t kMaxRealmLength = 1023;

    // No proxy, no credentials.
    HTTPClientSession() = default;
    // `proxyHost` is the host to connect to when a proxy is used (empty: no proxy);
    // `addressFamilyChoice` as ParseAddressFamilyChoice gives it.
    HTTPClientSession(std::string proxyUser, std::string proxyPassword, std::string proxyDomain,
                      std::string serverUser, std::string serverPassword, std::string proxyHost,
                      std::uint16_t proxyPort, bool refuseBasic, int addressFamilyChoice);

    // Answers a challenge text of one challenge per line ('\r' or '\n' between them): the first line
    // that can be answered gives the header value. `status` 401 takes the server credentials, 407 the
    // proxy credentials (and the proxy domain for NTLM and Negotiate); `method` and `requestURI` are
    // the request's method word and target as sent. Basic and Digest answer only a first attempt;
    // Basic not when the session refuses it. NTLM and Negotiate start an exchange on a first attempt
    // and continue it when the line carries the peer's token; their target is the service
    // "HTTP@<host>" of the proxy host for 407 and of `serverHost` for 401 (without a server host a
    // 401 is not answered with them). False when no line was answered or the credentials for the
    // status are incomplete. Sets the scheme text and the keep-proxy-authorization flag (set when a
    // challenge offers Basic).
    bool AnswerChallenge(std::string_view method, std::string_view challenges, std::string_view requestURI,
                         std::string& authorization, std::string& realm, bool firstAttempt, int status,
                         std::string_view serverHost = {});

    const std::string& ProxyHost() const { return m_proxyHost; }
    std::uint16_t ProxyPort() const { return m_proxyPort; }
    int AddressFamilyChoice() const { return m_addressFamilyChoice; }
    // "None" until a challenge is answered; then "basic", "digest", "NTLM", "Negotiate" or
    // "Not supported".
    const std::string& AuthenticationScheme() const { return m_scheme; }

    // The Proxy-Authorization value that later requests send before they are challenged: kept only
    // for Basic, whose value does not depend on the request.
    bool KeepsProxyAuthorization() const { return m_keepProxyAuthorization; }
    const std::string& StoredProxyAuthorization() const { return m_storedProxyAuthorization; }
    void StoreProxyAuthorization(std::string value) { m_storedProxyAuthorization = std::move(value); }

    // The credentials as configured, for a transport that answers challenges itself.
    const std::string& ProxyUser() const { return m_proxyUser; }
    const std::string& ProxyPassword() const { return m_proxyPassword; }
    const std::string& ServerUser() const { return m_serverUser; }
    const std::string& ServerPassword() const { return m_serverPassword; }
    bool RefusesBasic() const { return m_refuseBasic; }

  private:
    // The answer of one challenge line; false to try the next line, and `refused` when the whole
    // answer fails.
    bool AnswerLine(std::string_view line, std::string_view method, std::string_view requestURI,
                    std::string& authorization, std::string& realm, bool firstAttempt, int status,
                    std::string_view serverHost, bool& refused);
    // The token of the next NTLM or Negotiate leg, or nothing when the line can't be answered.
    std::optional<std::string> NextSecurityToken(SecurityContextExchange::Mechanism mechanism,
                                                 std::string_view peerToken, bool firstAttempt, int status,
                                                 std::string_view serverHost);

    std::string m_proxyUser;
    std::string m_proxyPassword;
    std::string m_proxyDomain;
    std::string m_serverUser;
    std::string m_serverPassword;
    std::string m_proxyHost;
    std::uint16_t m_proxyPort = 0;
    bool m_refuseBasic = false;
    bool m_keepProxyAuthorization = false;
    int m_addressFamilyChoice = 0;
    std::string m_scheme = "None";
    std::string m_storedProxyAuthorization;
    // The NTLM or Negotiate exchange between its legs, and the status (401 or 407) and mechanism it
    // was begun for.
    SecurityContextExchange m_securityExchange;
    int m_securityExchangeStatus = 0;
    SecurityContextExchange::Mechanism m_securityExchangeMechanism = SecurityContextExchange::Mechanism::NTLM;
};
