#include "crypto/publishing_authorization.h"

#include <mutex>

#include "crypto/certificate_fields.h"
#include "crypto/certificates.h"
#include "crypto/signature_verification.h"

namespace {

// A registrar re-issued under the same common name still counts as the masthead's. Two certificates
// without any common name are not thereby the same registrar.
bool SameRegistrar(X509* a, X509* b) {
    if (X509_cmp(a, b) == 0) return true;
    ConstData nameA = GetSubjectCommonName(a);
    return !nameA.IsEmpty() && ConstDataEqual(nameA, GetSubjectCommonName(b));
}

}  // namespace

bool SameSiteCertificate(X509* a, X509* b) {
    if (!a || !b) return false;
    if (X509_cmp(a, b) == 0) return true;
    return SameSerialNumber(a, b) && SamePublicKey(a, b) && ConstDataEqual(GetGatherURLField(a), GetGatherURLField(b));
}

bool IsAuthorizedToPublish(const SignatureVerification& masthead, const STACK_OF(X509)* chain) {
    int length = sk_X509_num(chain);
    if (length != 3 && length != 4) return false;
    X509* registrar = ChainRegistrar(chain);
    X509* site = ChainSiteCertificate(chain);
    for (const X509StackHolder& mastheadChain : masthead.Chains()) {
        X509* mastheadSite = ChainSiteCertificate(mastheadChain.Get());
        if (!mastheadSite) continue;
        if (SameRegistrar(ChainRegistrar(mastheadChain.Get()), registrar) && SameSiteCertificate(site, mastheadSite))
            return true;
    }
    return false;
}

void RequireAuthorizedToPublish(const SignatureVerification& masthead, const STACK_OF(X509)* chain) {
    static std::once_flag registered;
    std::call_once(registered, [] { RegisterExceptionType(CaptureExceptionOfType<CertificateNotAuthorizedToPublish>); });
    if (!IsAuthorizedToPublish(masthead, chain)) throw CertificateNotAuthorizedToPublish();
}
