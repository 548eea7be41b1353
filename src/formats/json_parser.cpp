#include "formats/json_parser.h"

#include <algorithm>

#include "base/character_classes.h"
#include "base/data_pipeline.h"
#include "base/numerals.h"
#include "formats/stream_transcoders.h"
#include "foundation/endian.h"
#include "foundation/file_reader.h"
#include "foundation/floating_point_text.h"

// The parser is a state machine with a continuation stack. `m_state` is what runs on the next byte;
// `m_pending` holds what runs after the current value is complete (for example "ArrayNext, Value" after
// the first item of an array was found). A state either consumes bytes or leaves the byte where it is
// and moves on, and everything a state needs to resume in the next chunk lives in the members, so a
// token may be cut anywhere.

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kSecondEscape[] = "\\u";

bool IsBlank(Byte byte) {
    return Ascii::Whitespace().Contains(byte);
}
bool IsDigit(Byte byte) {
    return Ascii::Digits().Contains(byte);
}
bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

void JSONParser::Begin() {
    m_pending.clear();
    Push(State::Value);
    m_nesting = 0;
    StartMatch(kByteOrderMark, State::Between);
    m_state = State::ByteOrderMark;
    m_receiver->Begin();
}

void JSONParser::Receive(const Byte* begin, const Byte* end) {
    const Byte* next = begin;
    while (next != end) next = Step(next, end);
}

void JSONParser::End() {
    bool numberEnds =
        m_state == State::Digits || m_state == State::AfterInteger || m_state == State::AfterFraction;
    if (!m_pending.empty() || !(numberEnds || m_state == State::Between)) throw InvalidJSON();
    if (numberEnds) FinishNumber();
    m_receiver->End();
}

const Byte* JSONParser::Step(const Byte* next, const Byte* end) {
    switch (m_state) {
        case State::ByteOrderMark:
            // Anything but the mark's first byte means there is no mark.
            if (m_matched == 0 && *next != Byte(kByteOrderMark[0])) {
                m_state = State::Between;
                return next;
            }
            return StepMatch(next);
        case State::Between:
            return StepBetween(next, end);
        case State::Value:
            return StepValue(next);
        case State::ArrayFirst:
        case State::ArrayNext:
        case State::ObjectFirst:
        case State::ObjectNext:
            return StepContainer(next);
        case State::KeyQuote:
            if (*next != '"') throw InvalidJSON();
            m_state = State::String;
            return next + 1;
        case State::Colon:
            if (*next != ':') throw InvalidJSON();
            m_state = State::Between;
            return next + 1;
        case State::String:
            return StepString(next, end);
        case State::Escape:
            return StepEscape(next);
        case State::Hex:
            return StepHex(next);
        case State::SecondEscape:
        case State::Literal:
            return StepMatch(next);
        default:
            return StepNumber(next, end);
    }
}

const Byte* JSONParser::StepBetween(const Byte* next, const Byte* end) {
    while (next != end && IsBlank(*next)) ++next;
    if (next == end) return next;
    if (m_pending.empty()) throw InvalidJSON();
    m_state = m_pending.back();
    m_pending.pop_back();
    return next;
}

const Byte* JSONParser::StepValue(const Byte* next) {
    Byte byte = *next;
    switch (byte) {
        case '"':
            m_receiver->BeginString();
            m_inKey = false;
            m_state = State::String;
            return next + 1;
        case '[':
            OpenContainer();
            m_receiver->BeginArray();
            Push(State::ArrayFirst);
            m_state = State::Between;
            return next + 1;
        case '{':
            OpenContainer();
            m_receiver->BeginObject();
            Push(State::ObjectFirst);
            m_state = State::Between;
            return next + 1;
        case 't':
            StartMatch("true", State::Between);
            return next;
        case 'f':
            StartMatch("false", State::Between);
            return next;
        case 'n':
            StartMatch("null", State::Between);
            return next;
        default:
            break;
    }
    if (byte != '-' && !IsDigit(byte)) throw InvalidJSON();
    m_numberLength = 0;
    m_state = State::NumberSign;
    return next;
}

const Byte* JSONParser::StepContainer(const Byte* next) {
    Byte byte = *next;
    State state = m_state;
    m_state = State::Between;
    bool array = state == State::ArrayFirst || state == State::ArrayNext;
    bool first = state == State::ArrayFirst || state == State::ObjectFirst;
    if (byte == (array ? ']' : '}')) {
        --m_nesting;
        array ? m_receiver->EndArray() : m_receiver->EndObject();
        return next + 1;
    }
    if (!first && byte != ',') throw InvalidJSON();
    if (array) {
        Push(State::ArrayNext);
        Push(State::Value);
    } else {
        BeginMember();
    }
    return first ? next : next + 1;
}

