#include "formats/hex_codec.h"

#include <gtest/gtest.h>

#include "foundation/endian.h"
#include "support/filter_runs.h"

TEST(HexEncoder, GivesTheSameDigitsHoweverFed) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {std::string("\x00\xab\xff", 3), "00abff"},
        {"Man", "4d616e"},
        {"\x7f\x80\x01\xfe", "7f8001fe"},
    };
    for (const auto& [bytes, digits] : cases) {
        ExpectSameOutputHoweverFed([] { return std::make_unique<HexEncoder>(); }, bytes, digits);
        EXPECT_EQ(HexEncodeText(ConstData(std::string_view(bytes))), digits);
    }
}

TEST(HexEncoder, HoldsTheSecondDigitWhenOneFreePlaceIsLeft) {
    HexEncoder encoder;
    std::string input("\x00\xab\xff", 3);
    ConstData rest(std::string_view{input});
    Byte buffer[3];
    OutputRange output(buffer, sizeof buffer);
    encoder.Filter(rest, output);
    EXPECT_EQ(std::string(buffer, output.begin), "00a");
    EXPECT_FALSE(encoder.IsComplete());

    OutputRange full(buffer, buffer);
    EXPECT_THROW(encoder.Finish(full), DataOverflow);

    OutputRange next(buffer, sizeof buffer);
    encoder.Filter(rest, next);
    EXPECT_EQ(std::string(buffer, next.begin), "bff");
    EXPECT_TRUE(encoder.IsComplete());
}

TEST(HexDecoder, SkipsNonDigitsAndDropsAnOddDigit) {
    const std::pair<std::string, std::string> cases[] = {
        {"0a:1b", "\x0a\x1b"},
        {"0a1b", "\x0a\x1b"},
        {"0A 1B\r\n", "\x0a\x1b"},
        {"A", ""},
        {"0x41", "\x04"},
        {"zz", ""},
        {"", ""},
        {"4-1", "A"},
    };
    for (const auto& [digits, bytes] : cases) {
        ExpectSameOutputHoweverFed([] { return std::make_unique<HexDecoder>(); }, digits, bytes);
        EXPECT_EQ(HexDecodeText(ConstData(std::string_view(digits))), bytes);
    }
}

TEST(HexDecoder, FinishDropsTheHeldDigitForTheNextStream) {
    HexDecoder decoder;
    EXPECT_EQ(RunFilter(decoder, {"414"}, 16), "A");
    OutputRange none;
    decoder.Finish(none);
    EXPECT_EQ(RunFilter(decoder, {"42"}, 16), "B");
}
