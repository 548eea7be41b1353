// SignatureMaker: the signature part of a multipart/signed message, read as a MIME entity of its own
// (behind a MessageMaker), into a SignatureVerification record.
//
// A part whose Content-Type is application/pkcs7-signature or application/x-pkcs7-signature has
// its body decoded by its Content-Transfer-Encoding ("base64", "quoted-printable", anything else
// taken as text lines joined with CR LF; see QuotedPrintableLineMaker::SelectDecoder, which compares
// the names exactly) into a PKCS7SignatureMaker. A part of any other type is dropped, so it adds no
// signature. Only the first 32 bytes of the transfer encoding are kept.
//
// The record is not owned and is bound with Init before use; Begin makes the maker ready for another
// part. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "crypto/pkcs7_signature_maker.h"
#include "formats/content_type.h"
#include "formats/message_receivers.h"
#include "formats/quoted_printable_codec.h"
#include "formats/structured_fields.h"
#include "formats/value_receivers.h"

class SignatureMaker : public MessageReceiver {
  public:
    SignatureMaker() = default;
    SignatureMaker(const SignatureMaker&) = delete;
    SignatureMaker& operator=(const SignatureMaker&) = delete;

    void Init(SignatureVerification& target) { m_signature.Init(target); }

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t) override {}

  private:
    static constexpr std::size_t kTransferEncodingCapacity = 32;

    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_fields;
    Byte m_transferEncodingBytes[kTransferEncodingCapacity] = {};
    FillBuffer m_transferEncoding;
    DataFilter m_copy;
    BufferFiller m_filler;
    PKCS7SignatureMaker m_signature;
    QuotedPrintableLineMaker m_decoder;
};