const Byte* JSONParser::StepString(const Byte* next, const Byte* end) {
    const Byte* stop = next;
    while (stop != end && *stop != '"' && *stop != '\\') ++stop;
    if (stop != next)
        m_receiver->Text(reinterpret_cast<const char*>(next), reinterpret_cast<const char*>(stop));
    if (stop == end) return stop;
    if (*stop == '\\') {
        m_state = State::Escape;
    } else {
        m_inKey ? m_receiver->EndKey() : m_receiver->EndString();
        m_state = State::Between;
    }
    return stop + 1;
}

const Byte* JSONParser::StepEscape(const Byte* next) {
    char byte;
    switch (*next) {
        case '"':
        case '/':
        case '\\':
            byte = static_cast<char>(*next);
            break;
        case 'b':
            byte = '\b';
            break;
        case 'f':
            byte = '\f';
            break;
        case 'n':
            byte = '\n';
            break;
        case 'r':
            byte = '\r';
            break;
        case 't':
            byte = '\t';
            break;
        case 'u':
            m_hexCount = 0;
            m_unitIndex = 0;
            m_units[0] = 0;
            m_state = State::Hex;
            return next + 1;
        default:
            throw InvalidJSON();
    }
    m_receiver->Text(&byte, &byte + 1);
    m_state = State::String;
    return next + 1;
}

const Byte* JSONParser::StepHex(const Byte* next) {
    if (!Ascii::HexDigits().Contains(*next)) throw InvalidJSON();
    char16_t& unit = m_units[m_unitIndex];
    unit = static_cast<char16_t>(unit * 16 + HexDigitValue(*next));
    if (++m_hexCount == 4) EndEscapedCharacter();
    return next + 1;
}

void JSONParser::EndEscapedCharacter() {
    if (m_unitIndex == 0 && IsHighSurrogate(m_units[0])) {
        m_unitIndex = 1;
        m_hexCount = 0;
        m_units[1] = 0;
        StartMatch(kSecondEscape, State::Hex);
        m_state = State::SecondEscape;
        return;
    }
    if (m_unitIndex == 1 ? !IsLowSurrogate(m_units[1]) : IsLowSurrogate(m_units[0])) throw InvalidJSON();
    char32_t codePoint = m_unitIndex == 0
                             ? m_units[0]
                             : 0x10000 + ((char32_t(m_units[0]) - 0xD800) << 10) + (m_units[1] - 0xDC00);
    Byte bytes[4];
    std::size_t length = EncodeUTF8(codePoint, bytes);
    m_receiver->Text(reinterpret_cast<const char*>(bytes), reinterpret_cast<const char*>(bytes + length));
    m_state = State::String;
}

void JSONParser::StartMatch(const char* word, State then) {
    m_word = word;
    m_matched = 0;
    m_afterWord = then;
    m_state = State::Literal;
}

const Byte* JSONParser::StepMatch(const Byte* next) {
    if (*next != Byte(m_word[m_matched])) throw InvalidJSON();
    if (m_word[++m_matched] != '\0') return next + 1;
    if (m_word[0] == 't' || m_word[0] == 'f') {
        m_receiver->Bool(m_word[0] == 't');
    } else if (m_word[0] == 'n') {
        m_receiver->Null();
    }
    m_state = m_afterWord;
    return next + 1;
}

const Byte* JSONParser::StepNumber(const Byte* next, const Byte* end) {
    Byte byte = *next;
    switch (m_state) {
        case State::NumberSign:
            m_state = State::NumberFirst;
            if (byte != '-') return next;
            KeepNumberByte(byte);
            return next + 1;
        case State::NumberFirst:
            if (byte == '0') {
                KeepNumberByte(byte);
                m_state = State::AfterInteger;
                return next + 1;
            }
            if (!IsDigit(byte)) throw InvalidJSON();
            m_numberPhase = 0;
            m_state = State::Digit;
            return next;
        case State::Digit:
            if (!IsDigit(byte)) throw InvalidJSON();
            KeepNumberByte(byte);
            m_state = State::Digits;
            return next + 1;
        case State::Digits:
            for (; next != end && IsDigit(*next); ++next) KeepNumberByte(*next);
            if (next == end) return next;
            if (m_numberPhase == 0) {
                m_state = State::AfterInteger;
            } else if (m_numberPhase == 1) {
                m_state = State::AfterFraction;
            } else {
                FinishNumber();
            }
            return next;
        case State::AfterInteger:
            if (byte == '.') {
                KeepNumberByte(byte);
                m_numberPhase = 1;
                m_state = State::Digit;
                return next + 1;
            }
            FinishNumber();
            return next;
        case State::AfterFraction:
            if (byte == 'e' || byte == 'E') {
                KeepNumberByte(byte);
                m_state = State::ExponentSign;
                return next + 1;
            }
            FinishNumber();
            return next;
        default:  // ExponentSign
            if (byte != '+' && byte != '-' && !IsDigit(byte)) throw InvalidJSON();
            m_numberPhase = 2;
            m_state = State::Digit;
            if (IsDigit(byte)) return next;
            KeepNumberByte(byte);
            return next + 1;
    }
}

