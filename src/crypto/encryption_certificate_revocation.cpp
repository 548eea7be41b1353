#include "crypto/encryption_certificate_revocation.h"

#include <openssl/x509v3.h>

#include "crypto/certificate_stacks.h"
#include "crypto/certificate_stores.h"
#include "crypto/crls.h"
#include "crypto/reissued_certificates.h"
#include "crypto/signature_verification.h"

namespace {

// A verified chain runs from its signer up to the root, the registrar below it and the site
// certificate below that; a shorter chain lacks the positions it does not reach.
constexpr int kSiteChainLength = 3;

X509* FromTop(STACK_OF(X509)* chain, int position) {
    int index = sk_X509_num(chain) - 1 - position;
    return index >= 0 ? sk_X509_value(chain, index) : nullptr;
}

}  // namespace

EncryptionCertificateRevocationPolicy::EncryptionCertificateRevocationPolicy(
    const SignatureVerification& mastheadVerification)
    : m_trustedStore(NewTrustedStore()), m_siteCertificates(CreateX509Stack()) {
    X509_STORE_set_verify_cb(m_trustedStore.Get(), IgnoreValidityPeriodCallback);
    for (const X509StackHolder& chain : mastheadVerification.Chains()) {
        for (int position = 0; position < kSiteChainLength; ++position) {
            X509* certificate = FromTop(chain.Get(), position);
            if (certificate && !IsCertificateInStore(m_trustedStore.Get(), certificate))
                AddCertificateToStore(m_trustedStore.Get(), certificate);
        }
        if (X509* siteCertificate = FromTop(chain.Get(), kSiteChainLength - 1))
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
    // Signed by a site certificate itself, directly under the registrar.
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
