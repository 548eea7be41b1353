// Trusted certificate stores, store contexts and chain verification.
//
// VerifyCertificateChain builds and checks the chain of a certificate against a store, tolerating
// re-issued certificates: it installs the issuer look-up and check of reissued_certificates.h on the
// store, where they stay. A failure throws the verify error class of the context's error code
// (x509_verify_errors.h); the store's certificates are left as they were.
#pragma once

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"

OPENSSL_FAILURE(NewX509_STORE_Failed);
OPENSSL_FAILURE(AddToX509_STORE_Failed);
OPENSSL_FAILURE(X509_STORE_CTX_init_Failed);
OPENSSL_FAILURE(NewX509_STORE_CTX_Failed);
// Verification was asked for without any store of trusted certificates.
class NoTrustedCertificates : public DebuggableException {};

TrustedStoreHolder NewTrustedStore();
void AddCertificateToStore(X509_STORE* store, X509* certificate);
bool IsCertificateInStore(X509_STORE* store, X509* certificate);

StoreContextHolder NewStoreContext();
void InitStoreContext(X509_STORE_CTX* context, X509_STORE* store, X509* certificate, STACK_OF(X509)* untrusted);
// Verifies a prepared context; a result of 0 or below throws by the context's error code.
int VerifyStoreContext(X509_STORE_CTX* context);
void CleanupStoreContext(X509_STORE_CTX* context);

// Cleans an initialised context up when it goes out of scope, also when a step throws.
class StoreContextCleanup {
  public:
    explicit StoreContextCleanup(X509_STORE_CTX* context) : m_context(context) {}
    StoreContextCleanup(const StoreContextCleanup&) = delete;
    StoreContextCleanup& operator=(const StoreContextCleanup&) = delete;
    ~StoreContextCleanup() { CleanupStoreContext(m_context); }

  private:
    X509_STORE_CTX* m_context;
};

// The verified chain, leaf first, each certificate counted in the stack. The purpose is one of
// OpenSSL's X509_PURPOSE_* numbers. A null store throws NoTrustedCertificates.
X509StackHolder VerifyCertificateChain(X509_STORE* store, X509* certificate, STACK_OF(X509)* untrusted,
                                       int purpose);

// A verify callback that turns only "not yet valid" and "expired" into success.
int IgnoreValidityPeriodCallback(int verdict, X509_STORE_CTX* context);
