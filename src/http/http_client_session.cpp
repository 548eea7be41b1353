#include "http/http_client_session.h"

#include <utility>

#include "base/character_classes.h"
#include "base/const_data.h"
#include "formats/base64_codec.h"
#include "foundation/log_manager.h"
#include "http/authentication_challenge.h"
#include "http/digest_authentication.h"

namespace {

std::string MakeBasicAuthorization(std::string_view user, std::string_view password) {
    std::string credentials = std::string(user) + ":" + std::string(password);
    return "Basic " + Base64EncodeText(ConstData(credentials));
}

}  // namespace

bool IsLocalTargetHost(std::string_view host) {
    for (std::string_view local : {"..localmachine", "127.0.0.1", "::1"})
        if (Ascii::EqualIgnoringCase(ConstData(host), ConstData(local))) return true;
    return false;
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
        if (AnswerLine(line, method, requestURI, authorization, realm, firstAttempt, status, serverHost,
                       refused))
            return true;
        if (refused) return false;
    }
    return false;
}

bool HTTPClientSession::AnswerLine(std::string_view line, std::string_view method,
                                   std::string_view requestURI, std::string& authorization,
                                   std::string& realm, bool firstAttempt, int status,
                                   std::string_view serverHost, bool& refused) {
    auto [word, parameters] = SplitChallengeLine(line);
    const std::string& user = status == 407 ? m_proxyUser : m_serverUser;
    const std::string& password = status == 407 ? m_proxyPassword : m_serverPassword;

    std::string value;
    std::string challengeRealm;
    if (IsAuthWord(word, "basic")) {
        m_keepProxyAuthorization = true;
        if (!firstAttempt || m_refuseBasic) return false;
        m_scheme = "basic";
        AuthParameters found;
        if (ParseAuthParameters(parameters, found))
            if (const std::string* foundRealm = FindAuthParameter(found, "realm"))
                challengeRealm = *foundRealm;
        if (user.empty() || password.empty()) return refused = true, false;
        value = MakeBasicAuthorization(user, password);
    } else if (IsAuthWord(word, "digest")) {
        DigestChallenge challenge;
        if (!firstAttempt || !ParseDigestChallenge(parameters, challenge)) return false;
        m_scheme = "digest";
        if (user.empty() || password.empty()) return refused = true, false;
        value = MakeDigestAuthorization(challenge, user, password, method, requestURI, DigestClientNonce(),
                                        NextDigestNonceCount());
        challengeRealm = challenge.realm;
    } else if (IsAuthWord(word, "ntlm") || IsAuthWord(word, "negotiate")) {
        bool ntlm = IsAuthWord(word, "ntlm");
        m_scheme = ntlm ? "NTLM" : "Negotiate";
        if (user.empty() || password.empty()) return refused = true, false;
        std::optional<std::string> token = NextSecurityToken(
            ntlm ? SecurityContextExchange::Mechanism::NTLM : SecurityContextExchange::Mechanism::Negotiate,
            ChallengeToken(parameters), firstAttempt, status, serverHost);
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
        if (status != m_securityExchangeStatus || mechanism != m_securityExchangeMechanism)
            return std::nullopt;
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
