// Finding the issuer of a certificate among loose certificates, as the delegation of custom-site roles
// needs: a delegating certificate may be issued by an operator's end-entity certificate, so an issuer
// whose key usage lacks certificate signing still counts when its key verifies the certificate.
#pragma once

#include <openssl/x509.h>

// Whether the candidate issued the certificate: OpenSSL's issued-by check passes, or fails only for
// the issuer's key usage (X509_V_ERR_KEYUSAGE_NO_CERTSIGN), and the certificate's signature verifies
// with the candidate's public key. False when either is null.
bool IsIssuedBy(X509* certificate, X509* candidateIssuer);
// The first certificate of the stack, in order, that issued the certificate (borrowed from the
// stack); null when none.
X509* FindIssuerIn(X509* certificate, const STACK_OF(X509)* candidates);
