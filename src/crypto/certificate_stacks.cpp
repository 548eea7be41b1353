#include "crypto/certificate_stacks.h"

X509StackHolder CreateX509Stack() {
    return MakeChecked<CreateX509StackFailed, X509StackHolder>([] { return sk_X509_new_null(); });
}

void PushX509(STACK_OF(X509)* stack, X509* certificate) {
    ClearOpenSSLErrors();
    if (!stack || !certificate || sk_X509_push(stack, certificate) <= 0) throw PushX509Failed();
    X509_up_ref(certificate);
}

void PushAllX509(STACK_OF(X509)* stack, const STACK_OF(X509)* more) {
    for (int i = 0; i < sk_X509_num(more); ++i) {
        if (X509* certificate = sk_X509_value(more, i)) PushX509(stack, certificate);
    }
}

X509StackHolder CopyCertificateStack(const STACK_OF(X509)* stack) {
    X509StackHolder copy = CreateX509Stack();
    PushAllX509(copy.Get(), stack);
    return copy;
}

X509StackHolder MergeCertificateStacks(const STACK_OF(X509)* first, const STACK_OF(X509)* second) {
    X509StackHolder merged = CopyCertificateStack(first);
    PushAllX509(merged.Get(), second);
    return merged;
}
