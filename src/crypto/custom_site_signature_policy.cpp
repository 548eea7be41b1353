#include "crypto/custom_site_signature_policy.h"

#include "crypto/certificate_fields.h"
#include "crypto/custom_site_role_policy.h"
#include "crypto/delegated_roles.h"
#include "crypto/reissued_certificates.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_attributes.h"

CustomSiteSignaturePolicy::CustomSiteSignaturePolicy(const SignatureVerification& mastheadVerification,
                                                     std::string_view siteName, std::int32_t roleKind)
    : m_mastheadVerification(mastheadVerification), m_siteName(siteName), m_roleKind(roleKind) {
    for (const X509StackHolder& chain : mastheadVerification.Chains()) {
        // A masthead chain too short to hold a site certificate is of no site.
        if (!ChainSiteCertificate(chain.Get())) continue;
        for (X509* certificate : {ChainRoot(chain.Get()), ChainRegistrar(chain.Get()), ChainSiteCertificate(chain.Get())})
            AddTrustedCertificate(certificate);
    }
    AcceptValidityErrors();
}

X509StackHolder CustomSiteSignaturePolicy::Verify(X509_STORE* store, const SignerMatch& match) {
    m_untrustedCertificates = match.candidates;
    // Our own issuer look-up and check, beside OpenSSL's ordering of the store: certificates issued
    // under the other name of a re-issued certificate still chain.
    if (store) InstallReissuedCertificateChecks(store);
    return PKCS7SignaturePolicy::Verify(store, match);
}

void CustomSiteSignaturePolicy::PrepareVerification(PKCS7_SIGNER_INFO* signerInfo) {
    CheckIntendedSite(signerInfo, m_siteName, false);
}

void CustomSiteSignaturePolicy::AuthorizeChain(const ChainAuthorization& authorization) {
    RegisterExceptionType(&CaptureExceptionOfType<CustomSiteCertificateChainIsUnauthorized>);
    CustomSiteRoleAuthorizationPolicy rolePolicy(m_mastheadVerification, TrustedStore());
    bool granted = false;
    if (m_roleKind == kOwnerRole || m_roleKind == kOwnerOrUserRole)
        granted = CheckRole(CustomSiteOwnerRole(m_siteName), rolePolicy, authorization.chain, m_untrustedCertificates);
    if (!granted && m_roleKind == kOwnerOrUserRole)
        granted = CheckRole(CustomSiteUserRole(m_siteName), rolePolicy, authorization.chain, m_untrustedCertificates);
    if (!granted) throw CustomSiteCertificateChainIsUnauthorized();
}
