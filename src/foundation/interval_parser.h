// Reading the text form of a time interval:
//
//   ["+" | "-"] (number ("day" | "days") ["," hours ":" minutes ":" seconds]
//               | hours ":" minutes ":" seconds)
//
// for example '2 days', '-1 day, 01:00:00' or '1.5 days'. Each number is decimal digits with an
// optional "." and fraction (no sign, no exponent); any of them may exceed its usual range ('90:00:00'
// is 90 hours). Words are matched without regard to case; blanks may stand between any two tokens.
// The result is in microseconds, truncated toward zero, and held at the largest or smallest signed
// 64-bit value when the interval lies beyond them.
//
// A text not of this form raises ParsingFailure; nothing partial is returned.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "foundation/time_parser.h"
#include "foundation/token_lexer.h"

std::int64_t ParseIntervalText(ConstData text);

// The streaming form: write the text in any number of chunks between Begin and End; End throws
// ParsingFailure for a text not of the form above, and Result() is the interval once End has
// returned. One thread at a time.
class IntervalLexer : public TokenLexer {
  public:
    std::int64_t Result() const { return m_result; }

  private:
    enum class State {
        Start,
        AfterSign,
        AfterFirstNumber,
        AfterDays,
        AfterDaysComma,
        AfterHours,
        AfterHoursColon,
        AfterMinutes,
        AfterMinutesColon,
        AfterSeconds,
    };
    enum class Token { Number, Day, Colon, Comma, Plus, Minus };

    void TextBegins() override;
    bool StartsNumeral(Byte c) const override;
    bool TakeNumeralByte(Byte c) override;
    void NumeralEnds() override;
    void WordToken(std::string_view lowerCasePrefix, std::size_t length) override;
    void CharacterToken(Byte c) override;
    void TextEnds() override;

    // Moves the grammar on by one token; throws ParsingFailure when the token cannot stand here.
    void Accept(Token token);

    State m_state = State::Start;
    double m_number = 0;
    bool m_numberHasPoint = false;
    double m_fractionScale = 1;  // 10 to the number of fraction digits read
    bool m_negative = false;
    double m_seconds = 0;    // the days and clock parts read so far
    double m_clockPart = 0;  // hours, then hours and minutes, in the unit of the next part
    std::int64_t m_result = 0;
};
