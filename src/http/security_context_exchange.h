// SecurityContextExchange: one NTLM or Negotiate authentication with a proxy or a server, through the
// GSSAPI library loaded at run time (platform/gssapi_library.h). It holds what carries over from one
// 401 or 407 leg to the next: the credentials, the target's name and the security context.
//
// The first leg starts a context for the service "HTTP@<host>" with credentials for the user and
// password; each later leg continues it with the token the peer sent. When the mechanism reports the
// exchange finished, or a leg fails, the context is released at once; while a further leg is
// expected it is kept. The credentials are acquired once and kept for the next exchanges of the same
// mechanism, user, domain and password. Tokens are raw bytes here: the HTTP header values carry them
// in Base64.
//
// Move-only owner of its GSSAPI objects, which it releases on destruction. Used by one thread at a
// time.
#pragma once

#include <gssapi/gssapi.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/const_data.h"

class SecurityContextExchange {
  public:
    // NTLM through gss-ntlmssp, or Negotiate through SPNEGO (Kerberos, or NTLM when Kerberos can't).
    enum class Mechanism { NTLM, Negotiate };

    SecurityContextExchange() = default;
    SecurityContextExchange(SecurityContextExchange&& other) noexcept;
    SecurityContextExchange& operator=(SecurityContextExchange&& other) noexcept;
    ~SecurityContextExchange();

    // The first leg, dropping any exchange in progress. `domain` may be empty. The token to send, or
    // nothing when GSSAPI or the mechanism is missing, the credentials can't be had or the context
    // does not start.
    std::optional<std::string> Start(Mechanism mechanism, std::string_view user, std::string_view domain,
                                     std::string_view password, std::string_view targetHost);
    // A later leg, with the token the peer sent. The token to send, or nothing when no exchange is in
    // progress, the token is empty or the mechanism refuses it, or it finishes with nothing to send.
    std::optional<std::string> Continue(ConstData peerToken);
    // Whether the exchange waits for another leg.
    bool InProgress() const { return m_context != GSS_C_NO_CONTEXT; }
    // Ends any exchange in progress (the credentials stay).
    void EndExchange();

  private:
    bool AcquireCredentials(Mechanism mechanism, std::string_view user, std::string_view domain,
                            std::string_view password);
    void ReleaseCredentials();
    std::optional<std::string> Step(ConstData peerToken);

    gss_OID m_mechanism = GSS_C_NO_OID;
    gss_cred_id_t m_credentials = GSS_C_NO_CREDENTIAL;
    // The mechanism, user name and password the credentials were acquired for.
    std::string m_credentialsIdentity;
    gss_name_t m_target = GSS_C_NO_NAME;
    gss_ctx_id_t m_context = GSS_C_NO_CONTEXT;
};
