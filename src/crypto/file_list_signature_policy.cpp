#include "crypto/file_list_signature_policy.h"

#include <mutex>

#include "crypto/certificate_fields.h"
#include "crypto/certificates.h"
#include "crypto/publishing_authorization.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_attributes.h"

FileListSignaturePolicy::FileListSignaturePolicy(bool roleCheck, std::uint32_t operatorSerial, bool matchSerial,
                                                 bool checkActionAuthorization,
                                                 std::optional<std::string> intendedSite)
    : m_roleCheck(roleCheck),
      m_matchSerial(roleCheck && matchSerial),
      m_operatorSerial(roleCheck ? operatorSerial : 0),
      m_checkActionAuthorization(checkActionAuthorization),
      m_intendedSite(std::move(intendedSite)) {}

void FileListSignaturePolicy::SetMastheadVerification(const SignatureVerification& masthead) {
    ResetTrustedStore();
    m_masthead = &masthead;
    for (const X509StackHolder& chain : masthead.Chains()) {
        if (!ChainSiteCertificate(chain.Get())) continue;
        AddTrustedCertificate(ChainRoot(chain.Get()));
        AddTrustedCertificate(ChainRegistrar(chain.Get()));
        AddTrustedCertificate(ChainSiteCertificate(chain.Get()));
    }
    AcceptValidityErrors();
}

void FileListSignaturePolicy::PrepareVerification(PKCS7_SIGNER_INFO* signerInfo) {
    if (m_checkActionAuthorization) RequireActionAuthorized(signerInfo, false);
    if (m_intendedSite) CheckIntendedSite(signerInfo, *m_intendedSite, false);
}

void FileListSignaturePolicy::AuthorizeChain(const ChainAuthorization& authorization) {
    static std::once_flag registered;
    std::call_once(registered, [] {
        RegisterExceptionType(CaptureExceptionOfType<NoMastheadSignatureAvailable>);
        RegisterExceptionType(CaptureExceptionOfType<FileListSignatureAuthorizationDenied>);
    });
    if (!m_masthead) throw NoMastheadSignatureAvailable();
    RequireAuthorizedToPublish(*m_masthead, authorization.chain);
    if (!m_roleCheck || sk_X509_num(authorization.chain) == 3) return;
    // The whole serial number is compared: one longer than the operator number never matches, however
    // its low octets read.
    X509* signer = sk_X509_value(authorization.chain, 0);
    if (m_matchSerial && GetSerialNumber(signer) == CertificateSerial::FromInteger(m_operatorSerial)) return;
    if (IsAdministratorOrUntyped(signer)) return;
    throw FileListSignatureAuthorizationDenied();
}
