#include "crypto/pkcs7_signature_policy.h"

#include "crypto/certificate_stores.h"
#include "crypto/revocation_store.h"

namespace {

// Cleans a store context up when it goes out of scope, also when a step throws.
class ContextCleanup {
  public:
    explicit ContextCleanup(X509_STORE_CTX* context) : m_context(context) {}
    ContextCleanup(const ContextCleanup&) = delete;
    ContextCleanup& operator=(const ContextCleanup&) = delete;
    ~ContextCleanup() { CleanupStoreContext(m_context); }

  private:
    X509_STORE_CTX* m_context;
};

}  // namespace

PKCS7SignaturePolicy::PKCS7SignaturePolicy() : m_trustedStore(NewTrustedStore()) {}

X509StackHolder PKCS7SignaturePolicy::VerifySigner(const SignerMatch& match) {
    PrepareVerification(match.signerInfo);
    X509StackHolder chain = Verify(m_trustedStore.Get(), match);
    CheckChainNotRevoked(chain.Get(), GetRevocationStore());
    AuthorizeChain(ChainAuthorization{match, chain.Get()});
    return chain;
}

X509StackHolder PKCS7SignaturePolicy::Verify(X509_STORE* store, const SignerMatch& match) {
    if (!store) throw NoTrustedCertificates();
    StoreContextHolder context = NewStoreContext();
    InitStoreContext(context.Get(), store, match.certificate, match.candidates);
    ContextCleanup cleanup(context.Get());
    X509_STORE_CTX_set_purpose(context.Get(), X509_PURPOSE_SMIME_SIGN);
    VerifyStoreContext(context.Get());
    // get1 hands out a stack of its own, each certificate counted, so the context keeps nothing of it.
    return X509StackHolder(X509_STORE_CTX_get1_chain(context.Get()));
}

void PKCS7SignaturePolicy::AcceptValidityErrors() {
    X509_STORE_set_verify_cb(m_trustedStore.Get(), IgnoreValidityPeriodCallback);
}

void PKCS7SignaturePolicy::AddTrustedCertificate(X509* certificate) {
    if (IsCertificateInStore(m_trustedStore.Get(), certificate)) return;
    AddCertificateToStore(m_trustedStore.Get(), certificate);
}

void PKCS7SignaturePolicy::ResetTrustedStore() {
    TrustedStoreHolder fresh = NewTrustedStore();
    X509_STORE_set_verify_cb(fresh.Get(), X509_STORE_get_verify_cb(m_trustedStore.Get()));
    m_trustedStore = std::move(fresh);
}

void PKCS7SignaturePolicy::PrepareVerification(PKCS7_SIGNER_INFO*) {}
