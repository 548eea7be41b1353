// ASCII character classes and case folding, independent of the C library's locale.
//
// A CharacterClass is a set of bytes; the fixed classes of namespace Ascii are built on first use and
// never change, so they may be read from any thread. The comparisons fold plain ASCII letters only;
// bytes 0x80-0xFF are never folded. The two case filters are stateless DataFilters with one shared
// instance each.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/const_data.h"
#include "base/data_pipeline.h"

class CharacterClass {
  public:
    constexpr CharacterClass() = default;

    constexpr bool Contains(unsigned char c) const { return (m_words[c / 32] >> (c % 32)) & 1u; }

    // Builders, for the fixed classes and for a parser's own set (for example header-token bytes).
    constexpr CharacterClass& AddRange(unsigned char first, unsigned char last) {
        for (unsigned c = first; c <= last; ++c) m_words[c / 32] |= 1u << (c % 32);
        return *this;
    }
    // Adds each byte of a NUL-terminated text.
    constexpr CharacterClass& Add(const char* members) {
        for (; *members; ++members)
            AddRange(static_cast<unsigned char>(*members), static_cast<unsigned char>(*members));
        return *this;
    }
    constexpr CharacterClass& Add(const CharacterClass& other) {
        for (int i = 0; i < 8; ++i) m_words[i] |= other.m_words[i];
        return *this;
    }
    constexpr CharacterClass Complement() const {
        CharacterClass result;
        for (int i = 0; i < 8; ++i) result.m_words[i] = ~m_words[i];
        return result;
    }

  private:
    std::uint32_t m_words[8] = {};
};

namespace Ascii {

const CharacterClass& Whitespace();        // tab, LF, CR, space
const CharacterClass& Blanks();            // space, tab
const CharacterClass& Digits();            // 0-9
const CharacterClass& HexDigits();         // 0-9, A-F, a-f
const CharacterClass& Letters();           // A-Z, a-z
const CharacterClass& UpperCaseLetters();  // A-Z
const CharacterClass& LowerCaseLetters();  // a-z
const CharacterClass& LettersAndDigits();
const CharacterClass& IdentifierStart();       // letters and "_"
const CharacterClass& IdentifierCharacters();  // letters, digits and "_"
const CharacterClass& Punctuation();           // 0x21-0x2F, 0x3A-0x40, 0x5B-0x60, 0x7B-0x7E
const CharacterClass& Graphic();               // 0x21-0x7E
const CharacterClass& Printable();             // 0x20-0x7E
const CharacterClass& Control();               // 0x00-0x1F, 0x7F
const CharacterClass& NonGraphic();            // everything outside Graphic
const CharacterClass& HighBytes();             // 0x80-0xFF

// Space or tab, the blanks of header fields, challenges and setting lines.
bool IsBlank(Byte c);
// The text without the blanks at its front; at its front and its end.
std::string_view SkipBlanks(std::string_view text);
std::string_view TrimBlanks(std::string_view text);
ConstData SkipBlanks(ConstData text);
ConstData TrimBlanks(ConstData text);

using CaseTable = std::array<Byte, 256>;
// A-Z to a-z; every other byte to itself.
const CaseTable& LowerCaseTable();
// a-z to A-Z; every other byte to itself.
const CaseTable& UpperCaseTable();

// False when the lengths differ; else whether the bytes are equal after lower-casing.
bool EqualIgnoringCase(ConstData a, ConstData b);
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// Three-way comparison after lower-casing: the first differing pair gives (a's byte - b's byte); a
// proper prefix gives -1 (a shorter) or 1 (a longer). "_" and the other bytes between "Z" and "a" sort
// before the letters.
int CompareIgnoringCase(ConstData a, ConstData b);
// The same after upper-casing: those six bytes sort after the letters.
int CompareFoldingToUpper(ConstData a, ConstData b);

// Moves bytes through `table` from the front of the input to the front of the output until either
// is exhausted, advancing both.
void TranslateBytes(ConstData& input, OutputRange& output, const CaseTable& table);

// Lower-cases ASCII letters; input that does not fit the output stays in the input.
class CaseLoweringFilter : public DataFilter {
  public:
    static CaseLoweringFilter& Instance();
    void Filter(ConstData& input, OutputRange& output) override;
};

// Upper-cases ASCII letters; input that does not fit the output stays in the input.
class CaseRaisingFilter : public DataFilter {
  public:
    static CaseRaisingFilter& Instance();
    void Filter(ConstData& input, OutputRange& output) override;
};

}  // namespace Ascii
