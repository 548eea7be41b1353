#include "crypto/asn1_elements.h"

#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <string>

#include "base/const_data_reader.h"
#include "foundation/endian.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

// Reads one element and returns its bytes and what the reader still holds.
std::pair<std::string, std::string> ReadElement(const std::string& input) {
    ConstDataReader reader{ConstData(std::string_view(input))};
    ASN1Element element;
    ReadASN1Element(reader, element);
    std::string rest(input.size(), '\0');
    OutputRange range(rest.data(), rest.data() + rest.size());
    reader.ReadSome(range);
    rest.resize(reinterpret_cast<char*>(range.begin) - rest.data());
    return {std::string(element.Data().View()), rest};
}

TEST(ReadASN1Element, ReadsExactlyOneElementOfAnySize) {
    std::string small = Bytes({0x04, 0x03, 'a', 'b', 'c'});
    EXPECT_EQ(ReadElement(small + "tail"), std::make_pair(small, std::string("tail")));
    std::string large = Bytes({0x04, 0x82, 0x03, 0xE8}) + std::string(1000, 'x');
    EXPECT_EQ(ReadElement(large + "t"), std::make_pair(large, std::string("t")));
    // A high tag number continues while bit 7 is set.
    std::string highTag = Bytes({0x9F, 0x81, 0x01, 0x01, 'z'});
    EXPECT_EQ(ReadElement(highTag).first, highTag);
}

TEST(ReadASN1Element, RefusesBadLengthsBeforeTakingMemory) {
    struct Case {
        const char* what;
        std::string input;
    };
    const Case cases[] = {
        {"indefinite length", Bytes({0x30, 0x80, 0x00, 0x00})},
        {"five length octets", Bytes({0x04, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 'a'})},
        {"forged 4 GiB", Bytes({0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 'a'})},
        {"just over the cap", Bytes({0x04, 0x83, 0x10, 0x00, 0x01})},
    };
    for (const Case& c : cases) EXPECT_THROW(ReadElement(c.input), ASN1Decode_Failed) << c.what;
    EXPECT_THROW(ReadElement(Bytes({0x04, 0x05, 'a'})), NoMoreData);
    EXPECT_THROW(ReadElement(Bytes({0x04})), NoMoreData);
    // An identifier that never ends overflows the element's header buffer.
    EXPECT_THROW(ReadElement(Bytes({0x1F}) + std::string(600, '\x81')), DataOverflow);
}

TEST(ReadASN1Length, ReadsOneToFourOctetsBigEndian) {
    struct Case {
        std::string input;
        std::uint32_t length;
    };
    const Case cases[] = {{Bytes({0x7F}), 127},
                          {Bytes({0x81, 0x80}), 128},
                          {Bytes({0x82, 0x01, 0x00}), 256},
                          {Bytes({0x83, 0x01, 0x00, 0x00}), 65536},
                          {Bytes({0x84, 0x12, 0x34, 0x56, 0x78}), 0x12345678}};
    for (const Case& c : cases) {
        ConstDataReader reader{ConstData(std::string_view(c.input))};
        EXPECT_EQ(ReadASN1LengthOnly(reader), c.length);
        EXPECT_TRUE(reader.AtEnd());
    }
}

TEST(ASN1Elements, DecodeWhatTheEncodersWrite) {
    ASN1ObjectHolder object(OBJ_nid2obj(NID_pkcs7_data));
    OwnedByteRange encodedObject = EncodeASN1Object(object.Get());
    ConstDataReader objectReader(encodedObject.Data());
    EXPECT_EQ(OBJ_obj2nid(DecodeASN1ObjectElement(objectReader).Get()), NID_pkcs7_data);

    ASN1IntegerHolder integer(ASN1_INTEGER_new());
    ASN1_INTEGER_set_int64(integer.Get(), 0x123456789);
    OwnedByteRange encodedInteger = EncodeASN1Integer(integer.Get());
    ConstDataReader integerReader(encodedInteger.Data());
    std::int64_t value = 0;
    ASN1_INTEGER_get_int64(&value, DecodeASN1IntegerElement(integerReader).Get());
    EXPECT_EQ(value, 0x123456789);

    AlgorithmHolder algorithm(X509_ALGOR_new());
    X509_ALGOR_set0(algorithm.Get(), OBJ_nid2obj(NID_aes_256_cbc), V_ASN1_NULL, nullptr);
    OwnedByteRange encodedAlgorithm = EncodeAlgorithmIdentifier(algorithm.Get());
    ConstDataReader algorithmReader(encodedAlgorithm.Data());
    const ASN1_OBJECT* decodedObject = nullptr;
    X509_ALGOR_get0(&decodedObject, nullptr, nullptr, DecodeAlgorithmElement(algorithmReader).Get());
    EXPECT_EQ(OBJ_obj2nid(decodedObject), NID_aes_256_cbc);
}

TEST(ASN1Elements, AnElementOfAnotherTypeIsADecodeFailure) {
    std::string octets = Bytes({0x04, 0x01, 0x00});
    ConstDataReader reader{ConstData(std::string_view(octets))};
    EXPECT_THROW(DecodeASN1IntegerElement(reader), ASN1Decode_Failed);
}

TEST(ExpectBytes, RefuseAnyOtherByte) {
    std::string input = Bytes({0xA0, 0x00, 0x00, 0x00, 0x01});
    ConstDataReader reader{ConstData(std::string_view(input))};
    EXPECT_NO_THROW(ExpectByte(reader, 0xA0));
    EXPECT_NO_THROW(ExpectEndOfContents(reader));
    EXPECT_THROW(ExpectEndOfContents(reader), FormatError);
    std::string other = Bytes({0x30});
    ConstDataReader otherReader{ConstData(std::string_view(other))};
    EXPECT_THROW(ExpectByte(otherReader, 0xA0), FormatError);
}

}  // namespace
