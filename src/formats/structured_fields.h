// Structured header values (a content type with its parameters, a list of names) cut into
// elements: StructuredFieldMaker is the DataReceiver that tokenizes a value and calls a
// StructuredFieldReceiver, which interprets the elements (content_type.h has the one interpreter).
//
// The elements, after RFC 822:
// - blanks (space, tab) separate elements and are dropped;
// - specials, each its own element: ) , . : ; < > @ \ ] and any extra specials of the receiver,
//   less those the receiver reads as token bytes;
// - tokens: runs of bytes 33-255 other than the specials, " ( and [ (DEL and the bytes from 128 up
//   are token bytes);
// - quoted strings "...", comments (...) with nested parentheses, domain literals [...]: their
//   content without the delimiters; a backslash passes the byte after it on, whatever it is.
// Other bytes (the control characters) are skipped. The value may be cut into chunks anywhere, also
// right after a backslash.
#pragma once

#include <cstdint>

#include "base/character_classes.h"
#include "base/data_pipeline.h"
#include "foundation/data_stages.h"

// The interpreter of the elements. Each element's receiver (returned by Token, QuotedString,
// DomainLiteral, Comment) gets Begin, the element's bytes in one or more Receives, and End.
class StructuredFieldReceiver {
  public:
    explicit StructuredFieldReceiver(CharacterClass extraSpecials = {}, CharacterClass specialsInTokens = {})
        : m_extraSpecials(extraSpecials), m_specialsInTokens(specialsInTokens) {}
    virtual ~StructuredFieldReceiver() = default;

    virtual void Begin() {}
    virtual void Special(Byte c) {}
    virtual DataReceiver& Token() { return IgnoreDataReceiver::Instance(); }
    virtual DataReceiver& QuotedString() { return Token(); }
    virtual DataReceiver& DomainLiteral() { return IgnoreDataReceiver::Instance(); }
    virtual DataReceiver& Comment() { return IgnoreDataReceiver::Instance(); }
    virtual void End() {}

    // Bytes that this receiver takes as specials besides the common ones ("/" and "=" for a
    // content type).
    const CharacterClass& ExtraSpecials() const { return m_extraSpecials; }
    // Common specials that this receiver reads as token bytes ("." for a content type).
    const CharacterClass& SpecialsInTokens() const { return m_specialsInTokens; }

  private:
    CharacterClass m_extraSpecials;
    CharacterClass m_specialsInTokens;
};

// Tokenizes a value into a receiver, which is not owned and is set before Begin. One thread at a
// time.
class StructuredFieldMaker : public DataReceiver, public DataWriter {
  public:
    StructuredFieldMaker() = default;
    explicit StructuredFieldMaker(StructuredFieldReceiver& target) : m_target(&target) {}

    void SetTarget(StructuredFieldReceiver& target) { m_target = &target; }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    // Ends an element still open (an unclosed quote or comment ends with the value).
    void End() override;

  private:
    enum class State { BetweenElements, Token, QuotedString, Comment, DomainLiteral };

    // Handles the bytes from `p` in the current state; returns where it stopped.
    const Byte* BetweenElements(const Byte* p, const Byte* end);
    const Byte* InToken(const Byte* p, const Byte* end);
    const Byte* InDelimited(const Byte* p, const Byte* end);
    void StartElement(State state, DataReceiver& receiver);
    void EndElement();

    StructuredFieldReceiver* m_target = nullptr;
    DataReceiver* m_element = nullptr;
    // The specials and token bytes of the common table as the receiver amends them.
    CharacterClass m_specials;
    CharacterClass m_tokenBytes;
    State m_state = State::BetweenElements;
    bool m_escaped = false;
    std::uint32_t m_commentDepth = 0;
};
