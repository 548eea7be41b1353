// CustomSiteRoleAuthorizationPolicy: the role policy of a custom site, judged against the chains with
// which the site's masthead was verified.
//
// A chain belongs to the site when IsAuthorizedToPublish says so. The site certificate itself (a
// chain of 3) and the site's administrators (a chain of 4 whose signer has no "Type:" field or
// "Type:Administrator") hold both roles by themselves, and may delegate either. The holder of the
// owner role, directly or by delegation, may also delegate the user role. Who may revoke a delegation
// is decided the same way: whoever may grant that role.
//
// Borrows the masthead verification and the trusted store, both of which must outlive it (the
// CustomSiteSignaturePolicy that builds it owns the store).
#pragma once

#include <openssl/x509.h>

#include "crypto/role_authorization_policy.h"

class SignatureVerification;

class CustomSiteRoleAuthorizationPolicy : public RoleAuthorizationPolicy {
  public:
    CustomSiteRoleAuthorizationPolicy(const SignatureVerification& mastheadVerification, X509_STORE* trustedStore)
        : m_mastheadVerification(mastheadVerification), m_trustedStore(trustedStore) {}

    X509_STORE* GetTrustedStore() const override { return m_trustedStore; }
    bool IsAuthorizedToPublish(STACK_OF(X509)* chain) const override;
    bool IsRoleGranted(const Role& role, STACK_OF(X509)* chain) const override;
    bool IsDelegationAuthorized(const RoleDelegation& delegation) const override;
    bool IsRevokerAuthorized(const RoleRevocation& revocation) const override;

  private:
    // Whether the chain, with the certificates that came with it, may grant (or revoke) the role.
    bool MayGrant(const Role& role, STACK_OF(X509)* chain, STACK_OF(X509)* certificates) const;

    const SignatureVerification& m_mastheadVerification;
    X509_STORE* m_trustedStore;
};
