// Variants of the fixture CRLs for the revocation tests: a copy changed by an edit and signed again
// with a fixture key, read back from its DER as a received list would be.
#pragma once

#include <openssl/x509v3.h>

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
