#include "crypto/pkcs7_signature_maker.h"

#include <openssl/pkcs7.h>

#include "crypto/bio_wrappers.h"
#include "crypto/openssl_error.h"
#include "crypto/signature_verification.h"

namespace {

// The library's own test for a signature over content carried elsewhere; only signed data answers it.
bool IsDetachedSignedData(PKCS7* object) {
    return OBJ_obj2nid(object->type) == NID_pkcs7_signed && PKCS7_get_detached(object) != 0;
}

}  // namespace

void PKCS7SignatureMaker::Begin() {
    m_bytes = NewBIO(BIO_s_mem());
    m_byteCount = 0;
}

void PKCS7SignatureMaker::Receive(const Byte* begin, const Byte* end) {
    const auto length = static_cast<std::size_t>(end - begin);
    if (length > kMaximumSignatureBytes - m_byteCount) {
        m_bytes.Reset();
        throw SignatureTooLarge();
    }
    m_byteCount += length;
    BIOWrite(m_bytes.Get(), ConstData(begin, end));
}

// A signature that does not decode is no failure of the message: the record simply lacks it, and
// its Result reports that no signature verified.
void PKCS7SignatureMaker::End() {
    BIOHolder bytes = std::move(m_bytes);
    if (!bytes) return;
    ClearOpenSSLErrors();
    PKCS7Holder signature(d2i_PKCS7_bio(bytes.Get(), nullptr));
    ClearOpenSSLErrors();
    if (signature && IsDetachedSignedData(signature.Get())) m_target->AddMessage(std::move(signature));
}
