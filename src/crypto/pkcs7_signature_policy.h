// Signature acceptance policies: what decides, for each signer that a SignatureVerification matched,
// whether the signer's certificate chains to a trusted root and whether that chain may sign this kind
// of content.
//
// PKCS7SignaturePolicy owns the trusted store and runs one fixed sequence for every signer
// (VerifySigner): PrepareVerification checks the signer's signed attributes, Verify builds and checks
// the chain against the store, CheckChainNotRevoked asks the process-wide revocation store, and
// AuthorizeChain decides whether that chain may sign. Each step throws its own failure; the
// SignatureVerification catches and keeps it. A derived policy gives AuthorizeChain and may replace
// the other two.
//
// A policy is built for one verification and used by one thread; the trusted store lives and dies
// with it.
#pragma once

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "crypto/auto_openssl_object.h"

// One signer whose signature verified: the certificate whose key verified it, the certificates it
// was found among (the untrusted certificates of its chain) and its signer info. Borrowed from the
// SignatureVerification that matched it.
struct SignerMatch {
    X509* certificate = nullptr;
    STACK_OF(X509)* candidates = nullptr;
    PKCS7_SIGNER_INFO* signerInfo = nullptr;
};

// What AuthorizeChain judges: the match and its verified chain (signer first, root last).
struct ChainAuthorization {
    const SignerMatch& match;
    STACK_OF(X509)* chain;
};

// The root of every signature policy. A policy that is not a PKCS7SignaturePolicy authorises nothing.
class SignatureAcceptancePolicy {
  public:
    virtual ~SignatureAcceptancePolicy() = default;
};

class PKCS7SignaturePolicy : public virtual SignatureAcceptancePolicy {
  public:
    // An empty trusted store; NewX509_STORE_Failed when the library refuses.
    PKCS7SignaturePolicy();
    PKCS7SignaturePolicy(const PKCS7SignaturePolicy&) = delete;
    PKCS7SignaturePolicy& operator=(const PKCS7SignaturePolicy&) = delete;

    // The signer's verified and authorised chain (signer first), owned by the caller; throws the
    // failure of the first step that refuses.
    X509StackHolder VerifySigner(const SignerMatch& match);

    // The chain of the match's certificate against the store, its candidates as untrusted
    // certificates, for S/MIME signing: NoTrustedCertificates for a null store,
    // X509_STORE_CTX_init_Failed, or the verify error of the failed check (x509_verify_errors.h).
    virtual X509StackHolder Verify(X509_STORE* store, const SignerMatch& match);

    // From now on a chain whose only faults are "not yet valid" or "expired" verifies.
    void AcceptValidityErrors();
    // Adds the certificate unless an equal one is held; AddToX509_STORE_Failed.
    void AddTrustedCertificate(X509* certificate);
    // Replaces the store with an empty one that keeps the verify callback.
    void ResetTrustedStore();

    X509_STORE* TrustedStore() const { return m_trustedStore.Get(); }

  protected:
    // Checks the signer's signed attributes before its chain is built; by default nothing.
    virtual void PrepareVerification(PKCS7_SIGNER_INFO* signerInfo);
    // Accepts the verified chain or throws the reason it may not sign.
    virtual void AuthorizeChain(const ChainAuthorization& authorization) = 0;

  private:
    TrustedStoreHolder m_trustedStore;
};
