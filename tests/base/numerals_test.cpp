#include "base/numerals.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {
ConstData Text(const char* s) {
    return ConstDataOfCString(s);
}
constexpr NumeralStatus kOk = NumeralStatus::Success;
constexpr NumeralStatus kNotANumeral = NumeralStatus::NotANumeral;
constexpr NumeralStatus kTooLarge = NumeralStatus::TooLarge;
}  // namespace

TEST(NumeralParsers, UnsignedDecimal64) {
    struct Case {
        const char* text;
        NumeralStatus status;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"0", kOk, 0},
        {"007", kOk, 7},
        {"18446744073709551615", kOk, std::numeric_limits<std::uint64_t>::max()},
        {"18446744073709551616", kTooLarge, 0},
        {"99999999999999999999", kTooLarge, 0},
        // The overflow test comes before the digit test.
        {"184467440737095516150x", kTooLarge, 0},
        {"", kNotANumeral, 0},
        {"12a", kNotANumeral, 0},
        {"-1", kNotANumeral, 0},
        {"+1", kNotANumeral, 0},
        {" 1", kNotANumeral, 0},
        {"0x10", kNotANumeral, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t value = 12345;
        EXPECT_EQ(ParseDecimalUInt64(Text(c.text), value), c.status) << c.text;
        EXPECT_EQ(value, c.status == kOk ? c.value : 12345) << c.text;
    }
}

