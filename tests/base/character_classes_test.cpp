#include "base/character_classes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {
ConstData Text(const char* s) {
    return ConstDataOfCString(s);
}

bool Between(unsigned c, unsigned first, unsigned last) {
    return c >= first && c <= last;
}
}  // namespace

TEST(CharacterClasses, MembershipOverAllBytes) {
    struct Case {
        const char* name;
        const CharacterClass& members;
        std::function<bool(unsigned)> expected;
    };
    auto digit = [](unsigned c) { return Between(c, '0', '9'); };
    auto upper = [](unsigned c) { return Between(c, 'A', 'Z'); };
    auto lower = [](unsigned c) { return Between(c, 'a', 'z'); };
    auto letter = [&](unsigned c) { return upper(c) || lower(c); };
    const Case cases[] = {
        {"Whitespace", Ascii::Whitespace(),
         [](unsigned c) { return c == 9 || c == 10 || c == 13 || c == 32; }},
        {"Blanks", Ascii::Blanks(), [](unsigned c) { return c == 9 || c == 32; }},
        {"Digits", Ascii::Digits(), digit},
        {"HexDigits", Ascii::HexDigits(),
         [&](unsigned c) { return digit(c) || Between(c, 'A', 'F') || Between(c, 'a', 'f'); }},
        {"Letters", Ascii::Letters(), letter},
        {"UpperCaseLetters", Ascii::UpperCaseLetters(), upper},
        {"LowerCaseLetters", Ascii::LowerCaseLetters(), lower},
        {"LettersAndDigits", Ascii::LettersAndDigits(), [&](unsigned c) { return letter(c) || digit(c); }},
        {"IdentifierStart", Ascii::IdentifierStart(), [&](unsigned c) { return letter(c) || c == '_'; }},
        {"IdentifierCharacters", Ascii::IdentifierCharacters(),
         [&](unsigned c) { return letter(c) || digit(c) || c == '_'; }},
        {"Punctuation", Ascii::Punctuation(),
         [](unsigned c) {
             return Between(c, 0x21, 0x2F) || Between(c, 0x3A, 0x40) || Between(c, 0x5B, 0x60) ||
                    Between(c, 0x7B, 0x7E);
         }},
        {"Graphic", Ascii::Graphic(), [](unsigned c) { return Between(c, 0x21, 0x7E); }},
        {"Printable", Ascii::Printable(), [](unsigned c) { return Between(c, 0x20, 0x7E); }},
        {"Control", Ascii::Control(), [](unsigned c) { return c <= 0x1F || c == 0x7F; }},
        {"NonGraphic", Ascii::NonGraphic(), [](unsigned c) { return c <= 0x20 || c >= 0x7F; }},
        {"HighBytes", Ascii::HighBytes(), [](unsigned c) { return c >= 0x80; }},
    };
    for (const Case& k : cases)
        for (unsigned c = 0; c < 256; ++c)
            EXPECT_EQ(k.members.Contains(static_cast<unsigned char>(c)), k.expected(c))
                << k.name << " byte " << c;

    EXPECT_TRUE(Ascii::HexDigits().Contains('f'));
    EXPECT_FALSE(Ascii::HexDigits().Contains('g'));
    EXPECT_FALSE(Ascii::Whitespace().Contains(0x0B));
    EXPECT_FALSE(Ascii::Whitespace().Contains(0x0C));
}

TEST(CharacterClasses, BuildersMakeOwnSets) {
    constexpr CharacterClass token = CharacterClass().AddRange('a', 'c').Add("-_");
    EXPECT_TRUE(token.Contains('b'));
    EXPECT_TRUE(token.Contains('_'));
    EXPECT_FALSE(token.Contains('d'));
    EXPECT_TRUE(token.Complement().Contains('d'));
    EXPECT_TRUE(CharacterClass().AddRange(0, 255).Contains(255));
}

TEST(CaseFolding, TablesFoldOnlyAsciiLetters) {
    for (unsigned c = 0; c < 256; ++c) {
        Byte lower = Ascii::LowerCaseTable()[c], upper = Ascii::UpperCaseTable()[c];
        EXPECT_EQ(lower, Between(c, 'A', 'Z') ? c + 32 : c);
        EXPECT_EQ(upper, Between(c, 'a', 'z') ? c - 32 : c);
    }
}

