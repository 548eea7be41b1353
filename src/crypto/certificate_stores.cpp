#include "crypto/certificate_stores.h"

#include "crypto/reissued_certificates.h"
#include "crypto/x509_verify_errors.h"

namespace {

struct ObjectDeleter {
    void operator()(X509_OBJECT* object) const { X509_OBJECT_free(object); }
};

}  // namespace

TrustedStoreHolder NewTrustedStore() {
    return MakeChecked<NewX509_STORE_Failed, TrustedStoreHolder>([] { return X509_STORE_new(); });
}

void AddCertificateToStore(X509_STORE* store, X509* certificate) {
    ClearOpenSSLErrors();
    if (X509_STORE_add_cert(store, certificate) == 0) throw AddToX509_STORE_Failed();
}

bool IsCertificateInStore(X509_STORE* store, X509* certificate) {
    if (!store || !certificate) return false;
    std::unique_ptr<X509_OBJECT, ObjectDeleter> wanted(X509_OBJECT_new());
    if (!wanted || X509_OBJECT_set1_X509(wanted.get(), certificate) != 1) return false;
    X509_STORE_lock(store);
    bool found = X509_OBJECT_retrieve_match(X509_STORE_get0_objects(store), wanted.get()) != nullptr;
    X509_STORE_unlock(store);
    return found;
}

StoreContextHolder NewStoreContext() {
    return MakeChecked<NewX509_STORE_CTX_Failed, StoreContextHolder>([] { return X509_STORE_CTX_new(); });
}

void InitStoreContext(X509_STORE_CTX* context, X509_STORE* store, X509* certificate, STACK_OF(X509)* untrusted) {
    ClearOpenSSLErrors();
    if (X509_STORE_CTX_init(context, store, certificate, untrusted) == 0) throw X509_STORE_CTX_init_Failed();
}

int VerifyStoreContext(X509_STORE_CTX* context) {
    ClearOpenSSLErrors();
    int result = X509_verify_cert(context);
    if (result <= 0) ThrowX509VerifyError(X509_STORE_CTX_get_error(context));
    return result;
}

void CleanupStoreContext(X509_STORE_CTX* context) { X509_STORE_CTX_cleanup(context); }

X509StackHolder VerifyCertificateChain(X509_STORE* store, X509* certificate, STACK_OF(X509)* untrusted,
                                       int purpose) {
    if (!store) throw NoTrustedCertificates();
    InstallReissuedCertificateChecks(store);
    StoreContextHolder context = NewStoreContext();
    InitStoreContext(context.Get(), store, certificate, untrusted);
    StoreContextCleanup cleanup(context.Get());
    X509_STORE_CTX_set_purpose(context.Get(), purpose);
    VerifyStoreContext(context.Get());
    return X509StackHolder(X509_STORE_CTX_get1_chain(context.Get()));
}

int IgnoreValidityPeriodCallback(int verdict, X509_STORE_CTX* context) {
    if (verdict > 0) return verdict;
    int error = X509_STORE_CTX_get_error(context);
    return error == X509_V_ERR_CERT_NOT_YET_VALID || error == X509_V_ERR_CERT_HAS_EXPIRED ? 1 : verdict;
}
