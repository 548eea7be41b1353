// RoleAuthorizationPolicy: what a kind of site says about roles. The role check of delegated_roles.h
// asks it whether a chain belongs to the site, whether a chain holds a role by itself, and whether a
// delegation, or the revocation of one, comes from a chain allowed to make it.
//
// A policy borrows everything it is built over and never changes; its answers throw nothing that
// the role check does not catch.
#pragma once

#include <openssl/x509.h>

#include "crypto/custom_site_roles.h"

// A delegation under judgment: the signer's verified chain, the delegating certificate (the signer's
// subject, carrying the role extension), the verified chain of the certificate that issued it, and
// the candidate certificates that came with the signature. All borrowed.
struct RoleDelegation {
    const Role& role;
    STACK_OF(X509)* signerChain;
    X509* delegatingCertificate;
    STACK_OF(X509)* issuerChain;
    STACK_OF(X509)* candidates;
};

// A revocation list that revokes a delegating certificate indirectly: the signer's chain and
// candidates as above, the certificate it revokes, the outer list, the verified chain of the list's
// signer and the list's supporting certificates. All borrowed.
struct RoleRevocation {
    const Role& role;
    STACK_OF(X509)* signerChain;
    STACK_OF(X509)* candidates;
    X509* revokedCertificate;
    X509_CRL* crl;
    STACK_OF(X509)* crlSignerChain;
    STACK_OF(X509)* crlCertificates;
};

class RoleAuthorizationPolicy {
  public:
    virtual ~RoleAuthorizationPolicy() = default;

    // The store against which the chains of delegators and revokers are verified.
    virtual X509_STORE* GetTrustedStore() const = 0;
    // Whether the chain (signer first) belongs to the site.
    virtual bool IsAuthorizedToPublish(STACK_OF(X509)* chain) const = 0;
    // Whether the chain holds the role by itself.
    virtual bool IsRoleGranted(const Role& role, STACK_OF(X509)* chain) const = 0;
    // Whether the issuer of the delegating certificate may grant the role.
    virtual bool IsDelegationAuthorized(const RoleDelegation& delegation) const = 0;
    // Whether the signer of the list may revoke a delegation of the role.
    virtual bool IsRevokerAuthorized(const RoleRevocation& revocation) const = 0;
};
