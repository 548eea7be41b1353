#include "crypto/encryption_certificate_revocation.h"

#include <openssl/x509v3.h>

#include "crypto/certificate_fields.h"
#include "crypto/certificate_stacks.h"
#include "crypto/certificate_stores.h"
#include "crypto/crls.h"
#include "crypto/reissued_certificates.h"
#include "crypto/signature_verification.h"

namespace {

// A chain signed by a site certificate itself: site certificate, registrar, root.
constexpr int kSiteChainLength = 3;

}  // namespace

EncryptionCertificateRevocationPolicy::EncryptionCertificateRevocationPolicy(
    const SignatureVerification& mastheadVerification)
    : m_trustedStore(NewTrustedStore()), m_siteCertificates(CreateX509Stack()) {
    X509_STORE_set_verify_cb(m_trustedStore.Get(), IgnoreValidityPeriodCallback);
    for (const X509StackHolder& chain : mastheadVerification.Chains()) {
        // A masthead chain too short to hold a site certificate is of no site.
        X509* siteCertificate = ChainSiteCertificate(chain.Get());
        if (!siteCertificate) continue;
        for (X509* certificate : {ChainRoot(chain.Get()), ChainRegistrar(chain.Get()), siteCertificate}) {
            if (!IsCertificateInStore(m_trustedStore.Get(), certificate))
                AddCertificateToStore(m_trustedStore.Get(), certificate);
        }
        PushX509(m_siteCertificates.Get(), siteCertificate);
    }
}

bool EncryptionCertificateRevocationPolicy::IsAuthoritative(X509*, X509_CRL* outerCRL) const {
    X509StackHolder supporting = GetCRLSupportingCertificates(outerCRL);
    if (!supporting) return false;
    X509* signer = FindCRLIssuer(outerCRL, supporting.Get());
    if (!signer) return false;
    X509StackHolder chain = VerifyCertificateChain(m_trustedStore.Get(), signer, supporting.Get(), X509_PURPOSE_ANY);
    CheckChainNotRevoked(chain.Get(), GetRevocationStore());
    if (sk_X509_num(chain.Get()) != kSiteChainLength) return false;
    const X509_NAME* signerName = X509_get_subject_name(signer);
    for (int i = 0; i < sk_X509_num(m_siteCertificates.Get()); ++i) {
        if (NamesEquivalent(signerName, X509_get_subject_name(sk_X509_value(m_siteCertificates.Get(), i))) == 0)
            return true;
    }
    return false;
}

void CheckEncryptionCertificateNotIndirectlyRevoked(X509* certificate, const SignatureVerification& mastheadVerification,
                                                    RevocationStore& store) {
    EncryptionCertificateRevocationPolicy policy(mastheadVerification);
    store.CheckNotIndirectlyRevoked(certificate, policy);
}
