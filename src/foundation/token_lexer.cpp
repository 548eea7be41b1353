#include "foundation/token_lexer.h"

#include <algorithm>

#include "base/character_classes.h"

void TokenLexer::Begin() {
    m_run = Run::None;
    m_wordLength = 0;
    TextBegins();
}

void TokenLexer::Receive(const Byte* begin, const Byte* end) {
    for (const Byte* p = begin; p != end; ++p) Take(*p);
}

void TokenLexer::End() {
    EndRun();
    TextEnds();
}

void TokenLexer::Take(Byte c) {
    if (m_run == Run::Numeral && TakeNumeralByte(c)) return;
    if (m_run == Run::Word && Ascii::Letters().Contains(c)) {
        if (m_wordLength < kWordPrefixLength)
            m_word[m_wordLength] = static_cast<char>(Ascii::LowerCaseTable()[c]);
        ++m_wordLength;
        return;
    }
    EndRun();
    if (Ascii::Whitespace().Contains(c)) return;
    if (Ascii::Letters().Contains(c)) {
        m_run = Run::Word;
        m_word[0] = static_cast<char>(Ascii::LowerCaseTable()[c]);
        m_wordLength = 1;
    } else if (StartsNumeral(c)) {
        m_run = Run::Numeral;
        TakeNumeralByte(c);
    } else {
        CharacterToken(c);
    }
}

void TokenLexer::EndRun() {
    const Run ended = m_run;
    m_run = Run::None;
    if (ended == Run::Numeral) NumeralEnds();
    if (ended == Run::Word)
        WordToken(std::string_view(m_word, std::min(m_wordLength, kWordPrefixLength)), m_wordLength);
}
