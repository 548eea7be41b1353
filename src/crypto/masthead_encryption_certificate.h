// The encryption certificate a masthead publishes in its "Encryption-Certificate" part, as PEM or as
// DER bytes. Reading it verifies the masthead first (daruravidu or action kinds) and then checks the
// certificate against the masthead's verified chains and the process-wide revocation store, so a
// certificate is handed out only when its masthead is genuine and it is not revoked.
#pragma once

#include "base/const_data.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "crypto/auto_openssl_object.h"

class NoEncryptionCertificateFound : public DebuggableException {};

// The certificate of a whole masthead file held in memory. Throws NoEncryptionCertificateFound when
// the masthead has no such part, and what the masthead's verification, the decoding
// (CreateX509Failed, PEMReadX509Failed) or the revocation check throws.
X509Holder ReadMastheadEncryptionCertificate(ConstData mastheadFile);
// The certificate of the part's bytes, PEM when they hold a PEM certificate, else DER. Note that the
// line ends of a signed part are canonicalized for its digest, so DER bytes holding CR or LF (which
// nearly every DER certificate does) cannot be part of a masthead that verifies.
X509Holder DecodeMastheadCertificatePart(ConstData part);
// The same for a masthead file, read whole first.
X509Holder GetMastheadEncryptionCertificate(const FileLocation& path);
