#include "foundation/time_parser.h"

#include <string_view>

#include "base/character_classes.h"

namespace {

// A numeral of more digits than this is no part of a time stamp.
constexpr int kLongestTimeNumeral = 4;
// A word of more letters than this is never one of the time words.
constexpr std::size_t kLongestTimeWord = 3;

struct ZoneName {
    std::string_view name;
    std::int32_t eastSeconds;
};
constexpr ZoneName kZoneNames[] = {
    {"ut", 0},        {"gmt", 0},       {"est", -18'000}, {"edt", -14'400}, {"cst", -21'600},
    {"cdt", -18'000}, {"mst", -25'200}, {"mdt", -21'600}, {"pst", -28'800}, {"pdt", -25'200},
};

// The index of the name in the table whose names are compared ignoring case, or -1.
template <std::size_t N>
int FindName(std::string_view lowerCaseWord, const char* const (&names)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (Ascii::EqualIgnoringCase(ConstData(lowerCaseWord), ConstData(std::string_view(names[i]))))
            return static_cast<int>(i);
    return -1;
}

bool IsMilitaryZoneLetter(std::string_view word) {
    return word.size() == 1 && word[0] != 'j';
}

}  // namespace

CalendarTime ParseTimeText(ConstData text) {
    TimeLexer lexer;
    lexer.Begin();
    lexer.Receive(text);
    lexer.End();
    return lexer.Result();
}

void TimeLexer::TextBegins() {
    m_state = State::Start;
    m_numeral = 0;
    m_numeralDigits = 0;
    m_weekday.reset();
    m_zoneSeconds.reset();
    m_zoneSign = 1;
    m_result = CalendarTime();
}

bool TimeLexer::StartsNumeral(Byte c) const {
    return Ascii::Digits().Contains(c);
}

bool TimeLexer::TakeNumeralByte(Byte c) {
    if (!Ascii::Digits().Contains(c)) return false;
    if (m_numeralDigits == kLongestTimeNumeral) throw ParsingFailure();
    m_numeral = m_numeral * 10 + (c - '0');
    ++m_numeralDigits;
    return true;
}

void TimeLexer::NumeralEnds() {
    Accept(Token::Numeral, m_numeral);
    m_numeral = 0;
    m_numeralDigits = 0;
}

void TimeLexer::WordToken(std::string_view word, std::size_t length) {
    if (length > kLongestTimeWord) throw ParsingFailure();
    int found = FindName(word, kWeekdayNames);
    if (found >= 0) return Accept(Token::Weekday, found);
    found = FindName(word, kShortMonthNames);
    if (found >= 1) return Accept(Token::Month, found);
    for (const ZoneName& zone : kZoneNames)
        if (zone.name == word) return Accept(Token::ZoneName, zone.eastSeconds);
    if (IsMilitaryZoneLetter(word)) return Accept(Token::MilitaryZone, 0);
    throw ParsingFailure();
}

void TimeLexer::CharacterToken(Byte c) {
    switch (c) {
        case ',':
            return Accept(Token::Comma, 0);
        case ':':
            return Accept(Token::Colon, 0);
        case '+':
            return Accept(Token::Plus, 0);
        case '-':
            return Accept(Token::Minus, 0);
        default:
            throw ParsingFailure();
    }
}

void TimeLexer::Accept(Token token, int value) {
    const bool numeral = token == Token::Numeral;
    const int digits = numeral ? m_numeralDigits : 0;
    CalendarDate& date = m_result.date;
    TimeOfDay& time = m_result.time;
    switch (m_state) {
        case State::Start:
            if (token == Token::Weekday) {
                m_weekday = value;
                m_state = State::AfterWeekday;
                return;
            }
            [[fallthrough]];
        case State::AfterWeekdayComma:
            if (numeral && (digits == 1 || digits == 2)) {
                date.day = static_cast<std::uint8_t>(value);
                m_state = State::AfterDay;
                return;
            }
            break;
        case State::AfterWeekday:
            if (token == Token::Comma) {
                m_state = State::AfterWeekdayComma;
                return;
            }
            break;
        case State::AfterDay:
            if (token == Token::Month) {
                date.month = static_cast<std::uint32_t>(value);
                m_state = State::AfterMonth;
                return;
            }
            break;
        case State::AfterMonth:
            if (numeral && digits >= 2) {
                date.year = static_cast<std::uint32_t>(digits == 2 ? value + 1900 : value);
                m_state = State::AfterYear;
                return;
            }
            break;
        case State::AfterYear:
        case State::AfterHourColon:
        case State::AfterMinuteColon:
            if (numeral && digits == 2) {
                if (m_state == State::AfterYear) time.hour = static_cast<std::uint8_t>(value);
                if (m_state == State::AfterHourColon) time.minute = static_cast<std::uint8_t>(value);
                if (m_state == State::AfterMinuteColon) time.second = static_cast<std::uint8_t>(value);
                m_state = m_state == State::AfterYear        ? State::AfterHour
                          : m_state == State::AfterHourColon ? State::AfterMinute
                                                             : State::AfterSecond;
                return;
            }
            break;
        case State::AfterHour:
            if (token == Token::Colon) {
                m_state = State::AfterHourColon;
                return;
            }
            break;
        case State::AfterMinute:
            if (token == Token::Colon) {
                m_state = State::AfterMinuteColon;
                return;
            }
            [[fallthrough]];
        case State::AfterSecond:
            return AcceptZoneOrEnd(token, value);
        case State::AfterZoneSign:
            if (numeral && digits == 4) {
                m_zoneSeconds = m_zoneSign * ((value / 100) * 3600 + (value % 100) * 60);
                m_state = State::Complete;
                return;
            }
            break;
        case State::Complete:
            break;
    }
    throw ParsingFailure();
}

void TimeLexer::AcceptZoneOrEnd(Token token, int value) {
    switch (token) {
        case Token::Plus:
        case Token::Minus:
            m_zoneSign = token == Token::Minus ? -1 : 1;
            m_state = State::AfterZoneSign;
            return;
        case Token::ZoneName:
            m_zoneSeconds = value;
            m_state = State::Complete;
            return;
        case Token::MilitaryZone:  // read, but it names no zone
            m_state = State::Complete;
            return;
        default:
            throw ParsingFailure();
    }
}

void TimeLexer::TextEnds() {
    if (m_state != State::AfterMinute && m_state != State::AfterSecond && m_state != State::Complete)
        throw ParsingFailure();
    Check();
    m_result.zone = TimeZoneOffset(*m_zoneSeconds);
}

void TimeLexer::Check() const {
    if (!m_result.date.IsValid()) throw NoSuchDate();
    if (!m_result.time.IsValid()) throw NoSuchTimeOfDay();
    if (m_weekday && *m_weekday != m_result.date.DayOfWeek()) throw WrongDayOfWeek();
    if (!m_zoneSeconds) throw NoTimeZone();
}
