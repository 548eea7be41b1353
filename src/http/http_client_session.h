// The authentication state of the outgoing HTTP clients: HTTPClientSession holds the proxy settings
// and the credentials, and answers "WWW-Authenticate" (401) and "Proxy-Authenticate" (407)
// challenges with Basic, Digest (digest_authentication.h), NTLM or Negotiate header values.
// NTLM and Negotiate go through GSSAPI (security_context_exchange.h) and take several legs on one
// connection; the session keeps the exchange between them.
//
// A session lives as long as its owner's configuration and serves many requests one after another,
// but one at a time: it is not locked. It can be moved, not copied (it owns the GSSAPI exchange).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "http/security_context_exchange.h"

// Hosts that are never reached through a proxy: "..localmachine", "127.0.0.1" and "::1" (ASCII case
// ignored).
bool IsLocalTargetHost(std::string_view host);

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
    // Replaces the server credentials that answer a 401.
    void SetServerCredentials(std::string user, std::string password) {
        m_serverUser = std::move(user);
        m_serverPassword = std::move(password);
    }
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
