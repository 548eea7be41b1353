// Whether a verified chain may publish for a site: its registrar and site certificates must be those
// of a chain with which the site's masthead was verified (the masthead verification).
//
// The certificates compared are borrowed; nothing is kept.
#pragma once

#include <openssl/x509.h>

#include "base/exceptions.h"

class SignatureVerification;

class CertificateNotAuthorizedToPublish : public DebuggableException {};

// Equal certificates, or a re-issue: the same serial number, the same public key and the same
// "GatherURL:" field.
bool SameSiteCertificate(X509* a, X509* b);

// True when the chain has 3 or 4 certificates and, for some masthead chain of at least 3, its
// registrar is the masthead's (equal, or the same non-empty subject common name) and its site
// certificate is the masthead's (SameSiteCertificate). Masthead chains too short to hold a site
// certificate are passed over.
bool IsAuthorizedToPublish(const SignatureVerification& masthead, const STACK_OF(X509)* chain);
// CertificateNotAuthorizedToPublish unless IsAuthorizedToPublish.
void RequireAuthorizedToPublish(const SignatureVerification& masthead, const STACK_OF(X509)* chain);
