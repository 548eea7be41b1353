// The indirect revocation of a site's encryption certificate: it counts as revoked only by an
// indirect revocation list carried in a CRL that one of the site's own site certificates (or a
// re-issue of one) signed, the signer's chain verifying against the masthead's top certificates.
#pragma once

#include <openssl/x509.h>

#include "crypto/auto_openssl_object.h"
#include "crypto/indirect_revocation_policy.h"
#include "crypto/revocation_store.h"

class SignatureVerification;

class EncryptionCertificateRevocationPolicy : public IndirectRevocationPolicy {
  public:
    // Trusts the root, registrar and site certificate of each chain of the masthead verification,
    // accepting certificates outside their validity period (NewX509_STORE_Failed,
    // AddToX509_STORE_Failed, CreateX509StackFailed, PushX509Failed).
    explicit EncryptionCertificateRevocationPolicy(const SignatureVerification& mastheadVerification);

    // Throws the verification and revocation failures of the list signer's chain; the revocation
    // store then skips the list.
    bool IsAuthoritative(X509* certificate, X509_CRL* outerCRL) const override;

  private:
    TrustedStoreHolder m_trustedStore;
    X509StackHolder m_siteCertificates;
};

// Throws CertificateIndirectlyRevoked when a list of the store, authoritative for the masthead's
// site, revokes the encryption certificate.
void CheckEncryptionCertificateNotIndirectlyRevoked(X509* certificate, const SignatureVerification& mastheadVerification,
                                                    RevocationStore& store);
