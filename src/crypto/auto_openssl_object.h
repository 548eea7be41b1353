// AutoOpenSSLObject: the sole owner of one OpenSSL object, released with its kind's own release
// operation. The program never keeps a bare OpenSSL pointer beyond one call.
//
// A holder takes ownership of the pointer it is built or reset with, is moved (the source becomes
// empty) and never copied; resetting releases the old object first. Every release operation is
// null-safe. The aliases below name one holder per kind.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <utility>

template <class T, void (*ReleaseFunction)(T*)>
class AutoOpenSSLObject {
  public:
    AutoOpenSSLObject() = default;
    explicit AutoOpenSSLObject(T* object) : m_object(object) {}
    AutoOpenSSLObject(AutoOpenSSLObject&& other) noexcept : m_object(other.Release()) {}
    AutoOpenSSLObject& operator=(AutoOpenSSLObject&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    AutoOpenSSLObject(const AutoOpenSSLObject&) = delete;
    AutoOpenSSLObject& operator=(const AutoOpenSSLObject&) = delete;
    ~AutoOpenSSLObject() { ReleaseFunction(m_object); }

    T* Get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // Hands the object to the caller; the holder becomes empty.
    T* Release() { return std::exchange(m_object, nullptr); }
    void Reset(T* object = nullptr) {
        T* old = std::exchange(m_object, object);
        ReleaseFunction(old);
    }

  private:
    T* m_object = nullptr;
};

// The release operations of the holder kinds.
void FreeCertificate(X509* certificate);
void FreePrivateKey(EVP_PKEY* key);
// Frees every certificate of the stack, then the stack.
void FreeCertificateStack(STACK_OF(X509)* stack);
void FreePKCS7(PKCS7* object);
// Frees every object of the chain, first to last.
void FreeBIOChain(BIO* chain);
void FreeBIO(BIO* object);
void FreeTrustedStore(X509_STORE* store);
void FreeStoreContext(X509_STORE_CTX* context);
void FreeCRL(X509_CRL* crl);
// Frees every CRL of the stack, then the stack.
void FreeCRLStack(STACK_OF(X509_CRL)* stack);
void FreeAuthorityKeyId(AUTHORITY_KEYID* value);
void FreeASN1String(ASN1_STRING* value);

using X509Holder = AutoOpenSSLObject<X509, FreeCertificate>;
using PrivateKeyHolder = AutoOpenSSLObject<EVP_PKEY, FreePrivateKey>;
using X509StackHolder = AutoOpenSSLObject<STACK_OF(X509), FreeCertificateStack>;
using PKCS7Holder = AutoOpenSSLObject<PKCS7, FreePKCS7>;
using BIOChainHolder = AutoOpenSSLObject<BIO, FreeBIOChain>;
using BIOHolder = AutoOpenSSLObject<BIO, FreeBIO>;
using TrustedStoreHolder = AutoOpenSSLObject<X509_STORE, FreeTrustedStore>;
using StoreContextHolder = AutoOpenSSLObject<X509_STORE_CTX, FreeStoreContext>;
using CRLHolder = AutoOpenSSLObject<X509_CRL, FreeCRL>;
using CRLStackHolder = AutoOpenSSLObject<STACK_OF(X509_CRL), FreeCRLStack>;
using AuthorityKeyIdHolder = AutoOpenSSLObject<AUTHORITY_KEYID, FreeAuthorityKeyId>;
using ASN1StringHolder = AutoOpenSSLObject<ASN1_STRING, FreeASN1String>;
