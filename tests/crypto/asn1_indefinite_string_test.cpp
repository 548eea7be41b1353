#include "crypto/asn1_indefinite_string.h"

#include <gtest/gtest.h>

#include <string>

#include "crypto/asn1_elements.h"
#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "support/pipeline_recorders.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

std::string Content(std::size_t length) {
    std::string content(length, '\0');
    for (std::size_t i = 0; i < length; ++i) content[i] = static_cast<char>(i * 7 + 1);
    return content;
}

std::string Encode(const std::string& content, std::size_t piece) {
    std::string encoded;
    StringReceiver sink(encoded);
    ASN1IndefiniteStringEncoder encoder(sink);
    encoder.Begin();
    for (std::size_t at = 0; at < content.size(); at += piece)
        encoder.Receive(ConstData(std::string_view(content).substr(at, piece)));
    encoder.End();
    return encoded;
}

std::string Decode(const std::string& encoded, std::size_t room = 100) {
    ConstDataReader source{ConstData(std::string_view(encoded))};
    ASN1IndefiniteStringDecoder decoder;
    decoder.Start(source);
    std::string content;
    while (decoder.HasMore()) {
        std::string buffer(room, '\0');
        OutputRange range(buffer.data(), buffer.data() + buffer.size());
        decoder.ReadSome(range);
        content.append(buffer.data(), reinterpret_cast<char*>(range.begin));
    }
    EXPECT_TRUE(source.AtEnd()) << "the decoder read past the end of contents";
    return content;
}

TEST(ASN1IndefiniteStringEncoder, WrapsContentInChunksOf1024Bytes) {
    EXPECT_EQ(Encode("", 1), Bytes({0xA0, 0x80, 0x00, 0x00}));
    std::string two = Content(200);
    EXPECT_EQ(Encode(two, 7), Bytes({0xA0, 0x80, 0x04, 0x81, 0xC8}) + two + Bytes({0x00, 0x00}));
    std::string big = Content(1500);
    std::string expected = Bytes({0xA0, 0x80, 0x04, 0x82, 0x04, 0x00}) + big.substr(0, 1024) +
                           Bytes({0x04, 0x82, 0x01, 0xDC}) + big.substr(1024) + Bytes({0x00, 0x00});
    // However the content arrives, the chunks are the same.
    for (std::size_t piece : {1u, 100u, 1024u, 1500u}) EXPECT_EQ(Encode(big, piece), expected) << piece;
}

TEST(ASN1IndefiniteStringEncoder, PassesBeginAndEndOnOnce) {
    RecordingReceiver next;
    ASN1IndefiniteStringEncoder encoder(next);
    encoder.Begin();
    encoder.End();
    ASSERT_EQ(next.calls.size(), 4u);
    EXPECT_EQ(next.calls.front(), "Begin");
    EXPECT_EQ(next.calls.back(), "End");
}

TEST(ASN1IndefiniteStringDecoder, ReadsBackWhatTheEncoderWrote) {
    for (std::size_t length : {0u, 1u, 200u, 1024u, 1500u, 5000u}) {
        std::string content = Content(length);
        for (std::size_t room : {1u, 333u, 4096u}) EXPECT_EQ(Decode(Encode(content, 512), room), content) << length;
    }
}

TEST(ASN1IndefiniteStringDecoder, ReadsAnyMixOfChunkLengthsAndSkipsEmptyChunks) {
    std::string a = Content(5), b = Content(300), c = Content(70000);
    std::string encoded = Bytes({0xA0, 0x80, 0x04, 0x05}) + a + Bytes({0x04, 0x00}) +
                          Bytes({0x04, 0x82, 0x01, 0x2C}) + b + Bytes({0x04, 0x83, 0x01, 0x11, 0x70}) + c +
                          Bytes({0x04, 0x84, 0x00, 0x00, 0x00, 0x01, 'z', 0x04, 0x81, 0x00, 0x00, 0x00});
    EXPECT_EQ(Decode(encoded), a + b + c + "z");
    EXPECT_EQ(Decode(Bytes({0xA0, 0x80, 0x04, 0x00, 0x00, 0x00})), "");
}

TEST(ASN1IndefiniteStringDecoder, RefusesMalformedFraming) {
    struct Case {
        const char* what;
        std::string encoded;
    };
    const Case formatErrors[] = {
        {"wrong tag", Bytes({0x30, 0x80, 0x00, 0x00})},
        {"definite length", Bytes({0xA0, 0x02, 0x00, 0x00})},
        {"chunk of another type", Bytes({0xA0, 0x80, 0x05, 0x00, 0x00, 0x00})},
        {"half end of contents", Bytes({0xA0, 0x80, 0x00, 0x01})},
    };
    for (const Case& c : formatErrors) EXPECT_THROW(Decode(c.encoded), FormatError) << c.what;
    EXPECT_THROW(Decode(Bytes({0xA0, 0x80, 0x04, 0x85, 1, 1, 1, 1, 1})), ASN1Decode_Failed);
    EXPECT_THROW(Decode(Bytes({0xA0, 0x80, 0x04, 0x80})), ASN1Decode_Failed);
    EXPECT_THROW(Decode(Bytes({0xA0, 0x80, 0x04, 0x05, 'a', 'b'})), NoMoreData);
    EXPECT_THROW(Decode(Bytes({0xA0, 0x80, 0x04, 0x01, 'a'})), NoMoreData);
}

}  // namespace
