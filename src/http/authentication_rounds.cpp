#include "http/authentication_rounds.h"

#include <utility>

#include "http/proxy_authentication.h"

AuthenticationRounds::AuthenticationRounds(HTTPClientSession& session, bool preloadProxyAuthorization,
                                           std::string serverHost)
    : m_session(session), m_serverHost(std::move(serverHost)) {
    if (preloadProxyAuthorization && session.KeepsProxyAuthorization())
        m_proxyAuthorization =
            session.StoredProxyAuthorization().substr(0, HTTPClientSession::kMaxAuthorizationLength);
}

bool AuthenticationRounds::Answer(unsigned status, std::string_view method, std::string_view challenges,
                                  std::string_view uri) {
    if (status == kUnauthorized) {
        bool first = m_first401;
        m_first401 = false;
        return m_session.AnswerChallenge(method, challenges, uri, m_authorization, m_serverRealm, first,
                                         kUnauthorized, m_serverHost);
    }
    if (status == kProxyAuthenticationRequired) {
        bool first = m_first407;
        m_first407 = false;
        return m_session.AnswerChallenge(method, challenges, uri, m_proxyAuthorization, m_proxyRealm, first,
                                         kProxyAuthenticationRequired);
    }
    return false;
}

void AuthenticationRounds::Finish(bool accepted) {
    if (!accepted)
        m_session.StoreProxyAuthorization({});
    else if (m_session.KeepsProxyAuthorization() && !m_proxyAuthorization.empty())
        m_session.StoreProxyAuthorization(m_proxyAuthorization);
}
