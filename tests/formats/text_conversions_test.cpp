#include "formats/text_conversions.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/system_error.h"

using namespace std::string_literals;

TEST(TextConversions, UTF8AndUTF16RoundTrip) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\0z"s;
    std::u16string wide = UTF8ToUTF16(ConstData(text));
    EXPECT_EQ(wide, u"A\u00E9\u20AC\U0001F600\0z"s);
    EXPECT_EQ(wide.c_str()[wide.size()], u'\0');
    EXPECT_EQ(UTF16ToUTF8(wide), text);
    EXPECT_EQ(UTF8ToUTF16(ConstData()), u"");
}

TEST(TextConversions, MalformedTextIsReplacedNotRefused) {
    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    for (const Case& test : {
             Case{"a\xFF"
                  "b",
                  u"a\uFFFDb"},
             Case{"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
             Case{"ab\xE2\x82", u"ab\uFFFD\uFFFD"},
         }) {
        EXPECT_EQ(UTF8ToUTF16(ConstData(test.utf8)), test.expected) << test.utf8;
    }
    EXPECT_EQ(UTF16ToUTF8(u"a\xDC00"
                          "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(UTF16ToUTF8(u"a\xD800"), "a\xEF\xBF\xBD");
}

TEST(TextConversions, CodePages) {
    EXPECT_EQ(MultiByteToWide(1252, ConstData("\x80 \xE9"s)), u"\u20AC \u00E9");
    EXPECT_EQ(MultiByteToWide(28591, ConstData("\x80"s)), u"\u0080");
    EXPECT_EQ(WideToMultiByte(1252, u"\u20AC\u00E9"), "\x80\xE9");
    // What the code page cannot hold becomes "?", a character outside the BMP once.
    EXPECT_EQ(WideToMultiByte(1252, u"a\u0416\U0001F600b"), "a??b");
    EXPECT_EQ(WideToMultiByte(20127, u"\u00E9"), "?");
    try {
        MultiByteToWide(99999, ConstData("a"s));
        FAIL() << "unknown code page accepted";
    } catch (const Posix::Error& error) {
        EXPECT_EQ(error.Code(), EINVAL);
    }
}

TEST(TextConversions, ASCIIHelpersRefuseHighBytes) {
    EXPECT_EQ(ASCIIToUTF16(ConstData("abc"s)), u"abc");
    EXPECT_EQ(ASCIIToUTF8(ConstData("abc"s)), "abc");
    EXPECT_THROW(ASCIIToUTF16(ConstData("ab\xE9"s)), InvalidTextEncoding);
    EXPECT_THROW(ASCIIToUTF8(ConstData("ab\xE9"s)), InvalidTextEncoding);
}

TEST(TextConversions, FormatNumberForLocale) {
    struct Case {
        const char* number;
        unsigned fractionDigits;
        const char* expected;
    };
    for (const Case& test : {
             Case{"1234567.891", 2, "1,234,567.89"},
             Case{"-1234", 0, "-1,234"},
             Case{"123", 0, "123"},
             Case{"1234", 2, "1,234.00"},
             Case{".5", 2, "0.50"},
             Case{"0.125", 2, "0.13"},
             Case{"999.996", 2, "1,000.00"},
             Case{"-999999.5", 0, "-1,000,000"},
             Case{"0012345", 0, "12,345"},
             Case{"-0.001", 2, "0.00"},
             Case{"5.", 1, "5.0"},
             Case{"", 2, ""},
             Case{"12a", 0, "12a"},
             Case{"+5", 0, "+5"},
             Case{"1e5", 0, "1e5"},
             Case{"-", 0, "-"},
         }) {
        EXPECT_EQ(FormatNumberForLocale(ConstData(std::string_view(test.number)), test.fractionDigits),
                  test.expected)
            << test.number;
    }
    EXPECT_THROW(FormatNumberForLocale(ConstData("1\xE9"s), 0), InvalidTextEncoding);
    EXPECT_EQ(FormatIntegerForLocale(0), "0");
    EXPECT_EQ(FormatIntegerForLocale(1048576), "1,048,576");
    EXPECT_EQ(FormatIntegerForLocale(18446744073709551615u), "18,446,744,073,709,551,615");
}
