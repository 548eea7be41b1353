#include "crypto/certificate_issuers.h"

#include <openssl/x509v3.h>

#include "crypto/certificates.h"

bool IsIssuedBy(X509* certificate, X509* candidateIssuer) {
    if (!certificate || !candidateIssuer) return false;
    int verdict = X509_check_issued(candidateIssuer, certificate);
    if (verdict != X509_V_OK && verdict != X509_V_ERR_KEYUSAGE_NO_CERTSIGN) return false;
    PrivateKeyHolder key = GetPublicKey(candidateIssuer);
    return CertificateSignedByKey(certificate, key.Get());
}

X509* FindIssuerIn(X509* certificate, const STACK_OF(X509)* candidates) {
    for (int i = 0; i < sk_X509_num(candidates); ++i) {
        // IsIssuedBy throws nothing: a candidate that cannot be judged is simply not the issuer.
        X509* candidate = sk_X509_value(candidates, i);
        if (IsIssuedBy(certificate, candidate)) return candidate;
    }
    return nullptr;
}
