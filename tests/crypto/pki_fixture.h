// The fixture certificates, keys and CRLs of the test PKI (support/test_pki.h) as OpenSSL objects.
#pragma once

#include <openssl/x509.h>

#include <string>

#include "crypto/bio_wrappers.h"
#include "crypto/certificates.h"
#include "crypto/private_keys.h"
#include "support/test_pki.h"

// "root", "registrar", "site", "operator" or "stranger".
inline X509Holder FixtureCertificate(const std::string& name) {
    std::string der = ReadTestPKIFile(name + ".der");
    return CreateX509(ConstData(std::string_view(der)));
}

inline PrivateKeyHolder FixtureKey(const std::string& name, std::string_view passPhrase = {}) {
    BIOHolder file = OpenFileBIO(FileLocation((TestPKIFolder() + "/" + name + ".key").c_str()));
    return ReadPrivateKey(file.Get(), ConstData(passPhrase));
}

// The fixture's certificates, as members of a test fixture.
struct FixtureCertificates {
    X509Holder root = FixtureCertificate("root");
    X509Holder registrar = FixtureCertificate("registrar");
    X509Holder site = FixtureCertificate("site");
    X509Holder operatorCertificate = FixtureCertificate("operator");
    X509Holder stranger = FixtureCertificate("stranger");
};

// "registrar-old", "registrar-new" or "opsite" (pki-signed.sh).
inline CRLHolder FixtureCRL(const std::string& name) {
    std::string der = ReadTestPKIFile(name + ".crl.der");
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    return CRLHolder(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size())));
}