TEST(NumeralParsers, UnsignedDecimal32) {
    struct Case {
        const char* text;
        NumeralStatus status;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"4294967295", kOk, 4294967295u},
        {"4294967296", kTooLarge, 0},
        {"18446744073709551616", kTooLarge, 0},
        {"", kNotANumeral, 0},
        {"4x", kNotANumeral, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 0;
        EXPECT_EQ(ParseDecimalUInt32(Text(c.text), value), c.status) << c.text;
        if (c.status == kOk) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    EXPECT_EQ(DecimalToUInt32OrDefault(Text("x"), 7), 7u);
    EXPECT_EQ(DecimalToUInt32OrDefault(Text("4294967296"), 7), 7u);
    EXPECT_EQ(DecimalToUInt32OrDefault(Text("42"), 7), 42u);
    EXPECT_EQ(DecimalToUInt64OrDefault(Text(""), 9), 9u);
    EXPECT_EQ(DecimalToUInt64OrDefault(Text("4294967296"), 9), 4294967296u);
}

TEST(NumeralParsers, SignedDecimal64) {
    struct Case {
        const char* text;
        NumeralStatus status;
        std::int64_t value;
    };
    const Case cases[] = {
        {"-9223372036854775808", kOk, std::numeric_limits<std::int64_t>::min()},
        {"-9223372036854775807", kOk, -9223372036854775807},
        {"-9223372036854775809", kTooLarge, 0},
        {"9223372036854775807", kOk, std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775808", kTooLarge, 0},
        {"+9223372036854775808", kTooLarge, 0},
        {"-18446744073709551616", kTooLarge, 0},
        {"+5", kOk, 5},
        {"-0", kOk, 0},
        {"-", kNotANumeral, 0},
        {"+", kNotANumeral, 0},
        {"", kNotANumeral, 0},
        {"--1", kNotANumeral, 0},
        {"1-", kNotANumeral, 0},
    };
    for (const Case& c : cases) {
        std::int64_t value = 0;
        EXPECT_EQ(ParseDecimalInt64(Text(c.text), value), c.status) << c.text;
        if (c.status == kOk) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(NumeralParsers, Hexadecimal) {
    struct Case {
        const char* text;
        NumeralStatus status;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"fF", kOk, 255},
        {"0123456789abcdef", kOk, 0x0123456789abcdef},
        {"FFFFFFFFFFFFFFFF", kOk, std::numeric_limits<std::uint64_t>::max()},
        {"10000000000000000", kTooLarge, 0},
        {"0x10", kNotANumeral, 0},
        {"g", kNotANumeral, 0},
        {"", kNotANumeral, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t value = 0;
        EXPECT_EQ(ParseHexUInt64(Text(c.text), value), c.status) << c.text;
        if (c.status == kOk) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(NumeralParsers, ThrowingFormsNameTheFailure) {
    EXPECT_EQ(HexToUInt32(Text("ffffffff")), 0xffffffffu);
    EXPECT_THROW(HexToUInt32(Text("100000000")), NumeralTooLarge);
    EXPECT_THROW(DecimalToUInt64(Text("")), NotANumeral);
    EXPECT_THROW(DecimalToUInt32(Text("4294967296")), NumeralTooLarge);
    EXPECT_EQ(HexToUInt64(Text("A0")), 160u);
    EXPECT_NO_THROW(ThrowNumeralStatus(kOk));
    EXPECT_THROW(ThrowNumeralStatus(kNotANumeral), NotANumeral);
    EXPECT_THROW(ThrowNumeralStatus(kTooLarge), NumeralTooLarge);
    EXPECT_STREQ(NotANumeral().what(), "class NotANumeral");
    EXPECT_STREQ(NumeralTooLarge().what(), "class NumeralTooLarge");
}

TEST(NumeralParsers, HexDigits) {
    const std::string lower = "0123456789abcdef", upper = "0123456789ABCDEF";
    for (unsigned v = 0; v < 16; ++v) {
        EXPECT_EQ(HexDigitChar(v), lower[v]);
        EXPECT_EQ(HexDigitValue(static_cast<Byte>(lower[v])), v);
        EXPECT_EQ(HexDigitValue(static_cast<Byte>(upper[v])), v);
    }
}

TEST(DigitWriters, PadAndSign) {
    EXPECT_EQ(FormatDecimalDigits(7, 3).View(), "007");
    EXPECT_EQ(FormatDecimalDigits(0, 1).View(), "0");
    EXPECT_EQ(FormatDecimalDigits(0, 0).View(), "");
    EXPECT_EQ(FormatDecimalDigits(12345, 2).View(), "12345");
    EXPECT_EQ(FormatDecimalDigits(std::numeric_limits<std::uint64_t>::max(), 1).View(),
              "18446744073709551615");
    EXPECT_EQ(FormatHexDigits(255, 4).View(), "00ff");
    EXPECT_EQ(FormatHexDigits(std::numeric_limits<std::uint64_t>::max(), 0).View(), "ffffffffffffffff");
    EXPECT_EQ(FormatSignedDecimalDigits(-5, 3).View(), "-005");
    EXPECT_EQ(FormatSignedDecimalDigits(5, 3).View(), "005");
    EXPECT_EQ(FormatSignedDecimalDigits(std::numeric_limits<std::int64_t>::min(), 1).View(),
              "-9223372036854775808");
    EXPECT_EQ(AppendDecimal(4294967295u, 1).View(), "4294967295");
    EXPECT_EQ(AppendDecimal(3, 2).View(), "03");
    EXPECT_EQ(AppendHex(0xdeadbeef, 1).View(), "deadbeef");
    EXPECT_EQ(AppendSignedDecimal(std::numeric_limits<std::int32_t>::min(), 1).View(), "-2147483648");
}

TEST(DigitWriters, WidthBeyondTheHolderThrows) {
    EXPECT_EQ(FormatDecimalDigits(1, 20).Length(), 20u);
    EXPECT_THROW(FormatDecimalDigits(1, 21), ConstDataCapacityExceeded);
    EXPECT_THROW(FormatHexDigits(1, 17), ConstDataCapacityExceeded);
    EXPECT_EQ(FormatSignedDecimalDigits(-1, 20).View(), "-00000000000000000001");
    EXPECT_THROW(FormatSignedDecimalDigits(-1, 21), ConstDataCapacityExceeded);
    EXPECT_EQ(FormatSignedDecimalDigits(1, 21).Length(), 21u);
    EXPECT_THROW(AppendDecimal(1, 11), ConstDataCapacityExceeded);
    EXPECT_THROW(AppendHex(1, 1000000), ConstDataCapacityExceeded);
    EXPECT_THROW(AppendSignedDecimal(-1, 11), ConstDataCapacityExceeded);
}

TEST(IntegerTextTest, RadixSignAndPadding) {
    EXPECT_EQ(IntegerText(255u, 16).GetText().View(), "ff");
    EXPECT_EQ(IntegerText(std::int64_t(-10), 10).GetText().View(), "-10");
    EXPECT_EQ(IntegerText(0).GetText().View(), "0");
    EXPECT_EQ(IntegerText(std::uint8_t(200)).GetText().View(), "200");
    EXPECT_EQ(IntegerText(std::uint16_t(65535), 2).GetText().View(), "1111111111111111");
    EXPECT_EQ(IntegerText(35, 36).GetText().View(), "z");
    EXPECT_EQ(IntegerText(std::numeric_limits<std::int64_t>::min()).GetText().View(), "-9223372036854775808");
    EXPECT_EQ(IntegerText(std::numeric_limits<std::uint64_t>::max(), 2).GetText().Length(), 64u);

    IntegerText padded(255, 16);
    padded.PadWithZeros(4);
    EXPECT_EQ(padded.GetText().View(), "00ff");
    IntegerText negative(-7);
    negative.PadWithZeros(3);
    EXPECT_EQ(negative.GetText().View(), "-007");
    IntegerText copy = negative;
    EXPECT_EQ(copy.GetText().View(), "-007");
    EXPECT_NE(copy.GetText().begin, negative.GetText().begin);
}

TEST(IntegerTextTest, PaddingBeyondTheBufferThrows) {
    IntegerText text(-1);
    text.PadWithZeros(IntegerText::kMaxDigits);
    EXPECT_EQ(text.GetText().Length(), IntegerText::kMaxDigits + 1);
    EXPECT_EQ(text.GetText().View()[0], '-');
    EXPECT_THROW(text.PadWithZeros(IntegerText::kMaxDigits + 1), ConstDataCapacityExceeded);
    EXPECT_THROW(IntegerText(1).PadWithZeros(1000), ConstDataCapacityExceeded);
}

TEST(IntegerTextTest, RadixOutsideTwoToThirtySixIsRefused) {
    EXPECT_THROW(IntegerText(5, 0), RequirementFailure);
    EXPECT_THROW(IntegerText(5, 1), RequirementFailure);
    EXPECT_THROW(IntegerText(5, 37), RequirementFailure);
}
