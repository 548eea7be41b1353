#include "crypto/private_keys.h"

#include <openssl/pem.h>

#include <cstring>

#include "crypto/certificates.h"

PrivateKeyHolder ReadPrivateKey(BIO* chain, ConstData passPhrase) {
    return MakeChecked<ReadPrivateKeyFailed, PrivateKeyHolder>(
        [&] { return PEM_read_bio_PrivateKey(chain, nullptr, PassPhraseFromRange, &passPhrase); });
}

int PassPhraseFromRange(char* buffer, int size, int, void* passPhrase) {
    const ConstData& phrase = *static_cast<const ConstData*>(passPhrase);
    if (phrase.IsEmpty() || size < 0 || static_cast<std::size_t>(size) < phrase.Length()) return 0;
    std::memcpy(buffer, phrase.begin, phrase.Length());
    return static_cast<int>(phrase.Length());
}

PrivateKeyHolder DuplicatePrivateKey(EVP_PKEY* key) {
    if (!key) return PrivateKeyHolder();
    return MakeChecked<DuplicatePrivateKey_Failed, PrivateKeyHolder>([&] { return EVP_PKEY_dup(key); });
}

CertificateAndKey::CertificateAndKey(const CertificateAndKey& other)
    : certificate(DuplicateX509(other.certificate.Get())), key(DuplicatePrivateKey(other.key.Get())) {}

CertificateAndKey& CertificateAndKey::operator=(const CertificateAndKey& other) {
    if (this != &other) *this = CertificateAndKey(other);
    return *this;
}
