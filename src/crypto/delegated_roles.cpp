#include "crypto/delegated_roles.h"

#include <openssl/x509v3.h>

#include "crypto/certificate_issuers.h"
#include "crypto/certificate_stores.h"
#include "crypto/certificates.h"
#include "crypto/crls.h"
#include "crypto/revocation_store.h"

namespace {

bool IsGrantedDirectly(const Role& role, const RoleAuthorizationPolicy& policy, STACK_OF(X509)* signerChain) {
    try {
        return policy.IsRoleGranted(role, signerChain);
    } catch (const std::exception&) {
        return false;
    }
}

// A critical extension that OpenSSL does not handle means the certificate says something we cannot
// read: it grants nothing.
bool HasUnhandledCriticalExtension(X509* certificate) {
    CacheCertificateExtensions(certificate);
    return (X509_get_extension_flags(certificate) & EXFLAG_CRITICAL) != 0;
}

}  // namespace

bool CheckRole(const Role& role, const RoleAuthorizationPolicy& policy, STACK_OF(X509)* signerChain,
               STACK_OF(X509)* candidates) {
    if (!policy.IsAuthorizedToPublish(signerChain)) return false;
    if (IsGrantedDirectly(role, policy, signerChain)) return true;
    for (int i = 0; i < sk_X509_num(candidates); ++i) {
        try {
            if (IsRoleDelegatedBy(role, policy, signerChain, candidates, sk_X509_value(candidates, i))) return true;
        } catch (const std::exception&) {
            // A delegation that cannot be verified grants nothing; another may.
        }
    }
    return false;
}

bool IsRoleDelegatedBy(const Role& role, const RoleAuthorizationPolicy& policy, STACK_OF(X509)* signerChain,
                       STACK_OF(X509)* candidates, X509* delegatingCertificate) {
    X509* signer = sk_X509_value(signerChain, 0);
    if (!signer || !delegatingCertificate) return false;
    if (X509_NAME_cmp(X509_get_subject_name(delegatingCertificate), X509_get_subject_name(signer)) != 0) return false;
    if (!HasRoleExtension(delegatingCertificate, role)) return false;
    if (HasUnhandledCriticalExtension(delegatingCertificate)) return false;
    X509StackHolder issuerChain = BuildDelegatingIssuerChain(delegatingCertificate, candidates, policy.GetTrustedStore());
    if (!issuerChain) return false;
    // The delegator itself must belong to the site.
    if (!policy.IsAuthorizedToPublish(issuerChain.Get())) return false;
    if (IsDelegateIndirectlyRevoked(role, policy, signerChain, delegatingCertificate, candidates)) return false;
    return policy.IsDelegationAuthorized(
        RoleDelegation{role, signerChain, delegatingCertificate, issuerChain.Get(), candidates});
}

X509StackHolder BuildDelegatingIssuerChain(X509* delegatingCertificate, STACK_OF(X509)* candidates,
                                           X509_STORE* store) {
    X509* issuer = FindIssuerIn(delegatingCertificate, candidates);
    if (!issuer) return X509StackHolder();
    RevocationStore& revocations = GetRevocationStore();
    if (revocations.IsRevokedByIssuer(delegatingCertificate, issuer)) return X509StackHolder();
    X509StackHolder issuerChain = VerifyCertificateChain(store, issuer, candidates, X509_PURPOSE_ANY);
    CheckChainNotRevoked(issuerChain.Get(), revocations);
    return issuerChain;
}

bool IsDelegateIndirectlyRevoked(const Role& role, const RoleAuthorizationPolicy& policy,
                                 STACK_OF(X509)* signerChain, X509* delegatingCertificate,
                                 STACK_OF(X509)* candidates) {
    RolePolicyForwarder forwarder(policy, role, signerChain, candidates);
    return GetRevocationStore().IsIndirectlyRevoked(delegatingCertificate, forwarder);
}

bool RolePolicyForwarder::IsAuthoritative(X509* certificate, X509_CRL* outerCRL) const {
    X509StackHolder supporting = GetCRLSupportingCertificates(outerCRL);
    if (!supporting) return false;
    X509* crlSigner = FindCRLIssuer(outerCRL, supporting.Get());
    if (!crlSigner) return false;
    X509StackHolder signerChain =
        VerifyCertificateChain(m_policy.GetTrustedStore(), crlSigner, supporting.Get(), X509_PURPOSE_ANY);
    CheckChainNotRevoked(signerChain.Get(), GetRevocationStore());
    if (!m_policy.IsAuthorizedToPublish(signerChain.Get())) return false;
    return m_policy.IsRevokerAuthorized(RoleRevocation{m_role, m_signerChain, m_candidates, certificate, outerCRL,
                                                       signerChain.Get(), supporting.Get()});
}