void JSONParser::OpenContainer() {
    if (++m_nesting > kMaxNesting) throw InvalidJSON();
}

void JSONParser::BeginMember() {
    Push(State::ObjectNext);
    Push(State::Value);
    Push(State::Colon);
    Push(State::KeyQuote);
    m_receiver->BeginKey();
    m_inKey = true;
}

void JSONParser::KeepNumberByte(Byte byte) {
    if (m_numberLength == kMaxNumberLength) throw DataOverflow();
    m_number[m_numberLength++] = static_cast<char>(byte);
}

void JSONParser::FinishNumber() {
    ConstData text(m_number, m_numberLength);
    if (std::find(m_number, m_number + m_numberLength, '.') != m_number + m_numberLength) {
        m_receiver->Float(ParseFloatingPoint(text).value);
    } else {
        std::int64_t value = 0;
        if (ParseDecimalInt64(text, value) != NumeralStatus::Success) throw InvalidJSON();
        m_receiver->Integer(value);
    }
    m_state = State::Between;
}

SharingPtr<JSONValue> JSONValueMaker::Result() const {
    if (m_values.empty()) throw NoJSONValue();
    return m_values.back();
}

void JSONValueMaker::BeginObject() {
    m_values.push_back(std::make_shared<JSONObject>());
}
void JSONValueMaker::BeginArray() {
    m_values.push_back(std::make_shared<JSONArray>());
}
void JSONValueMaker::EndObject() {
    CloseContainer();
}
void JSONValueMaker::EndArray() {
    CloseContainer();
}
void JSONValueMaker::BeginKey() {
    m_text.Begin();
}
void JSONValueMaker::BeginString() {
    m_text.Begin();
}

void JSONValueMaker::EndKey() {
    m_text.End();
    m_keys.push_back(m_text.Take());
}

void JSONValueMaker::EndString() {
    m_text.End();
    Deliver(std::make_shared<JSONString>(m_text.Take()));
}

void JSONValueMaker::Text(const char* begin, const char* end) {
    m_text.Receive(reinterpret_cast<const Byte*>(begin), reinterpret_cast<const Byte*>(end));
}

void JSONValueMaker::Integer(std::int64_t value) {
    Deliver(std::make_shared<JSONInteger>(value));
}
void JSONValueMaker::Float(double value) {
    Deliver(std::make_shared<JSONFloat>(value));
}
void JSONValueMaker::Bool(bool value) {
    Deliver(std::make_shared<JSONBool>(value));
}
void JSONValueMaker::Null() {
    Deliver(std::make_shared<JSONNull>());
}

void JSONValueMaker::CloseContainer() {
    if (m_values.empty()) throw NoJSONValue();
    SharingPtr<JSONValue> container = std::move(m_values.back());
    m_values.pop_back();
    Deliver(std::move(container));
}

void JSONValueMaker::Deliver(SharingPtr<JSONValue> value) {
    if (m_values.empty()) {
        m_values.push_back(std::move(value));
        return;
    }
    JSONValue& top = *m_values.back();
    if (!top.IsObject()) {
        top.AddValue(std::move(value));
        return;
    }
    if (m_keys.empty()) throw NoJSONValue();
    top.AddPair(std::move(m_keys.back()), std::move(value));
    m_keys.pop_back();
}

SharingPtr<JSONValue> ParseJSON(DataReader& reader) {
    JSONValueMaker maker;
    JSONParser parser;
    parser.SetReceiver(&maker);
    TextEncodingDataLabeller<UTF8> labeller(&parser);
    PumpData(reader, labeller);
    return maker.Result();
}

SharingPtr<JSONValue> ParseJSONFile(const FileLocation& location) {
    PosixPlatform::FileReadingPath path(location);
    FileReader reader(path);
    return ParseJSON(reader);
}
