// Content types: ContentTypeReceiver interprets a Content-Type value cut by StructuredFieldMaker
// (structured_fields.h) into numeric codes for the type and the subtype and keeps the parameters that
// the multipart code needs; HashAlgorithmReceiver reads a "micalg" list into bits. As in MIME, "/"
// and "=" separate and "." belongs to tokens ("vnd.ms-excel", an unquoted boundary "a.b").
//
// Codes: the type code t comes from the type table (text 0, image 1, audio 2, video 3,
// application 4, multipart 5, message 6; any other name 7); the subtype code is t * 4096 plus the
// name's index in that type's table, an unknown name getting the code after the type's last (its
// "other" code), and any subtype of an unknown type 0x7000. The tables are those of MIME and of this
// product, for example multipart/signed 0x500b and application/pkcs7-signature 0x4018.
//
// Parameters kept (by exact, lower-case name): "boundary", "type" and "protocol" as they stand (80
// bytes each), "charset" lower-cased (40 bytes), "micalg" as bits. A longer value is cut to its
// buffer without error; other parameters are dropped.
//
// One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "formats/structured_fields.h"
#include "formats/value_receivers.h"
#include "foundation/endian.h"

namespace ContentTypeCode {
inline constexpr std::int32_t kText = 0;
inline constexpr std::int32_t kMultipart = 5;
inline constexpr std::int32_t kMessage = 6;
inline constexpr std::int32_t kUnknownType = 7;

inline constexpr std::int32_t kTextPlain = 0x0000;
// "application/pkcs7-signature" and "application/x-pkcs7-signature" share the code.
inline constexpr std::int32_t kApplicationPKCS7Signature = 0x4018;
inline constexpr std::int32_t kMultipartMixed = 0x5000;
inline constexpr std::int32_t kMultipartDigest = 0x5002;
inline constexpr std::int32_t kMultipartSigned = 0x500b;
inline constexpr std::int32_t kMultipartXDirectory2 = 0x500d;
inline constexpr std::int32_t kMessageRFC822 = 0x6000;
}  // namespace ContentTypeCode

// Bits of the hash algorithms a "micalg" list names.
namespace HashAlgorithmBits {
inline constexpr std::uint32_t kMD5 = 1u << 1;   // "md5", "rsa-md5", "pgp-md5"
inline constexpr std::uint32_t kSHA1 = 1u << 2;  // "sha1", "rsa-sha1", "pgp-sha1"
}  // namespace HashAlgorithmBits

// Reads a comma-separated list of algorithm names (blanks and control bytes skipped, names
// lower-cased) and sets the target to the bits of the names it knows. DataOverflow for a name longer
// than 20 bytes. The target is not owned and is set before Begin.
class HashAlgorithmReceiver : public DataReceiver, public DataWriter {
  public:
    HashAlgorithmReceiver& SetTarget(std::uint32_t& bits) {
        m_target = &bits;
        return *this;
    }

    // Empties the name and sets the target to 0.
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    void AddCollectedName();

    std::uint32_t* m_target = nullptr;
    Byte m_name[20];
    std::size_t m_nameLength = 0;
};

class ContentTypeReceiver : public StructuredFieldReceiver {
  public:
    ContentTypeReceiver();
    ContentTypeReceiver(const ContentTypeReceiver&) = delete;
    ContentTypeReceiver& operator=(const ContentTypeReceiver&) = delete;

    // Forgets everything and takes the subtype code (and its type) as the default for a message
    // without a Content-Type: 0 for text/plain, 0x6000 for message/rfc822 inside a digest.
    void Reset(std::int32_t defaultSubtype = ContentTypeCode::kTextPlain);

    // Resets to text/plain.
    void Begin() override;
    void Special(Byte c) override;
    DataReceiver& Token() override;
    void End() override;
    // The receiver of the value of the named parameter.
    DataReceiver& Parameter(ConstData name);

    std::int32_t Type() const { return m_type; }
    std::int32_t Subtype() const { return m_subtype; }
    ConstData Boundary() const { return m_boundary.Filled(); }
    ConstData TypeParameter() const { return m_typeParameter.Filled(); }
    ConstData Charset() const { return m_charset.Filled(); }
    ConstData Protocol() const { return m_protocol.Filled(); }
    std::uint32_t HashAlgorithms() const { return m_hashAlgorithms; }

  private:
    void CompletePendingToken();

    std::int32_t m_type = ContentTypeCode::kText;
    std::int32_t m_subtype = ContentTypeCode::kTextPlain;
    Byte m_lastSpecial = ' ';
    Byte m_tokenBytes[80];
    Byte m_boundaryBytes[80];
    Byte m_typeBytes[80];
    Byte m_charsetBytes[40];
    Byte m_protocolBytes[80];
    FillBuffer m_token;
    FillBuffer m_boundary;
    FillBuffer m_typeParameter;
    FillBuffer m_charset;
    FillBuffer m_protocol;
    std::uint32_t m_hashAlgorithms = 0;
    DataFilter m_copy;
    BufferFiller m_filler;
    HashAlgorithmReceiver m_hashAlgorithmReceiver;
};
