// PKCS7SignatureMaker: the bytes of a DER-encoded PKCS#7 signature (the decoded body of a signature
// part) into a SignatureVerification record.
//
// Begin starts an empty in-memory buffer, Receive appends to it, End decodes one PKCS#7 object from
// it. A detached signed-data signature is handed to the record (SignatureVerification::AddMessage,
// ownership passed); anything else (bytes that do not decode, another content type, signed data
// that carries its content) is dropped without an error, so the record then lacks that signature.
// A signature part larger than kMaximumSignatureBytes throws SignatureTooLarge and is dropped.
//
// The maker owns its buffer, which lives from Begin to End; the record is not owned and is bound
// with Init before use. One thread at a time.
#pragma once

#include <cstddef>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "crypto/auto_openssl_object.h"

class SignatureVerification;

// A signature part held more bytes than any signature the relay reads.
class SignatureTooLarge : public DebuggableException {};

class PKCS7SignatureMaker : public DataReceiver, public DataWriter {
  public:
    // A signature with its certificates and revocation lists stays far below this; a part that does
    // not is no signature, and holding it would only spend memory.
    static constexpr std::size_t kMaximumSignatureBytes = 16 * 1024 * 1024;

    void Init(SignatureVerification& target) { m_target = &target; }

    void Begin() override;
    // BIOWriteFailed when the buffer refuses the bytes; SignatureTooLarge past the limit.
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    SignatureVerification* m_target = nullptr;
    BIOHolder m_bytes;
    std::size_t m_byteCount = 0;
};
