#include "formats/url_codec.h"

#include <gtest/gtest.h>

#include "foundation/endian.h"
#include "support/filter_runs.h"

TEST(URLCharacterSets, Members) {
    struct Case {
        const CharacterClass& set;
        std::string_view members;
        std::string_view others;
    };
    const Case cases[] = {
        {URLSafeCharacters(), "AZaz09-._~", "!$%&'()*+,;=:@/? #\x7f\x80\xff"},
        {URLPathSegmentCharacters(), "AZaz09-._~!$%&'()*+,;=:@", "/? #\"<>\\^`{|}\x80\xff"},
        {URLPathNoColonCharacters(), "AZaz09-._~!$%&'()*+,;=@", ":/? #\x80\xff"},
    };
    for (const Case& c : cases) {
        for (char m : c.members) EXPECT_TRUE(c.set.Contains(static_cast<Byte>(m))) << m;
        for (char o : c.others) EXPECT_FALSE(c.set.Contains(static_cast<Byte>(o))) << o;
    }
    EXPECT_TRUE(AllCharactersIn(ConstData(), URLSafeCharacters()));
    EXPECT_TRUE(AllCharactersIn(ConstData(std::string_view("a-b")), URLSafeCharacters()));
    EXPECT_FALSE(AllCharactersIn(ConstData(std::string_view("a b")), URLSafeCharacters()));
}

TEST(URLEncoder, EscapesInLowerCaseHoweverFed) {
    struct Case {
        const CharacterClass& safe;
        std::string text;
        std::string encoded;
    };
    const Case cases[] = {
        {URLSafeCharacters(), "a b/c~", "a%20b%2fc~"},
        {URLSafeCharacters(), "\xc3\xa9", "%c3%a9"},
        {URLSafeCharacters(), "", ""},
        {URLSafeCharacters(), std::string("\x00+", 2), "%00%2b"},
        {URLPathSegmentCharacters(), "%41/a:b", "%41%2fa:b"},
        {URLPathNoColonCharacters(), "a:b@c", "a%3ab@c"},
    };
    for (const Case& c : cases) {
        ExpectSameOutputHoweverFed([&] { return std::make_unique<URLEncoder>(c.safe); }, c.text, c.encoded);
        EXPECT_EQ(URLEncodeText(ConstData(std::string_view(c.text)), c.safe), c.encoded);
    }
}

TEST(URLDecoder, PassesInvalidEscapesThroughHoweverFed) {
    const std::pair<std::string, std::string> cases[] = {
        {"%41%4a%zz+", "AJ%zz+"}, {"%4z", "%4z"}, {"%%41", "%A"},   {"%c3%A9", "\xc3\xa9"},
        {"a%4", "a%4"},           {"a%", "a%"},   {"%2f%2F", "//"}, {"", ""},
        {"100%", "100%"},         {"%%", "%%"},   {"%4%41", "%4A"},
    };
    for (const auto& [text, decoded] : cases)
        ExpectSameOutputHoweverFed([] { return std::make_unique<URLDecoder>(); }, text, decoded);
}

TEST(URLDecodeText, DropsAnEscapeCutOffByTheEnd) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"%41%4a%zz+", "AJ%zz+"}, {"a%4", "a"}, {"a%", "a"}, {"%4z", "%4z"}, {"", ""}};
    for (const auto& [text, decoded] : cases) EXPECT_EQ(URLDecodeText(ConstData(text)), decoded) << text;
}

TEST(URLDecoder, FinishRefusesAFullOutput) {
    URLDecoder decoder;
    EXPECT_EQ(RunFilter(decoder, {"a%"}, 4), "a%");
    ConstData input(std::string_view("%"));
    Byte buffer[1];
    OutputRange output(buffer, sizeof buffer);
    decoder.Filter(input, output);
    OutputRange full(buffer, buffer);
    EXPECT_THROW(decoder.Finish(full), DataOverflow);
    EXPECT_FALSE(decoder.IsComplete());
}

TEST(SplitAtSemicolon, KeepsTheSemicolonWithTheRest) {
    const std::tuple<std::string_view, std::string_view, std::string_view> cases[] = {
        {"path;type=a", "path", ";type=a"}, {"path", "path", ""}, {";x", "", ";x"}, {"a;b;c", "a", ";b;c"}};
    for (const auto& [text, before, rest] : cases) {
        auto [first, second] = SplitAtSemicolon(ConstData(text));
        EXPECT_EQ(first.View(), before);
        EXPECT_EQ(second.View(), rest);
    }
}
