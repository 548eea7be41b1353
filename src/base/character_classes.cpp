#include "base/character_classes.h"

#include <algorithm>

namespace Ascii {
namespace {

// The classes are constant-initialised, so reading them needs no guard and no locale.
constexpr CharacterClass kDigits = CharacterClass().AddRange('0', '9');
constexpr CharacterClass kUpper = CharacterClass().AddRange('A', 'Z');
constexpr CharacterClass kLower = CharacterClass().AddRange('a', 'z');
constexpr CharacterClass kLetters = CharacterClass(kUpper).Add(kLower);
constexpr CharacterClass kGraphic = CharacterClass().AddRange(0x21, 0x7E);

constexpr CaseTable MakeCaseTable(Byte first, Byte last, int shift) {
    CaseTable table{};
    for (unsigned c = 0; c < 256; ++c) table[c] = static_cast<Byte>(c >= first && c <= last ? c + shift : c);
    return table;
}

constexpr CaseTable kLowerCaseTable = MakeCaseTable('A', 'Z', 'a' - 'A');
constexpr CaseTable kUpperCaseTable = MakeCaseTable('a', 'z', 'A' - 'a');

int CompareFolded(ConstData a, ConstData b, const CaseTable& table) {
    std::size_t common = std::min(a.Length(), b.Length());
    for (std::size_t i = 0; i < common; ++i) {
        int difference = int(table[a.begin[i]]) - int(table[b.begin[i]]);
        if (difference != 0) return difference;
    }
    if (a.Length() == b.Length()) return 0;
    return a.Length() < b.Length() ? -1 : 1;
}

}  // namespace

// clang-format off
const CharacterClass& Whitespace() { static constexpr auto c = CharacterClass().Add("\t\n\r "); return c; }
const CharacterClass& Blanks() { static constexpr auto c = CharacterClass().Add(" \t"); return c; }
const CharacterClass& Digits() { return kDigits; }
const CharacterClass& HexDigits() {
    static constexpr auto c = CharacterClass(kDigits).AddRange('A', 'F').AddRange('a', 'f');
    return c;
}
const CharacterClass& Letters() { return kLetters; }
const CharacterClass& UpperCaseLetters() { return kUpper; }
const CharacterClass& LowerCaseLetters() { return kLower; }
const CharacterClass& LettersAndDigits() { static constexpr auto c = CharacterClass(kLetters).Add(kDigits); return c; }
const CharacterClass& IdentifierStart() { static constexpr auto c = CharacterClass(kLetters).Add("_"); return c; }
const CharacterClass& IdentifierCharacters() {
    static constexpr auto c = CharacterClass(kLetters).Add(kDigits).Add("_");
    return c;
}
const CharacterClass& Punctuation() {
    static constexpr auto c =
        CharacterClass().AddRange(0x21, 0x2F).AddRange(0x3A, 0x40).AddRange(0x5B, 0x60).AddRange(0x7B, 0x7E);
    return c;
}
const CharacterClass& Graphic() { return kGraphic; }
const CharacterClass& Printable() { static constexpr auto c = CharacterClass().AddRange(0x20, 0x7E); return c; }
const CharacterClass& Control() { static constexpr auto c = CharacterClass().AddRange(0x00, 0x1F).AddRange(0x7F, 0x7F); return c; }
const CharacterClass& NonGraphic() { static constexpr auto c = kGraphic.Complement(); return c; }
const CharacterClass& HighBytes() { static constexpr auto c = CharacterClass().AddRange(0x80, 0xFF); return c; }
// clang-format on

const CaseTable& LowerCaseTable() {
    return kLowerCaseTable;
}
const CaseTable& UpperCaseTable() {
    return kUpperCaseTable;
}

bool EqualIgnoringCase(ConstData a, ConstData b) {
    return a.Length() == b.Length() && CompareFolded(a, b, kLowerCaseTable) == 0;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return EqualIgnoringCase(ConstData(a), ConstData(b));
}

bool IsBlank(Byte c) {
    return c == ' ' || c == '\t';
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<Byte>(text.front()))) text.remove_prefix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    text = SkipBlanks(text);
    while (!text.empty() && IsBlank(static_cast<Byte>(text.back()))) text.remove_suffix(1);
    return text;
}

ConstData SkipBlanks(ConstData text) {
    while (!text.IsEmpty() && IsBlank(*text.begin)) ++text.begin;
    return text;
}

ConstData TrimBlanks(ConstData text) {
    text = SkipBlanks(text);
    while (!text.IsEmpty() && IsBlank(text.end[-1])) --text.end;
    return text;
}

int CompareIgnoringCase(ConstData a, ConstData b) {
    return CompareFolded(a, b, kLowerCaseTable);
}

int CompareFoldingToUpper(ConstData a, ConstData b) {
    return CompareFolded(a, b, kUpperCaseTable);
}

void TranslateBytes(ConstData& input, OutputRange& output, const CaseTable& table) {
    std::size_t count = std::min(input.Length(), output.Room());
    for (std::size_t i = 0; i < count; ++i) output.begin[i] = table[input.begin[i]];
    input.begin += count;
    output.begin += count;
}

CaseLoweringFilter& CaseLoweringFilter::Instance() {
    static CaseLoweringFilter instance;
    return instance;
}

void CaseLoweringFilter::Filter(ConstData& input, OutputRange& output) {
    TranslateBytes(input, output, kLowerCaseTable);
}

CaseRaisingFilter& CaseRaisingFilter::Instance() {
    static CaseRaisingFilter instance;
    return instance;
}

void CaseRaisingFilter::Filter(ConstData& input, OutputRange& output) {
    TranslateBytes(input, output, kUpperCaseTable);
}

}  // namespace Ascii
