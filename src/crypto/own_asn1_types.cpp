#include "crypto/own_asn1_types.h"

#include <openssl/asn1t.h>

ASN1_SEQUENCE(KVR_CRL_BODY) = {
    ASN1_OPT(KVR_CRL_BODY, version, ASN1_INTEGER),
    ASN1_SIMPLE(KVR_CRL_BODY, signature, X509_ALGOR),
    ASN1_SIMPLE(KVR_CRL_BODY, issuer, X509_NAME),
    ASN1_SIMPLE(KVR_CRL_BODY, thisUpdate, ASN1_TIME),
    ASN1_OPT(KVR_CRL_BODY, nextUpdate, ASN1_TIME),
    ASN1_SEQUENCE_OF_OPT(KVR_CRL_BODY, revoked, X509_REVOKED),
    ASN1_EXP_SEQUENCE_OF_OPT(KVR_CRL_BODY, extensions, X509_EXTENSION, 0),
} ASN1_SEQUENCE_END(KVR_CRL_BODY)

IMPLEMENT_ASN1_FUNCTIONS(KVR_CRL_BODY)

typedef STACK_OF(X509) KVR_CERTIFICATE_SET;
ASN1_ITEM_TEMPLATE(KVR_CERTIFICATE_SET) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF | ASN1_TFLG_IMPLICIT, 1, Certificates, X509)
ASN1_ITEM_TEMPLATE_END(KVR_CERTIFICATE_SET)

typedef STACK_OF(X509_CRL) KVR_CRL_SET;
ASN1_ITEM_TEMPLATE(KVR_CRL_SET) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF | ASN1_TFLG_IMPLICIT, 1, CRLs, X509_CRL)
ASN1_ITEM_TEMPLATE_END(KVR_CRL_SET)

// The string types a role value may take; constructed and non-string values are refused.
constexpr unsigned long kRoleValueTypes = B_ASN1_OCTET_STRING | B_ASN1_UTF8STRING | B_ASN1_PRINTABLESTRING |
                                          B_ASN1_IA5STRING | B_ASN1_T61STRING | B_ASN1_VIDEOTEXSTRING |
                                          B_ASN1_NUMERICSTRING | B_ASN1_GRAPHICSTRING | B_ASN1_ISO64STRING |
                                          B_ASN1_GENERALSTRING | B_ASN1_UNIVERSALSTRING | B_ASN1_BMPSTRING;
IMPLEMENT_ASN1_MSTRING(KVR_ROLE_VALUE, kRoleValueTypes)

CRLBodyHolder CRLBodyOf(X509_CRL* crl) {
    unsigned char* encoding = nullptr;
    int length = i2d_re_X509_CRL_tbs(crl, &encoding);
    if (length <= 0) return CRLBodyHolder();
    const unsigned char* cursor = encoding;
    CRLBodyHolder body(d2i_KVR_CRL_BODY(nullptr, &cursor, length));
    OPENSSL_free(encoding);
    return body;
}

STACK_OF(X509)* DecodeCertificateSet(const unsigned char** cursor, long length) {
    return reinterpret_cast<STACK_OF(X509)*>(
        ASN1_item_d2i(nullptr, cursor, length, ASN1_ITEM_rptr(KVR_CERTIFICATE_SET)));
}

int EncodeCertificateSet(const STACK_OF(X509)* certificates, unsigned char** out) {
    return ASN1_item_i2d(reinterpret_cast<const ASN1_VALUE*>(certificates), out,
                         ASN1_ITEM_rptr(KVR_CERTIFICATE_SET));
}

STACK_OF(X509_CRL)* DecodeCRLSet(const unsigned char** cursor, long length) {
    return reinterpret_cast<STACK_OF(X509_CRL)*>(ASN1_item_d2i(nullptr, cursor, length, ASN1_ITEM_rptr(KVR_CRL_SET)));
}

int EncodeCRLSet(const STACK_OF(X509_CRL)* crls, unsigned char** out) {
    return ASN1_item_i2d(reinterpret_cast<const ASN1_VALUE*>(crls), out, ASN1_ITEM_rptr(KVR_CRL_SET));
}

ASN1_STRING* DecodeRoleValue(const unsigned char** cursor, long length) {
    return reinterpret_cast<ASN1_STRING*>(ASN1_item_d2i(nullptr, cursor, length, ASN1_ITEM_rptr(KVR_ROLE_VALUE)));
}

int EncodeRoleValue(const ASN1_STRING* value, unsigned char** out) {
    return ASN1_item_i2d(reinterpret_cast<const ASN1_VALUE*>(value), out, ASN1_ITEM_rptr(KVR_ROLE_VALUE));
}
