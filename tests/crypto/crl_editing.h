// Variants of the fixture CRLs for the revocation tests: a copy changed by an edit and signed again
// with a fixture key, read back from its DER as a received list would be.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <string>

#include "crypto/crls.h"
#include "crypto/own_object_identifiers.h"
#include "pki_fixture.h"

template <class Edit>
CRLHolder EditedCRL(X509_CRL* base, EVP_PKEY* key, Edit edit) {
    CRLHolder copy = DuplicateX509_CRL(base);
    edit(copy.Get());
    X509_CRL_sign(copy.Get(), key, EVP_sha256());
    unsigned char* der = nullptr;
    int length = i2d_X509_CRL(copy.Get(), &der);
    const unsigned char* cursor = der;
    CRLHolder decoded(d2i_X509_CRL(nullptr, &cursor, length));
    OPENSSL_free(der);
    return decoded;
}

inline void SetThisUpdate(X509_CRL* crl, const char* time) {
    ASN1_TIME* thisUpdate = ASN1_TIME_new();
    ASN1_TIME_set_string(thisUpdate, time);
    X509_CRL_set1_lastUpdate(crl, thisUpdate);
    ASN1_TIME_free(thisUpdate);
}

inline void RemoveExtension(X509_CRL* crl, int nid) {
    for (int at = X509_CRL_get_ext_by_NID(crl, nid, -1); at >= 0; at = X509_CRL_get_ext_by_NID(crl, nid, -1))
        X509_EXTENSION_free(X509_CRL_delete_ext(crl, at));
}

inline void AddCriticalCRLNumber(X509_CRL* crl) {
    ASN1_INTEGER* number = ASN1_INTEGER_new();
    ASN1_INTEGER_set(number, 7);
    X509_CRL_add1_ext_i2d(crl, NID_crl_number, number, 1, X509V3_ADD_APPEND);
    ASN1_INTEGER_free(number);
}

// Adds an indirect revocation list extension holding the body.
inline void AddIndirectList(X509_CRL* crl, const KVR_CRL_BODY* body) {
    unsigned char* der = nullptr;
    int length = i2d_KVR_CRL_BODY(body, &der);
    ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(value, der, length);
    X509_EXTENSION* extension = X509_EXTENSION_create_by_NID(nullptr, IndirectRevocationExtension(), 0, value);
    X509_CRL_add_ext(crl, extension, -1);
    X509_EXTENSION_free(extension);
    ASN1_OCTET_STRING_free(value);
    OPENSSL_free(der);
}

// The CRL as an odd sender may encode it: the parameter of both its signature algorithm identifiers
// turned from NULL (05 00) into an empty constructed value of universal tag 0 (20 00), and the list
// signed again with the key (SHA-256 with RSA, as the fixture lists are, so no length changes). The
// library reads and verifies such a list, but writes that parameter back as the end-of-contents
// octets 00 00, which it cannot read.
inline std::string UnwritableCRLEncoding(X509_CRL* base, EVP_PKEY* key) {
    unsigned char* der = nullptr;
    int length = i2d_X509_CRL(base, &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    // The offset of the content of the element at `at`, with its length.
    auto content = [&](std::size_t at, long& contentLength) {
        const unsigned char* cursor = data + at;
        int tag, objectClass;
        ASN1_get_object(&cursor, &contentLength, &tag, &objectClass, static_cast<long>(bytes.size() - at));
        return static_cast<std::size_t>(cursor - data);
    };
    long contentLength;
    const std::size_t body = content(0, contentLength);  // CertificateList: body, algorithm, signature
    const std::size_t bodyContent = content(body, contentLength);
    const std::size_t bodyEnd = bodyContent + contentLength;
    const std::size_t innerAlgorithm = content(bodyContent, contentLength) + contentLength;  // after the version
    const std::size_t innerAlgorithmEnd = content(innerAlgorithm, contentLength) + contentLength;
    const std::size_t outerAlgorithmEnd = content(bodyEnd, contentLength) + contentLength;
    const std::size_t signature = content(outerAlgorithmEnd, contentLength) + 1;  // after the unused-bits octet
    data[innerAlgorithmEnd - 2] = 0x20;
    data[outerAlgorithmEnd - 2] = 0x20;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::size_t signatureLength = static_cast<std::size_t>(contentLength - 1);
    EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSign(context, data + signature, &signatureLength, data + body, bodyEnd - body);
    EVP_MD_CTX_free(context);
    return bytes;
}

inline CRLHolder DecodedCRL(const std::string& der) {
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    return CRLHolder(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size())));
}
