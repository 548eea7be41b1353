#include "formats/base64_codec.h"

#include <gtest/gtest.h>

#include "foundation/data_stages.h"
#include "foundation/endian.h"
#include "support/filter_runs.h"

namespace {
std::unique_ptr<DataFilter> MakeEncoder() {
    return std::make_unique<Base64Encoder>();
}
std::unique_ptr<DataFilter> MakeDecoder() {
    return std::make_unique<Base64Decoder>();
}
}  // namespace

TEST(Base64Encoder, PadsToWholeQuadsHoweverFed) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"M", "TQ=="},
        {"Ma", "TWE="},
        {"Man", "TWFu"},
        {"Many hands make light work.", "TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsu"},
        {std::string("\xff\xfe\x00", 3), "//4A"},
    };
    for (const auto& [bytes, text] : cases) {
        ExpectSameOutputHoweverFed(MakeEncoder, bytes, text);
        EXPECT_EQ(Base64EncodeText(ConstData(std::string_view(bytes))), text);
    }
}

TEST(Base64Decoder, SkipsWhatIsNotInTheAlphabetHoweverFed) {
    const std::pair<std::string, std::string> cases[] = {
        {"TW\r\nFu", "Man"},
        {"TWE=", "Ma"},
        {"TQ==", "M"},
        {"TQ==TQ==", "M\x04\xd0"},  // decoding goes on across the padding
        {"T W F u", "Man"},
        {"-_*!", ""},
        {"", ""},
        {"TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsu", "Many hands make light work."},
        {"T", ""},
    };
    for (const auto& [text, bytes] : cases) {
        ExpectSameOutputHoweverFed(MakeDecoder, text, bytes);
        EXPECT_EQ(Base64DecodeText(ConstData(std::string_view(text))), bytes);
    }
}

TEST(Base64Decoder, RefusesAFullOutputWithoutLosingInput) {
    Base64Decoder decoder;
    ConstData input(std::string_view("TWFu"));
    Byte buffer[3];
    OutputRange full(buffer, buffer);
    EXPECT_THROW(
        {
            decoder.Filter(input, full);
            decoder.Filter(input, full);
        },
        DataOverflow);
    OutputRange room(buffer, sizeof buffer);
    decoder.Filter(input, room);
    EXPECT_EQ(std::string(buffer, room.begin), "Man");
}

TEST(Base64DecodingDataMaker, DecodesLinesAndStartsEachStreamAfresh) {
    std::string bytes;
    StringReceiver collect(bytes);
    Base64DecodingDataMaker maker;
    maker.SetTarget(collect);
    maker.Begin(0);
    for (std::string_view line : {"TW", "F", "uTQ"}) {
        maker.ReceiveText(ConstData(line).begin, ConstData(line).end);
        maker.EndLine(0, 0);
    }
    maker.End(0);
    EXPECT_EQ(bytes, "ManM");

    // Leftover bits of the first stream ("Q" after "MT") do not leak into the second.
    maker.Begin(0);
    ConstData line(std::string_view("TWFu"));
    maker.ReceiveText(line.begin, line.end);
    maker.End(0);
    EXPECT_EQ(bytes, "Man");
}
