#include "foundation/interval_parser.h"

#include <limits>

#include "base/character_classes.h"

namespace {

// A word of more letters than this is never one of the interval words.
constexpr std::size_t kLongestIntervalWord = 4;

std::int64_t SecondsToMicroseconds(double seconds) {
    const double microseconds = seconds * 1'000'000.0;
    // 2^63 is exact as a double; the largest signed 64-bit value is not, and converting a double at
    // or beyond either end would be undefined.
    constexpr double kTwoTo63 = 9'223'372'036'854'775'808.0;
    if (microseconds >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
    if (microseconds <= -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(microseconds);  // truncates toward zero
}

}  // namespace

std::int64_t ParseIntervalText(ConstData text) {
    IntervalLexer lexer;
    lexer.Begin();
    lexer.Receive(text);
    lexer.End();
    return lexer.Result();
}

void IntervalLexer::TextBegins() {
    m_state = State::Start;
    m_number = 0;
    m_numberHasPoint = false;
    m_fractionScale = 1;
    m_negative = false;
    m_seconds = 0;
    m_clockPart = 0;
    m_result = 0;
}

bool IntervalLexer::StartsNumeral(Byte c) const {
    return Ascii::Digits().Contains(c) || c == '.';
}

bool IntervalLexer::TakeNumeralByte(Byte c) {
    if (c == '.') {
        if (m_numberHasPoint) return false;  // a second point starts the next number
        m_numberHasPoint = true;
        return true;
    }
    if (!Ascii::Digits().Contains(c)) return false;
    const int digit = c - '0';
    if (m_numberHasPoint) {
        // Dividing by an exact power of ten (up to 10^22) rounds once, where adding digit x 0.1^k
        // would carry the error of 0.1 into every digit.
        m_fractionScale *= 10;
        m_number += digit / m_fractionScale;
    } else {
        m_number = m_number * 10 + digit;
    }
    return true;
}

void IntervalLexer::NumeralEnds() {
    Accept(Token::Number);
    m_number = 0;
    m_numberHasPoint = false;
    m_fractionScale = 1;
}

void IntervalLexer::WordToken(std::string_view word, std::size_t length) {
    if (length <= kLongestIntervalWord && (word == "day" || word == "days")) return Accept(Token::Day);
    throw ParsingFailure();
}

void IntervalLexer::CharacterToken(Byte c) {
    switch (c) {
        case ':':
            return Accept(Token::Colon);
        case ',':
            return Accept(Token::Comma);
        case '+':
            return Accept(Token::Plus);
        case '-':
            return Accept(Token::Minus);
        default:
            throw ParsingFailure();
    }
}

void IntervalLexer::Accept(Token token) {
    switch (m_state) {
        case State::Start:
            if (token == Token::Plus || token == Token::Minus) {
                m_negative = token == Token::Minus;
                m_state = State::AfterSign;
                return;
            }
            [[fallthrough]];
        case State::AfterSign:
            if (token == Token::Number) {
                m_clockPart = m_number;
                m_state = State::AfterFirstNumber;
                return;
            }
            break;
        case State::AfterFirstNumber:
            if (token == Token::Day) {
                m_seconds = m_clockPart * 86'400;
                m_clockPart = 0;
                m_state = State::AfterDays;
                return;
            }
            if (token == Token::Colon) {
                m_state = State::AfterHoursColon;
                return;
            }
            break;
        case State::AfterDays:
            if (token == Token::Comma) {
                m_state = State::AfterDaysComma;
                return;
            }
            break;
        case State::AfterDaysComma:
            if (token == Token::Number) {
                m_clockPart = m_number;
                m_state = State::AfterHours;
                return;
            }
            break;
        case State::AfterHours:
            if (token == Token::Colon) {
                m_state = State::AfterHoursColon;
                return;
            }
            break;
        case State::AfterHoursColon:
            if (token == Token::Number) {
                m_clockPart = m_clockPart * 60 + m_number;
                m_state = State::AfterMinutes;
                return;
            }
            break;
        case State::AfterMinutes:
            if (token == Token::Colon) {
                m_state = State::AfterMinutesColon;
                return;
            }
            break;
        case State::AfterMinutesColon:
            if (token == Token::Number) {
                m_seconds += m_clockPart * 60 + m_number;
                m_state = State::AfterSeconds;
                return;
            }
            break;
        case State::AfterSeconds:
            break;
    }
    throw ParsingFailure();
}

void IntervalLexer::TextEnds() {
    if (m_state != State::AfterDays && m_state != State::AfterSeconds) throw ParsingFailure();
    m_result = SecondsToMicroseconds(m_negative ? -m_seconds : m_seconds);
}
