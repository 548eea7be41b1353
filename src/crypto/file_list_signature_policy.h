// FileListSignaturePolicy: who may sign a site's file list. The signer's chain must belong to the
// site (its top three certificates those of a chain of the site's masthead verification); a chain
// of 3, signed by the site certificate itself, may always sign. With the role check on, an operator
// certificate (chain of 4) may sign when its serial number is the site's operator number (operator
// sites "opsite<N>", match serial on), or when it is untyped or of "Type:Administrator".
//
// Validity periods are forgiven: an expired or not yet valid certificate in the chain verifies.
// Optional checks of the signer's signed attributes: action authorization and the intended site.
//
// The policy borrows the masthead verification, which must outlive it; until SetMastheadVerification
// it refuses every chain with NoMastheadSignatureAvailable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/exceptions.h"
#include "crypto/pkcs7_signature_policy.h"

class SignatureVerification;

class NoMastheadSignatureAvailable : public DebuggableException {};
class FileListSignatureAuthorizationDenied : public DebuggableException {};

class FileListSignaturePolicy : public PKCS7SignaturePolicy {
  public:
    // The operator serial and match serial are kept only with the role check (else 0 and off).
    FileListSignaturePolicy(bool roleCheck, std::uint32_t operatorSerial, bool matchSerial,
                            bool checkActionAuthorization, std::optional<std::string> intendedSite = std::nullopt);

    // Trusts exactly the root, registrar and site certificate of each of the record's chains (chains
    // too short to hold all three are passed over), and forgives validity periods.
    void SetMastheadVerification(const SignatureVerification& masthead);

  protected:
    // ActionAuthorizationDenied when checked and the signer refused the action; IntendedSiteDoesNotMatch
    // when an intended site is set and the signer meant another.
    void PrepareVerification(PKCS7_SIGNER_INFO* signerInfo) override;
    // NoMastheadSignatureAvailable, CertificateNotAuthorizedToPublish or
    // FileListSignatureAuthorizationDenied.
    void AuthorizeChain(const ChainAuthorization& authorization) override;

  private:
    const SignatureVerification* m_masthead = nullptr;
    bool m_roleCheck;
    bool m_matchSerial;
    std::uint32_t m_operatorSerial;
    bool m_checkActionAuthorization;
    std::optional<std::string> m_intendedSite;
};
