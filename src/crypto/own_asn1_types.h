// ASN.1 types of our own: the ones OpenSSL 3 keeps opaque (the to-be-signed body of a CRL) or does
// not have (sets of certificates and of CRLs carrying the context tag [1], the string of a role
// extension).
//
// KVR_CRL_BODY is the TBSCertList of RFC 5280, with its fields open: the value of an indirect
// revocation list extension, and a CRL's own body once re-decoded (CRLBodyOf). The set coders keep
// the order of their stack (they encode like a SEQUENCE OF, whose wire form under an implicit tag is
// the same as a SET OF's).
#pragma once

#include <openssl/asn1.h>
#include <openssl/x509.h>

#include "crypto/auto_openssl_object.h"

struct KVR_CRL_BODY {
    ASN1_INTEGER* version;  // absent for a version 1 list
    X509_ALGOR* signature;
    X509_NAME* issuer;
    ASN1_TIME* thisUpdate;
    ASN1_TIME* nextUpdate;  // optional
    STACK_OF(X509_REVOKED)* revoked;  // optional
    STACK_OF(X509_EXTENSION)* extensions;  // optional, [0] EXPLICIT
};

KVR_CRL_BODY* KVR_CRL_BODY_new();
void KVR_CRL_BODY_free(KVR_CRL_BODY* body);
KVR_CRL_BODY* d2i_KVR_CRL_BODY(KVR_CRL_BODY** out, const unsigned char** cursor, long length);
int i2d_KVR_CRL_BODY(const KVR_CRL_BODY* body, unsigned char** out);

using CRLBodyHolder = AutoOpenSSLObject<KVR_CRL_BODY, KVR_CRL_BODY_free>;

// The body of a CRL, decoded from its DER; empty when it cannot be had.
CRLBodyHolder CRLBodyOf(X509_CRL* crl);

// SET [1] IMPLICIT of certificates, resp. CRLs. A decoder returns null on malformed input; an
// encoder returns the length (writing when out is non-null), 0 or below on failure.
STACK_OF(X509)* DecodeCertificateSet(const unsigned char** cursor, long length);
int EncodeCertificateSet(const STACK_OF(X509)* certificates, unsigned char** out);
STACK_OF(X509_CRL)* DecodeCRLSet(const unsigned char** cursor, long length);
int EncodeCRLSet(const STACK_OF(X509_CRL)* crls, unsigned char** out);

// The value of a custom-site role extension: one primitive universal string, an OCTET STRING or any
// character string type, decoded with its type kept (ASN1_STRING_type). A decoder returns null on
// malformed input or another type.
ASN1_STRING* DecodeRoleValue(const unsigned char** cursor, long length);
int EncodeRoleValue(const ASN1_STRING* value, unsigned char** out);
