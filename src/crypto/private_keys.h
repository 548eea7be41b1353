// Private keys: reading them from PEM with a pass phrase, copying them, and CertificateAndKey, the
// certificate and key of one encryption or signing identity.
#pragma once

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "base/const_data.h"

OPENSSL_FAILURE(ReadPrivateKeyFailed);
OPENSSL_FAILURE(DuplicatePrivateKey_Failed);

// The next PEM private key of the chain, decrypted with the pass phrase when it is encrypted.
PrivateKeyHolder ReadPrivateKey(BIO* chain, ConstData passPhrase);
// OpenSSL's pass-phrase callback over a `const ConstData*`: copies the phrase and returns its length
// when the buffer holds it, else returns 0 and copies nothing; an empty phrase gives 0.
int PassPhraseFromRange(char* buffer, int size, int writing, void* passPhrase);
// An independent copy; empty for null.
PrivateKeyHolder DuplicatePrivateKey(EVP_PKEY* key);

// Copying duplicates both; destruction frees the key, then the certificate.
struct CertificateAndKey {
    CertificateAndKey() = default;
    CertificateAndKey(X509Holder certificate, PrivateKeyHolder key)
        : certificate(std::move(certificate)), key(std::move(key)) {}
    CertificateAndKey(const CertificateAndKey& other);
    CertificateAndKey& operator=(const CertificateAndKey& other);
    CertificateAndKey(CertificateAndKey&&) noexcept = default;
    CertificateAndKey& operator=(CertificateAndKey&&) noexcept = default;

    X509Holder certificate;
    PrivateKeyHolder key;
};
