#include "foundation/text_ranges.h"

#include <gtest/gtest.h>

TEST(TrimWhitespaceRange, StripsAsciiWhitespaceOnly) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"  a b \t", "a b"},        {"\r\n\t ", ""},   {"", ""}, {"x", "x"},
        {"\xa0x\xa0", "\xa0x\xa0"}, {"\vx\f", "\vx\f"}};
    for (const auto& [text, trimmed] : cases) EXPECT_EQ(TrimWhitespaceRange(ConstData(text)).View(), trimmed);
}

TEST(ParseDecimal64, SkipsSpacesAndStopsAtTwoToThe32) {
    const std::pair<std::string_view, std::uint64_t> cases[] = {
        {"123", 123},
        {" 1 000 ", 1000},
        {"", 0},
        {"12a", 0},
        {"-1", 0},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967296u},
        {"99999999999999999999999", 9999999999u},  // stops once past 2^32
        {"4294967296x", 4294967296u},              // the rest is not looked at
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseDecimal64(ConstData(text)), value) << text;
}
