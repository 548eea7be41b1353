// CustomSiteSignaturePolicy: the signature policy of a custom site's signed content. A signer is
// accepted when its chain verifies against the top certificates of the site's masthead chains (also
// through a re-issued certificate's other name, and outside validity periods), its intended site, when
// present, is this site, and the role check (delegated_roles.h) grants it the owner role, or, where
// users may sign, the user role.
//
// Borrows the masthead verification, which must outlive it. Built for one verification and used by
// one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "crypto/pkcs7_signature_policy.h"

class SignatureVerification;

class CustomSiteCertificateChainIsUnauthorized : public DebuggableException {};

class CustomSiteSignaturePolicy : public PKCS7SignaturePolicy {
  public:
    // Who may sign: the site's owners, or its owners and users.
    enum RoleKind : std::int32_t { kOwnerRole = 0, kOwnerOrUserRole = 1 };

    // Trusts the root, registrar and site certificate of each chain of the masthead verification
    // (AddToX509_STORE_Failed).
    CustomSiteSignaturePolicy(const SignatureVerification& mastheadVerification, std::string_view siteName,
                              std::int32_t roleKind);

    // The signer's chain, as PKCS7SignaturePolicy verifies it, with the re-issued certificate checks
    // installed on the store; keeps the match's candidates for the role check.
    X509StackHolder Verify(X509_STORE* store, const SignerMatch& match) override;

  protected:
    // A "KVR Intended Site" attribute, when present, must name this site (IntendedSiteDoesNotMatch).
    void PrepareVerification(PKCS7_SIGNER_INFO* signerInfo) override;
    // CustomSiteCertificateChainIsUnauthorized unless the chain holds a role that may sign.
    void AuthorizeChain(const ChainAuthorization& authorization) override;

  private:
    const SignatureVerification& m_mastheadVerification;
    std::string m_siteName;
    std::int32_t m_roleKind;
    STACK_OF(X509)* m_untrustedCertificates = nullptr;  // of the signer being verified, borrowed
};
