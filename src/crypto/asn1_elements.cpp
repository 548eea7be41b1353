#include "crypto/asn1_elements.h"

#include <openssl/asn1t.h>

#include <algorithm>

#include "foundation/endian.h"

// The recipient records of an enveloped message as one SET OF value.
typedef STACK_OF(PKCS7_RECIP_INFO) KVR_RECIPIENT_INFO_SET;
DECLARE_ASN1_ITEM(KVR_RECIPIENT_INFO_SET)
ASN1_ITEM_TEMPLATE(KVR_RECIPIENT_INFO_SET) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SET_OF, 0, RecipientInfos, PKCS7_RECIP_INFO)
ASN1_ITEM_TEMPLATE_END(KVR_RECIPIENT_INFO_SET)

namespace {

constexpr Byte kHighTagNumber = 0x1F;
constexpr Byte kMoreTagOctets = 0x80;
constexpr Byte kLongLengthForm = 0x80;
constexpr std::size_t kMaxLengthOctets = 4;
// One identifier octet, the length octet and four more length octets.
constexpr std::size_t kLengthScratchLength = 1 + kMaxLengthOctets;

template <class T>
using Decoder = T* (*)(T**, const unsigned char**, long);

// Decodes the whole element as one value; trailing bytes inside the element are refused.
template <class T, class Holder>
Holder DecodeElement(DataReader& reader, Decoder<T> decode) {
    ASN1Element element;
    ReadASN1Element(reader, element);
    ConstData data = element.Data();
    const unsigned char* cursor = data.begin;
    ClearOpenSSLErrors();
    Holder value(decode(nullptr, &cursor, static_cast<long>(data.Length())));
    if (!value || cursor != data.end) throw ASN1Decode_Failed();
    return value;
}

template <class Encoder>
OwnedByteRange EncodeValue(Encoder encode) {
    ClearOpenSSLErrors();
    int length = encode(nullptr);
    if (length <= 0) throw ASN1Encode_Failed();
    OwnedByteRange buffer = AllocateByteRange(static_cast<std::size_t>(length));
    unsigned char* cursor = buffer.Begin();
    if (encode(&cursor) <= 0) throw ASN1Encode_Failed();
    return buffer;
}

STACK_OF(PKCS7_RECIP_INFO)* DecodeRecipientInfoSet(STACK_OF(PKCS7_RECIP_INFO)** out,
                                                 const unsigned char** cursor, long length) {
    return reinterpret_cast<STACK_OF(PKCS7_RECIP_INFO)*>(
        ASN1_item_d2i(reinterpret_cast<ASN1_VALUE**>(out), cursor, length, ASN1_ITEM_rptr(KVR_RECIPIENT_INFO_SET)));
}

}  // namespace

Byte ReadASN1Byte(DataReader& reader, OutputRange& buffer) {
    if (buffer.IsFull()) throw DataOverflow();
    reader.ReadInto(buffer.begin, buffer.begin + 1);
    return *buffer.begin++;
}

void ReadASN1Tag(DataReader& reader, OutputRange& buffer) {
    if ((ReadASN1Byte(reader, buffer) & kHighTagNumber) != kHighTagNumber) return;
    while (ReadASN1Byte(reader, buffer) & kMoreTagOctets) {
    }
}

std::uint32_t ReadASN1Length(DataReader& reader, OutputRange& buffer) {
    Byte first = ReadASN1Byte(reader, buffer);
    if (!(first & kLongLengthForm)) return first;
    std::size_t octets = first & ~kLongLengthForm;
    if (octets == 0 || octets > kMaxLengthOctets) throw ASN1Decode_Failed();
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | ReadASN1Byte(reader, buffer);
    return length;
}

std::uint32_t ReadASN1LengthOnly(DataReader& reader) {
    Byte scratch[kLengthScratchLength];
    OutputRange buffer(scratch, scratch + sizeof scratch);
    return ReadASN1Length(reader, buffer);
}

