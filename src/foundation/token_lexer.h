// TokenLexer: the streaming front of the relay's small text languages (time stamps, intervals). It is
// a DataReceiver, so the text may arrive in chunks cut anywhere; it hands its subclass one token at a
// time, and the tokens do not depend on where the chunks were cut.
//
// Tokens: blanks (space, tab, CR, LF) only separate; a run of ASCII letters is a word (reported
// lower-cased); a numeral is a run of bytes that the subclass's numeral accepts; every other byte is
// a one-character token. The subclass throws its parse failure from the token callbacks; after a
// throw, Begin starts over. One thread at a time.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/data_pipeline.h"

class TokenLexer : public DataReceiver {
  public:
    using DataReceiver::Receive;
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  protected:
    // Words are reported by their first kWordPrefixLength bytes and their full length.
    static constexpr std::size_t kWordPrefixLength = 8;

    virtual void TextBegins() = 0;
    // Whether the byte begins a numeral.
    virtual bool StartsNumeral(Byte c) const = 0;
    // Offers the next byte to the numeral being read (the first byte too); false when the byte does
    // not belong to it, which ends the numeral, and the byte is then read as the start of a token.
    virtual bool TakeNumeralByte(Byte c) = 0;
    virtual void NumeralEnds() = 0;
    virtual void WordToken(std::string_view lowerCasePrefix, std::size_t length) = 0;
    virtual void CharacterToken(Byte c) = 0;
    virtual void TextEnds() = 0;

  private:
    enum class Run { None, Word, Numeral };

    void Take(Byte c);
    void EndRun();

    Run m_run = Run::None;
    char m_word[kWordPrefixLength];
    std::size_t m_wordLength = 0;
};
