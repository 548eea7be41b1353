#include "crypto/custom_site_role_policy.h"

#include "crypto/delegated_roles.h"
#include "crypto/own_object_identifiers.h"
#include "crypto/certificate_fields.h"
#include "crypto/publishing_authorization.h"

namespace {

// The site certificate itself, or an administrator (typed so, or untyped) directly under it.
bool IsSiteOrAdministrator(STACK_OF(X509)* chain) {
    int length = sk_X509_num(chain);
    return length == 3 || (length == 4 && IsAdministratorOrUntyped(sk_X509_value(chain, 0)));
}

}  // namespace

bool CustomSiteRoleAuthorizationPolicy::IsAuthorizedToPublish(STACK_OF(X509)* chain) const {
    return ::IsAuthorizedToPublish(m_mastheadVerification, chain);
}

bool CustomSiteRoleAuthorizationPolicy::IsRoleGranted(const Role& role, STACK_OF(X509)* chain) const {
    bool knownRole = role.kind == GetCustomSiteOwnerNID() || role.kind == GetCustomSiteUserNID();
    return knownRole && IsSiteOrAdministrator(chain);
}

// The delegation and revocation records also carry the signer's chain and candidates, but the
// question is whether the delegator (or revoker) may grant the role: were the signer's own chain
// judged here, a delegation could never grant more than the signer holds by itself. So a delegation
// is judged by the chain of the delegating certificate's issuer with the candidate certificates, and
// a revocation by the chain of the list's signer with the list's supporting certificates.
bool CustomSiteRoleAuthorizationPolicy::IsDelegationAuthorized(const RoleDelegation& delegation) const {
    return MayGrant(delegation.role, delegation.issuerChain, delegation.candidates);
}

bool CustomSiteRoleAuthorizationPolicy::IsRevokerAuthorized(const RoleRevocation& revocation) const {
    return MayGrant(revocation.role, revocation.crlSignerChain, revocation.crlCertificates);
}

bool CustomSiteRoleAuthorizationPolicy::MayGrant(const Role& role, STACK_OF(X509)* chain,
                                                 STACK_OF(X509)* certificates) const {
    if (role.kind == GetCustomSiteOwnerNID()) return IsSiteOrAdministrator(chain);
    if (role.kind != GetCustomSiteUserNID()) return false;
    if (IsSiteOrAdministrator(chain)) return true;
    // An owner, by delegation too, may delegate the user role. The owner check asks nothing further
    // of this branch, so the recursion ends there.
    return CheckRole(CustomSiteOwnerRole(role.siteName), *this, chain, certificates);
}