TEST(CaseFolding, ComparisonsAndTheirOrder) {
    EXPECT_TRUE(Ascii::EqualIgnoringCase(Text("Content-Type"), Text("content-type")));
    EXPECT_FALSE(Ascii::EqualIgnoringCase(Text("Content-Type"), Text("content-typ")));
    EXPECT_FALSE(Ascii::EqualIgnoringCase(Text("\xC4"), Text("\xE4")));

    struct Case {
        const char* a;
        const char* b;
        int lowerSign;  // sign of CompareIgnoringCase
        int upperSign;  // sign of CompareFoldingToUpper
    };
    const Case cases[] = {
        {"a_", "AB", -1, 1}, {"abc", "ABCD", -1, -1}, {"ABCD", "abc", 1, 1}, {"aBc", "AbC", 0, 0},
        {"[", "z", -1, 1},   {"", "", 0, 0},          {"\x80", "z", 1, 1},   {"b", "A", 1, 1},
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(Ascii::CompareIgnoringCase(Text(c.a), Text(c.b))), c.lowerSign)
            << c.a << " vs " << c.b;
        EXPECT_EQ(sign(Ascii::CompareFoldingToUpper(Text(c.a), Text(c.b))), c.upperSign)
            << c.a << " vs " << c.b;
    }
    EXPECT_EQ(Ascii::CompareIgnoringCase(Text("abc"), Text("ABCD")), -1);
    EXPECT_EQ(Ascii::CompareIgnoringCase(Text("a_"), Text("AB")), '_' - 'b');
}

TEST(CaseFilters, TranslateWhatFitsAndLeaveTheRest) {
    char out[16];
    struct Case {
        DataFilter& filter;
        const char* input;
        std::size_t room;
        const char* output;
        const char* left;
    };
    const Case cases[] = {
        {Ascii::CaseLoweringFilter::Instance(), "Hello", 16, "hello", ""},
        {Ascii::CaseRaisingFilter::Instance(), "Hello", 16, "HELLO", ""},
        {Ascii::CaseLoweringFilter::Instance(), "Hello", 3, "hel", "lo"},
        {Ascii::CaseLoweringFilter::Instance(), "\x80\xC4\xFF", 16, "\x80\xC4\xFF", ""},
        {Ascii::CaseRaisingFilter::Instance(), "\x80\xE4\xFF", 16, "\x80\xE4\xFF", ""},
        {Ascii::CaseRaisingFilter::Instance(), "abc", 0, "", "abc"},
    };
    for (const Case& c : cases) {
        ConstData input = Text(c.input);
        OutputRange output(out, out + c.room);
        c.filter.Filter(input, output);
        EXPECT_EQ(std::string(out, reinterpret_cast<char*>(output.begin)), c.output);
        EXPECT_EQ(input.View(), c.left);
        EXPECT_TRUE(c.filter.IsComplete());
    }
    EXPECT_EQ(&Ascii::CaseLoweringFilter::Instance(), &Ascii::CaseLoweringFilter::Instance());
}

// Only space and tab are blanks: a line break or a high byte stays where it is.
TEST(Blanks, SkippedAndTrimmedAtTheEdgesOnly) {
    struct Case {
        std::string_view text, skipped, trimmed;
    } cases[] = {
        {"", "", ""},
        {" \t ", "", ""},
        {" \ta b\t ", "a b\t ", "a b"},
        {"\r\n x", "\r\n x", "\r\n x"},
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ascii::SkipBlanks(c.text), c.skipped);
        EXPECT_EQ(Ascii::TrimBlanks(c.text), c.trimmed);
        EXPECT_EQ(Ascii::SkipBlanks(ConstData(c.text)).View(), c.skipped);
        EXPECT_EQ(Ascii::TrimBlanks(ConstData(c.text)).View(), c.trimmed);
    }
    EXPECT_TRUE(Ascii::EqualIgnoringCase(std::string_view("Ipv6ThenIpv4"), std::string_view("IPV6THENIPV4")));
    EXPECT_FALSE(Ascii::EqualIgnoringCase(std::string_view("http"), std::string_view("https")));
}
