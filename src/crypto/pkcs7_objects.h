// Wrappers of OpenSSL's PKCS#7 calls: building enveloped messages, reaching a signed message's
// parts, streaming content through the library, and checking one signer's signature.
//
// PKCS7DataInit and PKCS7DataDecode join the library's content chain to the data pipeline: writing
// into the first chain passes the encoded or encrypted content on to the receiver; reading the second
// pulls from the reader and gives the decrypted content. The receiver or reader must outlive the
// chain.
#pragma once

#include <memory>

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "base/data_pipeline.h"

OPENSSL_FAILURE(CreatePKCS7Failed);
OPENSSL_FAILURE(DuplicatePKCS7Failed);
OPENSSL_FAILURE(PKCS7SetTypeFailed);
OPENSSL_FAILURE(PKCS7SetCipherFailed);
OPENSSL_FAILURE(PKCS7AddRecipientFailed);
OPENSSL_FAILURE(PKCS7DataInitFailed);
OPENSSL_FAILURE(PKCS7DataDecodeFailed);
// A signer's signature does not verify. It travels between threads through CaptureCurrentException
// once a signature has been checked (the capture is registered on first use).
OPENSSL_FAILURE(PKCS7SignatureVerifyFailed);
// The message is not signed data.
class WrongPKCS7Type : public DebuggableException {};

PKCS7Holder CreatePKCS7();
PKCS7Holder DuplicatePKCS7(PKCS7* object);
// The content type by NID (NID_pkcs7_enveloped for an encrypted file).
void PKCS7SetType(PKCS7* object, int contentType);
void PKCS7SetCipher(PKCS7* object, const EVP_CIPHER* cipher);
void PKCS7AddRecipient(PKCS7* object, X509* certificate);
// The signed-data part; throws WrongPKCS7Type for any other content type or a missing part.
PKCS7_SIGNED* GetPKCS7SignedData(PKCS7* object);

BIOChainHolder PKCS7DataInit(PKCS7* object, DataReceiver& receiver);
BIOChainHolder PKCS7DataDecode(PKCS7* object, EVP_PKEY* key, DataReader& reader, X509* certificate);
// Checks the signer's signature over the digest chain the content went through.
int PKCS7SignatureVerify(BIO* digestChain, PKCS7* object, PKCS7_SIGNER_INFO* signer, X509* certificate);

// The capture function of PKCS7SignatureVerifyFailed, and its registration (done once, by the first
// signature check, and by whoever else needs it first).
std::unique_ptr<CaughtException> CatchPKCS7SignatureVerifyFailed();
void RegisterSignedContentExceptionTypes();
