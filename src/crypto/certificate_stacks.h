// Stacks of certificates. A stack owns one reference to each certificate it holds, so a certificate
// pushed onto it stays valid as long as the stack, whoever else frees it.
#pragma once

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"

OPENSSL_FAILURE(CreateX509StackFailed);
OPENSSL_FAILURE(PushX509Failed);

X509StackHolder CreateX509Stack();
// Appends the certificate and takes a reference to it.
void PushX509(STACK_OF(X509)* stack, X509* certificate);
// Pushes every non-null certificate of the second stack in order; a null second stack adds nothing.
void PushAllX509(STACK_OF(X509)* stack, const STACK_OF(X509)* more);
X509StackHolder CopyCertificateStack(const STACK_OF(X509)* stack);
// The certificates of the first stack, then those of the second.
X509StackHolder MergeCertificateStacks(const STACK_OF(X509)* first, const STACK_OF(X509)* second);
