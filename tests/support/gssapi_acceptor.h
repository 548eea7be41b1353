// The accepting side of NTLM and Negotiate exchanges, for tests of the initiating side: the same
// GSSAPI library the program loads, with gss-ntlmssp checking the initiator's answers against a user
// file of its own.
#pragma once

#include <gssapi/gssapi.h>

#include <string>

#include "support/temporary_folder.h"

// Why the tests of NTLM and Negotiate can't run here (the GSSAPI library or gss-ntlmssp is missing;
// scripts/deps installs both), or empty when they can.
std::string MissingNTLMSupport();

// A file of "DOMAIN:user:password" lines in a temporary folder, named by NTLM_USER_FILE in the
// process's environment for the holder's life (gss-ntlmssp reads the variable at each check).
class NTLMUserFile {
  public:
    explicit NTLMUserFile(const std::string& lines);
    ~NTLMUserFile();
    NTLMUserFile(const NTLMUserFile&) = delete;
    NTLMUserFile& operator=(const NTLMUserFile&) = delete;

  private:
    TemporaryFolder m_folder;
};

// One accepting security context. Throws std::runtime_error when GSSAPI can't give acceptor
// credentials for the mechanism.
class GSSAPIAcceptor {
  public:
    enum class Mechanism { NTLM, SPNEGO };
    enum class State { Continue, Complete, Failed };

    explicit GSSAPIAcceptor(Mechanism mechanism);
    ~GSSAPIAcceptor();
    GSSAPIAcceptor(const GSSAPIAcceptor&) = delete;
    GSSAPIAcceptor& operator=(const GSSAPIAcceptor&) = delete;

    // Takes the initiator's next token; `reply` receives the token to send back (possibly empty).
    State Accept(const std::string& token, std::string& reply);
    // The authenticated initiator as the mechanism names it ("DOMAIN\user" for NTLM), once complete.
    const std::string& InitiatorName() const { return m_initiatorName; }

  private:
    gss_OID m_mechanism;
    gss_cred_id_t m_credentials = GSS_C_NO_CREDENTIAL;
    gss_ctx_id_t m_context = GSS_C_NO_CONTEXT;
    std::string m_initiatorName;
};
