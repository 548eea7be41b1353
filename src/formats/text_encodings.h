// Text in a known encoding, and the stages that move it.
//
// Text inside the relay is UTF-8. Other encodings appear at its edges: UTF-16 in wide texts, US-ASCII
// and ISO-8859-1 in MIME headers and bodies, and character sets named by IANA labels in content types.
// Each encoding is a tag type (UTF8, UTF16, USAscii, Latin1, IANANamedTextEncoding) whose Unit is the
// type of one code unit: a byte, or a 16-bit unit in native order for UTF16.
//
// UTextReceiver<E> is the push interface for text of encoding E, with the calling order of a
// DataReceiver: Begin once, Receive any number of times with chunks of any length (a chunk may end
// inside a character), End once. The stages here adapt between byte streams and text streams and
// collect text into strings; the converters between encodings are in stream_transcoders.h.
//
// Stages hold non-owning pointers to their targets, set before Begin. A chain is used by one thread.
#pragma once

#include <cstddef>
#include <string>

#include "base/const_data_buffer.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"

struct UTF8 {
    using Unit = Byte;
    using String = std::string;
};
struct UTF16 {
    using Unit = char16_t;
    using String = std::u16string;
};
struct USAscii {
    using Unit = Byte;
};
struct Latin1 {
    using Unit = Byte;
};
// Bytes in a character set named at run time. A value of this type carries the name (an IANA label of
// at most 48 bytes) and is what UTextReceiver<IANANamedTextEncoding>::Begin takes.
struct IANANamedTextEncoding {
    using Unit = Byte;

    IANANamedTextEncoding() = default;
    // ConstDataCapacityExceeded for a name longer than 48 bytes.
    explicit IANANamedTextEncoding(ConstData name) : name(name) {}

    ConstDataBuffer<48> name;
};

// An owned string of encoding E; it may hold NUL units, and its c_str() is terminated by a zero unit.
template <class E>
using CopiedUString = typename E::String;

// Malformed or truncated input for the source encoding of a transcoder.
class InvalidTextEncoding : public DebuggableException {};

template <class E>
class UTextReceiver {
  public:
    using Unit = typename E::Unit;

    virtual ~UTextReceiver() = default;
    virtual void Begin() {}
    // One chunk of units; valid only during the call.
    virtual void Receive(const Unit* begin, const Unit* end) {}
    virtual void End() {}
};

// Text in a named character set: Begin carries the name.
template <>
class UTextReceiver<IANANamedTextEncoding> {
  public:
    virtual ~UTextReceiver() = default;
    virtual void Begin(const IANANamedTextEncoding& encoding) {}
    virtual void Receive(const Byte* begin, const Byte* end) {}
    virtual void End() {}
};

// Collects a text into a string. Begin empties the text and reserves the initial capacity; when a
// chunk does not fit, the capacity becomes the larger of twice itself and the length needed.
template <class E>
class UStringBuilder : public UTextReceiver<E> {
  public:
    using Unit = typename E::Unit;

    explicit UStringBuilder(std::size_t initialCapacity = 0) : m_initialCapacity(initialCapacity) {}

    void Begin() override;
    void Receive(const Unit* begin, const Unit* end) override;

    const CopiedUString<E>& Text() const { return m_text; }
    // Hands the collected text over without copying it; the builder is empty afterwards.
    CopiedUString<E> Take() { return std::move(m_text); }

  private:
    std::size_t m_initialCapacity;
    CopiedUString<E> m_text;
};

// Turns a plain byte stream into text of the byte-wide encoding E: Begin, Receive and End go to the
// target unchanged.
template <class E>
class TextEncodingDataLabeller : public DataReceiver, public DataWriter {
  public:
    explicit TextEncodingDataLabeller(UTextReceiver<E>* target = nullptr) : m_target(target) {}
    void SetTarget(UTextReceiver<E>* target) { m_target = target; }

    void Begin() override { m_target->Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_target->Receive(begin, end); }
    void End() override { m_target->End(); }

  private:
    UTextReceiver<E>* m_target;
};

// Turns a plain byte stream into text of a named character set: Begin passes the name it holds.
template <>
class TextEncodingDataLabeller<IANANamedTextEncoding> : public DataReceiver, public DataWriter {
  public:
    explicit TextEncodingDataLabeller(UTextReceiver<IANANamedTextEncoding>* target = nullptr)
        : m_target(target) {}
    void SetTarget(UTextReceiver<IANANamedTextEncoding>* target) { m_target = target; }
    // The name passed in the next Begin; ConstDataCapacityExceeded for a name longer than 48 bytes.
    void SetEncodingName(ConstData name) { m_encoding.name.Assign(name); }

    void Begin() override { m_target->Begin(m_encoding); }
    void Receive(const Byte* begin, const Byte* end) override { m_target->Receive(begin, end); }
    void End() override { m_target->End(); }

  private:
    UTextReceiver<IANANamedTextEncoding>* m_target;
    IANANamedTextEncoding m_encoding;
};

// The reverse of the labeller: passes UTF-8 text on as plain bytes.
class TextEncodingDataRemover : public UTextReceiver<UTF8> {
  public:
    explicit TextEncodingDataRemover(DataReceiver* target = nullptr) : m_target(target) {}
    void SetTarget(DataReceiver* target) { m_target = target; }

    void Begin() override { m_target->Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_target->Receive(begin, end); }
    void End() override { m_target->End(); }

  private:
    DataReceiver* m_target;
};

// Passes text on and ignores Begin and End, so that several text streams join into one.
class UTextConcatenator : public UTextReceiver<UTF8> {
  public:
    explicit UTextConcatenator(UTextReceiver<UTF8>* target = nullptr) : m_target(target) {}
    void SetTarget(UTextReceiver<UTF8>* target) { m_target = target; }

    void Receive(const Byte* begin, const Byte* end) override { m_target->Receive(begin, end); }

  private:
    UTextReceiver<UTF8>* m_target;
};

// A receiver of header text whose pieces come in several character sets (RFC 2047 encoded words
// between plain text). Between Begin and End the producer asks for the byte receiver of each piece,
// begins it, feeds it and ends it.
class MulticharsetTextReceiver {
  public:
    virtual ~MulticharsetTextReceiver() = default;
    virtual void Begin() = 0;
    // The receiver of text in the header's default character set.
    virtual DataReceiver& TextInDefaultCharset() = 0;
    // The receiver of text in the character set with the given IANA name.
    virtual DataReceiver& TextInCharset(ConstData charsetName) = 0;
    virtual void End() = 0;
};
