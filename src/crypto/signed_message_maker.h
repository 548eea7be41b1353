// SignedMessageMaker: reads an S/MIME multipart/signed message (behind a MessageMaker) and, in one
// pass, passes the signed content on, digests it, and gives the detached PKCS#7 signature to a
// SignatureVerification record, which it then matches against the digests.
//
// The content (the first part of the body) reaches the content receiver line by line, unchanged;
// its digests are taken over the canonical form, every line end as CR LF (SignatureSplitter). Which
// digests are taken follows the "micalg" parameter of the Content-Type: MD5 for "md5", "rsa-md5"
// or "pgp-md5", SHA-1 for "sha1", "rsa-sha1" or "pgp-sha1", both when both are named, none without
// the parameter (and then no signer can match). Every later part is read as a signature part
// (SignatureMaker); a third part after the signature is read the same way, so the revocation lists
// it carries reach the record too.
//
// For the record, a message does what its caller would otherwise do itself: Begin clears the record
// (SignatureVerification::Clear), each signature part adds its signature (AddMessage), and End
// matches the signers (MatchSigners). Authorize and Result are left to the owner of the content.
// A message that is not multipart/signed throws NotASignedMessage from Body.
//
// Nothing but the signature bytes is held in memory. The content receiver and the record are not
// owned; Init binds them before a message, Begin makes the maker ready for another. One thread at a
// time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "crypto/openssl_hash.h"
#include "crypto/signature_maker.h"
#include "crypto/signature_splitter.h"
#include "formats/content_type.h"
#include "formats/message_maker.h"
#include "formats/message_receivers.h"
#include "formats/multipart_splitter.h"
#include "formats/structured_fields.h"

class SignatureVerification;

class SignedMessageMaker : public MessageReceiver {
  public:
    SignedMessageMaker() = default;
    SignedMessageMaker(const SignedMessageMaker&) = delete;
    SignedMessageMaker& operator=(const SignedMessageMaker&) = delete;

    void Init(LineReceiver& contentReceiver, SignatureVerification& verification);

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

    // The digests of the last message's content (those its "micalg" selected).
    DualHashReceiver& Digests() { return m_digests; }

  private:
    LineReceiver* m_content = nullptr;
    SignatureVerification* m_verification = nullptr;
    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_fields;
    DualHashReceiver m_digests;
    SignatureMaker m_signature;
    MessageMaker m_signaturePath;
    SignatureSplitter m_parts;
    MultipartSplitter m_splitter;
    bool m_signedBody = false;
};

// The DualHashReceiver digest flags of the HashAlgorithmBits of a "micalg" parameter.
std::uint32_t DigestFlagsOfHashAlgorithms(std::uint32_t hashAlgorithms);
