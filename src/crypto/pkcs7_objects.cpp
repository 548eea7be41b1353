#include "crypto/pkcs7_objects.h"

#include <mutex>

#include "crypto/pipeline_bio.h"

PKCS7Holder CreatePKCS7() {
    return MakeChecked<CreatePKCS7Failed, PKCS7Holder>([] { return PKCS7_new(); });
}

PKCS7Holder DuplicatePKCS7(PKCS7* object) {
    return MakeChecked<DuplicatePKCS7Failed, PKCS7Holder>(
        [&] { return object ? PKCS7_dup(object) : nullptr; });
}

void PKCS7SetType(PKCS7* object, int contentType) {
    ClearOpenSSLErrors();
    if (PKCS7_set_type(object, contentType) <= 0) throw PKCS7SetTypeFailed();
}

void PKCS7SetCipher(PKCS7* object, const EVP_CIPHER* cipher) {
    ClearOpenSSLErrors();
    if (PKCS7_set_cipher(object, cipher) <= 0) throw PKCS7SetCipherFailed();
}

void PKCS7AddRecipient(PKCS7* object, X509* certificate) {
    ClearOpenSSLErrors();
    if (!PKCS7_add_recipient(object, certificate)) throw PKCS7AddRecipientFailed();
}

PKCS7_SIGNED* GetPKCS7SignedData(PKCS7* object) {
    if (!object || OBJ_obj2nid(object->type) != NID_pkcs7_signed || !object->d.sign) throw WrongPKCS7Type();
    return object->d.sign;
}

BIOChainHolder PKCS7DataInit(PKCS7* object, DataReceiver& receiver) {
    BIOHolder sink = NewReceiverBIO(receiver);
    ClearOpenSSLErrors();
    // On success the library has appended the sink to the chain it returns; on failure it is still ours.
    BIOChainHolder chain(PKCS7_dataInit(object, sink.Get()));
    if (!chain) throw PKCS7DataInitFailed();
    sink.Release();
    return chain;
}

BIOChainHolder PKCS7DataDecode(PKCS7* object, EVP_PKEY* key, DataReader& reader, X509* certificate) {
    BIOHolder source = NewReaderBIO(reader);
    ClearOpenSSLErrors();
    BIOChainHolder chain(PKCS7_dataDecode(object, key, source.Get(), certificate));
    if (!chain) throw PKCS7DataDecodeFailed();
    source.Release();
    return chain;
}

int PKCS7SignatureVerify(BIO* digestChain, PKCS7* object, PKCS7_SIGNER_INFO* signer, X509* certificate) {
    RegisterSignedContentExceptionTypes();
    ClearOpenSSLErrors();
    int result = PKCS7_signatureVerify(digestChain, object, signer, certificate);
    if (result <= 0) throw PKCS7SignatureVerifyFailed();
    return result;
}

std::unique_ptr<CaughtException> CatchPKCS7SignatureVerifyFailed() {
    return CaptureExceptionOfType<PKCS7SignatureVerifyFailed>();
}

void RegisterSignedContentExceptionTypes() {
    static std::once_flag registered;
    std::call_once(registered, [] { RegisterExceptionType(CatchPKCS7SignatureVerifyFailed); });
}
