// AuthenticationRounds: the Authorization and Proxy-Authorization values that one request sends
// over its rounds, each 401 or 407 answered through the session (proxy_authentication.h), and what
// the session keeps of them for later requests.
//
// Basic and Digest answer only the first challenge of each kind, so a request's rounds end. Used by
// one request on one thread at a time, like its session.
#pragma once

#include <string>
#include <string_view>

class HTTPClientSession;

class AuthenticationRounds {
  public:
    static constexpr unsigned kUnauthorized = 401;
    static constexpr unsigned kProxyAuthenticationRequired = 407;

    // With `preloadProxyAuthorization` the first round sends the Proxy-Authorization the session
    // keeps (when it keeps one). `serverHost` is the request's host, which NTLM and Negotiate answers
    // to a 401 name as their target. The session must outlive the rounds.
    AuthenticationRounds(HTTPClientSession& session, bool preloadProxyAuthorization, std::string serverHost);

    // Empty until a challenge was answered (or preloaded).
    const std::string& Authorization() const { return m_authorization; }
    const std::string& ProxyAuthorization() const { return m_proxyAuthorization; }

    // The value for the next round from the challenges of a 401 (server credentials) or a 407 (proxy
    // credentials); `method` and `uri` as the request line sent them. False when they can't be
    // answered, and for any other status.
    bool Answer(unsigned status, std::string_view method, std::string_view challenges, std::string_view uri);
    // The rounds have ended: when `accepted`, the Proxy-Authorization sent is kept for later requests
    // if the session keeps such values; otherwise the kept value is dropped.
    void Finish(bool accepted);

  private:
    HTTPClientSession& m_session;
    std::string m_serverHost;
    std::string m_authorization;
    std::string m_proxyAuthorization;
    std::string m_serverRealm;
    std::string m_proxyRealm;
    bool m_first401 = true;
    bool m_first407 = true;
};
