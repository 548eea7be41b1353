// Reading JSON text: a push parser that reports what it finds as events, the receiver that builds a
// value tree from the events, and the one-call helpers.
//
// JSONParser is a UTF-8 text stage: Begin, then Receive with the document in chunks cut anywhere
// (inside a string, an escape, a number or a literal), then End. It never holds the document: string
// text is passed on in runs straight from the caller's chunk, and only the current number (at most
// 128 bytes) and one "\u" escape are kept between calls.
//
// Accepted: the JSON grammar, with these limits. A number is an optional "-", then "0" or a digit 1-9
// and more digits, then optionally "." and digits, and only after a fraction an exponent ("1e5" is
// refused, "1.0e5" accepted); a number with "." is passed on as a double, any other must fit a signed
// 64-bit integer. Control characters in strings are taken as text. A "\u" escape of a high surrogate
// must be followed by the escape of a low surrogate. Containers nest at most kMaxNesting deep. A UTF-8
// byte-order mark before the document is skipped. Every violation throws InvalidJSON from Receive or
// End, without a position; a number of more than 128 bytes throws DataOverflow. After an exception
// the parser must be begun again.
//
// Parser and maker belong to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/json_value.h"
#include "formats/text_encodings.h"

class DataReader;
class FileLocation;

// The events of a document, in document order. A key or string arrives as BeginKey/BeginString, zero
// or more Text runs of its UTF-8 bytes (escapes already decoded), then EndKey/EndString.
class JSONReceiver {
  public:
    virtual ~JSONReceiver() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
    virtual void BeginObject() = 0;
    virtual void EndObject() = 0;
    virtual void BeginArray() = 0;
    virtual void EndArray() = 0;
    virtual void BeginKey() = 0;
    virtual void EndKey() = 0;
    virtual void BeginString() = 0;
    virtual void EndString() = 0;
    virtual void Text(const char* begin, const char* end) = 0;
    virtual void Integer(std::int64_t value) = 0;
    virtual void Float(double value) = 0;
    virtual void Bool(bool value) = 0;
    virtual void Null() = 0;
};

class JSONParser : public UTextReceiver<UTF8> {
  public:
    // Deeper nesting is refused: no document of the relay's comes near it, and the limit bounds what
    // a hostile document can make the parser and the tree builder hold.
    static constexpr std::size_t kMaxNesting = 10000;
    static constexpr std::size_t kMaxNumberLength = 128;

    // The receiver is not owned; set it before Begin.
    void SetReceiver(JSONReceiver* receiver) { m_receiver = receiver; }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  private:
    enum class State : std::uint8_t {
        ByteOrderMark,
        Between,
        Value,
        ArrayFirst,
        ArrayNext,
        ObjectFirst,
        ObjectNext,
        KeyQuote,
        Colon,
        String,
        Escape,
        Hex,
        SecondEscape,
        Literal,
        NumberSign,
        NumberFirst,
        Digit,
        Digits,
        AfterInteger,
        AfterFraction,
        ExponentSign,
    };

    // Runs the current state on the chunk from `next`; returns where the next state starts.
    const Byte* Step(const Byte* next, const Byte* end);
    const Byte* StepBetween(const Byte* next, const Byte* end);
    const Byte* StepValue(const Byte* next);
    const Byte* StepContainer(const Byte* next);
    const Byte* StepString(const Byte* next, const Byte* end);
    const Byte* StepEscape(const Byte* next);
    const Byte* StepHex(const Byte* next);
    const Byte* StepMatch(const Byte* next);
    const Byte* StepNumber(const Byte* next, const Byte* end);

    void Push(State state) { m_pending.push_back(state); }
    void OpenContainer();
    void BeginMember();
    void StartMatch(const char* word, State then);
    void EndEscapedCharacter();
    void KeepNumberByte(Byte byte);
    void FinishNumber();

    State m_state = State::Between;
    std::vector<State> m_pending;
    JSONReceiver* m_receiver = nullptr;
    std::size_t m_nesting = 0;
    bool m_inKey = false;
    char16_t m_units[2] = {};
    std::uint32_t m_unitIndex = 0;
    std::uint32_t m_hexCount = 0;
    // The word being matched ("true", "false", "null", the "\u" of a second escape or the byte-order
    // mark), how far it matched, and the state that follows it.
    const char* m_word = nullptr;
    std::size_t m_matched = 0;
    State m_afterWord = State::Between;
    std::uint32_t m_numberPhase = 0;
    std::size_t m_numberLength = 0;
    char m_number[kMaxNumberLength];
};

// Builds the value tree of a document from the parser's events. Result() is the document; the maker
// keeps it until destroyed.
class JSONValueMaker : public JSONReceiver {
  public:
    // The finished document (the outermost value); NoJSONValue when there is none.
    SharingPtr<JSONValue> Result() const;

    void Begin() override {}
    void End() override {}
    void BeginObject() override;
    void EndObject() override;
    void BeginArray() override;
    void EndArray() override;
    void BeginKey() override;
    void EndKey() override;
    void BeginString() override;
    void EndString() override;
    void Text(const char* begin, const char* end) override;
    void Integer(std::int64_t value) override;
    void Float(double value) override;
    void Bool(bool value) override;
    void Null() override;

  private:
    // Places a finished value: into the open container, or as the document when none is open.
    void Deliver(SharingPtr<JSONValue> value);
    void CloseContainer();

    UStringBuilder<UTF8> m_text;
    std::vector<CopiedUString<UTF8>> m_keys;
    std::vector<SharingPtr<JSONValue>> m_values;
};

// Parses everything the reader holds as one JSON document (UTF-8).
SharingPtr<JSONValue> ParseJSON(DataReader& reader);
// Parses the file as one JSON document; the file errors (FileNotFoundError, ...) pass through.
SharingPtr<JSONValue> ParseJSONFile(const FileLocation& location);
