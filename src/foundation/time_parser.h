// Reading the text form of a time stamp, as HTTP headers and stored state carry it:
//
//   [weekday ","] day month year hour ":" minute [":" second] [zone]
//
// for example 'Thu, 01 Jan 1970 00:00:00 +0000' or '1 Jan 70 10:00 EST'. Words are matched without
// regard to case. The day has 1 or 2 digits; the year 2 (read as 19xx), 3 or 4 digits; hour, minute
// and second 2 digits each. The zone is "+" or "-" and 4 digits (hhmm), or one of "UT", "GMT", "EST",
// "EDT", "CST", "CDT", "MST", "MDT", "PST", "PDT". A one-letter military zone is read but names no
// zone. Blanks (space, tab, CR, LF) may stand between any two tokens and are needed only between
// two words or two numbers.
//
// Failures: ParsingFailure (the text is not of this form), then, for a text of this form, in this
// order: NoSuchDate, NoSuchTimeOfDay (second 60 included), WrongDayOfWeek (the weekday does not
// match the date), NoTimeZone. Nothing partial is returned.
#pragma once

#include <optional>

#include "base/const_data.h"
#include "base/exceptions.h"
#include "foundation/calendar_time.h"
#include "foundation/token_lexer.h"

class ParsingFailure : public DebuggableException {};
class NoSuchDate : public DebuggableException {};
class NoSuchTimeOfDay : public DebuggableException {};
class WrongDayOfWeek : public DebuggableException {};
class NoTimeZone : public DebuggableException {};

// The calendar time the text names, in the zone it names.
CalendarTime ParseTimeText(ConstData text);

// The streaming form: write the text in any number of chunks between Begin and End; End throws the
// failures above, and Result() is the time once End has returned. One thread at a time.
class TimeLexer : public TokenLexer {
  public:
    const CalendarTime& Result() const { return m_result; }

  private:
    enum class State {
        Start,
        AfterWeekday,
        AfterWeekdayComma,
        AfterDay,
        AfterMonth,
        AfterYear,
        AfterHour,
        AfterHourColon,
        AfterMinute,
        AfterMinuteColon,
        AfterSecond,
        AfterZoneSign,
        Complete,
    };
    enum class Token { Weekday, Month, ZoneName, MilitaryZone, Numeral, Comma, Colon, Plus, Minus };

    void TextBegins() override;
    bool StartsNumeral(Byte c) const override;
    bool TakeNumeralByte(Byte c) override;
    void NumeralEnds() override;
    void WordToken(std::string_view lowerCasePrefix, std::size_t length) override;
    void CharacterToken(Byte c) override;
    void TextEnds() override;

    // Moves the grammar on by one token whose value is `value`; throws ParsingFailure when the token
    // cannot stand here.
    void Accept(Token token, int value);
    void AcceptZoneOrEnd(Token token, int value);
    void Check() const;

    State m_state = State::Start;
    int m_numeral = 0;
    int m_numeralDigits = 0;
    std::optional<int> m_weekday;
    std::optional<std::int32_t> m_zoneSeconds;
    int m_zoneSign = 1;
    CalendarTime m_result;
};
