#include "crypto/auto_openssl_object.h"

void FreeCertificate(X509* certificate) { X509_free(certificate); }
void FreePrivateKey(EVP_PKEY* key) { EVP_PKEY_free(key); }
void FreeCertificateStack(STACK_OF(X509)* stack) { sk_X509_pop_free(stack, X509_free); }
void FreePKCS7(PKCS7* object) { PKCS7_free(object); }

void FreeBIOChain(BIO* chain) {
    while (chain) {
        BIO* rest = BIO_pop(chain);
        BIO_free(chain);
        chain = rest;
    }
}

void FreeBIO(BIO* object) { BIO_free(object); }
void FreeTrustedStore(X509_STORE* store) { X509_STORE_free(store); }
void FreeStoreContext(X509_STORE_CTX* context) { X509_STORE_CTX_free(context); }
void FreeCRL(X509_CRL* crl) { X509_CRL_free(crl); }
void FreeCRLStack(STACK_OF(X509_CRL)* stack) { sk_X509_CRL_pop_free(stack, X509_CRL_free); }
void FreeAuthorityKeyId(AUTHORITY_KEYID* value) { AUTHORITY_KEYID_free(value); }
void FreeASN1String(ASN1_STRING* value) { ASN1_STRING_free(value); }
