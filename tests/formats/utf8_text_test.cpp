#include "formats/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/xml_escaping.h"

using namespace std::string_literals;

namespace {

const std::string kFFFD = kUTF8ReplacementCharacter;

std::string Safe(const std::string& text) {
    return ReplaceUnsafeCharacters(ConstData(std::string_view(text)));
}

}  // namespace

TEST(ReplaceUnsafeCharacters, KeepsWellFormedTextAndReplacesWhatAParserRefuses) {
    const struct {
        std::string text;
        std::string safe;
    } cases[] = {
        {"", ""},
        {"http://site/a b?x=1&y=<2>", "http://site/a b?x=1&y=<2>"},
        {"tab\tline\ncr\r", "tab\tline\ncr\r"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},
        // Controls: C0 other than TAB, LF and CR, DEL, and C1.
        {"url=\x01", "url=" + kFFFD},
        {"a\0b"s, "a" + kFFFD + "b"},
        {"\x1B[31m", kFFFD + "[31m"},
        {"\x7F", kFFFD},
        {"\xC2\x85|\xC2\x9F|\xC2\xA0", kFFFD + "|" + kFFFD + "|\xC2\xA0"},
        // Noncharacters that XML cannot hold; U+FFFD itself and U+FFFC stay.
        {"\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBC", kFFFD + kFFFD + "\xEF\xBF\xBC"},
        // Malformed: each byte that begins no well-formed sequence is one replacement.
        {"a\xFF"
         "b",
         "a" + kFFFD + "b"},
        {"\xC0\xAF", kFFFD + kFFFD},
        {"\xED\xA0\x80", kFFFD + kFFFD + kFFFD},
        {"ab\xE2\x82", "ab" + kFFFD + kFFFD},
        {"\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
    };
    for (const auto& test : cases) EXPECT_EQ(Safe(test.text), test.safe) << test.text;
}

TEST(EscapeHTMLText, LeavesNoMarkupAndNoWayOutOfAQuotedAttribute) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"plain", "plain"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"\"><script>", "&quot;&gt;&lt;script&gt;"},
        {"a&b", "a&amp;b"},
        {"'single'", "'single'"},
        {"x\x01y", "x" + kFFFD + "y"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(EscapeHTMLText(ConstData(std::string_view(test.text))), test.escaped) << test.text;
}
