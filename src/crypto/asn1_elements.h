// Hand-written DER element reading and encoding for the streamed envelope of encrypted files.
//
// The readers take bytes from a DataReader one element at a time, so that a header of a stream can
// be decoded before its content has arrived. Only definite lengths of up to four length octets are
// accepted; an element's content is capped at kMaxASN1ElementContent bytes, since the length comes
// from outside and would otherwise decide how much memory is taken. Data that ends early throws
// NoMoreData, a malformed element ASN1Decode_Failed, a full bounded buffer DataOverflow.
//
// The encoders return the DER encoding of one value in a buffer of exactly its length.
#pragma once

#include <openssl/asn1.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <array>
#include <cstdint>
#include <vector>

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "base/const_data.h"
#include "base/data_pipeline.h"

OPENSSL_FAILURE(ASN1Decode_Failed);
OPENSSL_FAILURE(ASN1Encode_Failed);

// The largest element content ReadASN1Element accepts: far above the envelope's largest header
// element (the recipient records of a few dozen recipients with 4096-bit keys).
constexpr std::uint32_t kMaxASN1ElementContent = 1024 * 1024;

// Reads one byte and appends it to the bounded buffer (DataOverflow when it is full).
Byte ReadASN1Byte(DataReader& reader, OutputRange& buffer);
// The identifier octets, appended to the buffer: one, or more for a high tag number (low five bits
// all set), continuing while bit 7 of the octet just read is set.
void ReadASN1Tag(DataReader& reader, OutputRange& buffer);
// The length octets, appended to the buffer, and their value. The indefinite form (80), and more
// than four length octets, throw ASN1Decode_Failed.
std::uint32_t ReadASN1Length(DataReader& reader, OutputRange& buffer);
// ReadASN1Length into a scratch buffer of its own.
std::uint32_t ReadASN1LengthOnly(DataReader& reader);

// One complete DER element: identifier, length and content octets. Elements of up to 512 bytes stay
// inside the object; larger ones take a heap block.
class ASN1Element {
  public:
    ConstData Data() const;

  private:
    friend void ReadASN1Element(DataReader& reader, ASN1Element& element);
    static constexpr std::size_t kInlineLength = 512;

    std::array<Byte, kInlineLength> m_inline;
    std::vector<Byte> m_heap;
    std::size_t m_length = 0;
};

// Reads the next element; content over kMaxASN1ElementContent throws ASN1Decode_Failed.
void ReadASN1Element(DataReader& reader, ASN1Element& element);

void FreeASN1Object(ASN1_OBJECT* object);
void FreeASN1Integer(ASN1_INTEGER* integer);
void FreeAlgorithm(X509_ALGOR* algorithm);
void FreeRecipientInfoSet(STACK_OF(PKCS7_RECIP_INFO)* recipients);
using ASN1ObjectHolder = AutoOpenSSLObject<ASN1_OBJECT, FreeASN1Object>;
using ASN1IntegerHolder = AutoOpenSSLObject<ASN1_INTEGER, FreeASN1Integer>;
using AlgorithmHolder = AutoOpenSSLObject<X509_ALGOR, FreeAlgorithm>;
using RecipientInfoSetHolder = AutoOpenSSLObject<STACK_OF(PKCS7_RECIP_INFO), FreeRecipientInfoSet>;

// The next element decoded as one value; a value of another type throws ASN1Decode_Failed.
ASN1ObjectHolder DecodeASN1ObjectElement(DataReader& reader);
ASN1IntegerHolder DecodeASN1IntegerElement(DataReader& reader);
AlgorithmHolder DecodeAlgorithmElement(DataReader& reader);
// A SET (universal tag 17) of PKCS#7 recipient records.
RecipientInfoSetHolder DecodeRecipientInfoSetElement(DataReader& reader);

// Reads one byte; any other value than the expected one throws FormatError.
void ExpectByte(DataReader& reader, Byte expected);
// Reads the end-of-contents octets 00 00; anything else throws FormatError.
void ExpectEndOfContents(DataReader& reader);

// The DER encoding of one value; throw ASN1Encode_Failed.
OwnedByteRange EncodeASN1Object(const ASN1_OBJECT* object);
OwnedByteRange EncodeASN1Integer(const ASN1_INTEGER* integer);
// As a SET with universal tag 17, not context-tagged.
OwnedByteRange EncodeRecipientInfoSet(STACK_OF(PKCS7_RECIP_INFO)* recipients);
OwnedByteRange EncodeAlgorithmIdentifier(const X509_ALGOR* algorithm);
