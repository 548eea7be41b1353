// The role check of custom sites: whether a verified signer chain holds a role, by itself or through
// a delegating certificate.
//
// A delegating certificate grants the role to the signer when it carries the signer's subject name
// and the role extension, comes among the candidate certificates (those that travelled with the
// signature), was issued by another candidate whose own chain verifies against the policy's store and
// belongs to the site, is revoked neither by its issuer nor indirectly by a revoker the policy
// accepts, and the policy accepts its issuer as a delegator. Every test answers false rather than
// failing; chains built here are freed before the call returns.
#pragma once

#include <openssl/x509.h>

#include "crypto/auto_openssl_object.h"
#include "crypto/custom_site_roles.h"
#include "crypto/indirect_revocation_policy.h"
#include "crypto/role_authorization_policy.h"

bool CheckRole(const Role& role, const RoleAuthorizationPolicy& policy, STACK_OF(X509)* signerChain,
               STACK_OF(X509)* candidates);
// Whether this one delegating certificate grants the role. May throw a verification or revocation
// failure of BuildDelegatingIssuerChain; CheckRole then passes the certificate over.
bool IsRoleDelegatedBy(const Role& role, const RoleAuthorizationPolicy& policy, STACK_OF(X509)* signerChain,
                       STACK_OF(X509)* candidates, X509* delegatingCertificate);

// The verified chain of the delegating certificate's issuer (found among the candidates), or empty
// when there is no issuer or the issuer's own revocation lists revoke the certificate. A chain that
// does not verify throws its verify error (x509_verify_errors.h), a revoked one CertificateRevoked.
X509StackHolder BuildDelegatingIssuerChain(X509* delegatingCertificate, STACK_OF(X509)* candidates,
                                           X509_STORE* store);

// Whether a revocation list of the process-wide revocation store, signed by a revoker the policy
// accepts for the role, revokes the delegating certificate indirectly.
bool IsDelegateIndirectlyRevoked(const Role& role, const RoleAuthorizationPolicy& policy,
                                 STACK_OF(X509)* signerChain, X509* delegatingCertificate,
                                 STACK_OF(X509)* candidates);

// The bridge from the revocation store's indirect lists to a role policy: a CRL is authoritative when
// its signer, found among its supporting certificates, verifies against the policy's store, is not
// revoked, belongs to the site, and the policy accepts it as a revoker for the role. Borrows
// everything; lives for one query.
class RolePolicyForwarder : public IndirectRevocationPolicy {
  public:
    RolePolicyForwarder(const RoleAuthorizationPolicy& policy, const Role& role, STACK_OF(X509)* signerChain,
                        STACK_OF(X509)* candidates)
        : m_policy(policy), m_role(role), m_signerChain(signerChain), m_candidates(candidates) {}

    // Throws the verification and revocation failures of the signer's chain; the store then skips
    // the list.
    bool IsAuthoritative(X509* certificate, X509_CRL* outerCRL) const override;

  private:
    const RoleAuthorizationPolicy& m_policy;
    const Role& m_role;
    STACK_OF(X509)* m_signerChain;
    STACK_OF(X509)* m_candidates;
};