ConstData ASN1Element::Data() const {
    const Byte* begin = m_heap.empty() ? m_inline.data() : m_heap.data();
    return {begin, begin + m_length};
}

void ReadASN1Element(DataReader& reader, ASN1Element& element) {
    element.m_heap.clear();
    OutputRange header(element.m_inline.data(), element.m_inline.data() + element.m_inline.size());
    ReadASN1Tag(reader, header);
    std::uint32_t contentLength = ReadASN1Length(reader, header);
    if (contentLength > kMaxASN1ElementContent) throw ASN1Decode_Failed();
    std::size_t headerLength = header.begin - element.m_inline.data();
    std::size_t total = headerLength + contentLength;
    Byte* content = header.begin;
    if (total > element.m_inline.size()) {
        element.m_heap.assign(element.m_inline.data(), element.m_inline.data() + headerLength);
        element.m_heap.resize(total);
        content = element.m_heap.data() + headerLength;
    }
    element.m_length = 0;
    reader.ReadInto(content, content + contentLength);
    element.m_length = total;
}

void FreeASN1Object(ASN1_OBJECT* object) { ASN1_OBJECT_free(object); }
void FreeASN1Integer(ASN1_INTEGER* integer) { ASN1_INTEGER_free(integer); }
void FreeAlgorithm(X509_ALGOR* algorithm) { X509_ALGOR_free(algorithm); }
void FreeRecipientInfoSet(STACK_OF(PKCS7_RECIP_INFO)* recipients) {
    sk_PKCS7_RECIP_INFO_pop_free(recipients, PKCS7_RECIP_INFO_free);
}

ASN1ObjectHolder DecodeASN1ObjectElement(DataReader& reader) {
    return DecodeElement<ASN1_OBJECT, ASN1ObjectHolder>(reader, d2i_ASN1_OBJECT);
}

ASN1IntegerHolder DecodeASN1IntegerElement(DataReader& reader) {
    return DecodeElement<ASN1_INTEGER, ASN1IntegerHolder>(reader, d2i_ASN1_INTEGER);
}

AlgorithmHolder DecodeAlgorithmElement(DataReader& reader) {
    return DecodeElement<X509_ALGOR, AlgorithmHolder>(reader, d2i_X509_ALGOR);
}

RecipientInfoSetHolder DecodeRecipientInfoSetElement(DataReader& reader) {
    return DecodeElement<STACK_OF(PKCS7_RECIP_INFO), RecipientInfoSetHolder>(reader, DecodeRecipientInfoSet);
}

void ExpectByte(DataReader& reader, Byte expected) {
    Byte actual = 0;
    reader.ReadInto(&actual, &actual + 1);
    if (actual != expected) throw FormatError();
}

void ExpectEndOfContents(DataReader& reader) {
    Byte octets[2];
    reader.ReadInto(octets, octets + 2);
    if (octets[0] != 0 || octets[1] != 0) throw FormatError();
}

OwnedByteRange EncodeASN1Object(const ASN1_OBJECT* object) {
    return EncodeValue([object](unsigned char** out) { return i2d_ASN1_OBJECT(object, out); });
}

OwnedByteRange EncodeASN1Integer(const ASN1_INTEGER* integer) {
    return EncodeValue([integer](unsigned char** out) { return i2d_ASN1_INTEGER(integer, out); });
}

OwnedByteRange EncodeRecipientInfoSet(STACK_OF(PKCS7_RECIP_INFO)* recipients) {
    return EncodeValue([recipients](unsigned char** out) {
        return ASN1_item_i2d(reinterpret_cast<const ASN1_VALUE*>(recipients), out,
                             ASN1_ITEM_rptr(KVR_RECIPIENT_INFO_SET));
    });
}

OwnedByteRange EncodeAlgorithmIdentifier(const X509_ALGOR* algorithm) {
    return EncodeValue([algorithm](unsigned char** out) { return i2d_X509_ALGOR(algorithm, out); });
}
