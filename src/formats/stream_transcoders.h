// Streaming converters between text encodings.
//
// A StreamTranscoder<Target, Source> is a UTextReceiver of the Source encoding that converts what it
// receives and pushes it to a UTextReceiver of the Target encoding. Input may be cut anywhere, also
// inside a multi-byte sequence or between the two halves of a surrogate pair: the incomplete character
// is carried to the next Receive. Output goes through a fixed buffer inside the transcoder and is
// pushed when the buffer is full and at the end of each Receive; nothing is allocated per chunk.
//
// Begin forgets any carried units and begins the target. End raises InvalidTextEncoding when a
// character is still incomplete, else ends the target. Malformed input raises InvalidTextEncoding from
// Receive; what was pushed before stays pushed, and the transcoder must be begun again before reuse.
//
// The built-in converters are strict: an encoded surrogate (0xED 0xA0-0xBF ...) in UTF-8, an unpaired
// surrogate in UTF-16, a four-byte UTF-8 sequence outside U+10000-U+10FFFF, a byte that cannot start
// or continue a sequence, and a byte of 128 or more in US-ASCII are all refused. Overlong two- and
// three-byte UTF-8 forms are accepted and decode to their arithmetic value (0xC0 0x80 gives U+0000).
//
// The target is not owned and must be set before Begin. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/text_encodings.h"

// Common part of the transcoders: the target and the units of an incomplete character.
template <class Target, class Source>
class GenericTranscoder : public UTextReceiver<Source> {
  public:
    explicit GenericTranscoder(UTextReceiver<Target>* target) : m_target(target) {}
    void SetTarget(UTextReceiver<Target>* target) { m_target = target; }

    void Begin() override;
    void End() override;

  protected:
    UTextReceiver<Target>* m_target;
    std::uint32_t m_carriedCount = 0;
    // At most 3 bytes of a UTF-8 sequence (or one high surrogate) are carried between calls; the
    // fourth slot is where the next call completes the sequence.
    typename Source::Unit m_carried[4] = {};
};

template <class Target, class Source>
class StreamTranscoder;

// UTF-8 bytes into UTF-16 units.
template <>
class StreamTranscoder<UTF16, UTF8> : public GenericTranscoder<UTF16, UTF8> {
  public:
    explicit StreamTranscoder(UTextReceiver<UTF16>* target = nullptr) : GenericTranscoder(target) {}
    void Receive(const Byte* begin, const Byte* end) override;
};

// UTF-16 units into UTF-8 bytes.
template <>
class StreamTranscoder<UTF8, UTF16> : public GenericTranscoder<UTF8, UTF16> {
  public:
    explicit StreamTranscoder(UTextReceiver<UTF8>* target = nullptr) : GenericTranscoder(target) {}
    void Receive(const char16_t* begin, const char16_t* end) override;
};

// US-ASCII into UTF-8: each chunk is checked whole and then passed on as it is, without copying; a
// chunk holding a byte of 128 or more is refused before any of it is passed on.
template <>
class StreamTranscoder<UTF8, USAscii> : public GenericTranscoder<UTF8, USAscii> {
  public:
    explicit StreamTranscoder(UTextReceiver<UTF8>* target = nullptr) : GenericTranscoder(target) {}
    void Receive(const Byte* begin, const Byte* end) override;
};

// US-ASCII into UTF-16 units.
template <>
class StreamTranscoder<UTF16, USAscii> : public GenericTranscoder<UTF16, USAscii> {
  public:
    explicit StreamTranscoder(UTextReceiver<UTF16>* target = nullptr) : GenericTranscoder(target) {}
    void Receive(const Byte* begin, const Byte* end) override;
};

// ISO-8859-1 into UTF-8; every byte is valid.
template <>
class StreamTranscoder<UTF8, Latin1> : public GenericTranscoder<UTF8, Latin1> {
  public:
    explicit StreamTranscoder(UTextReceiver<UTF8>* target = nullptr) : GenericTranscoder(target) {}
    void Receive(const Byte* begin, const Byte* end) override;
};

// A character set that StreamTranscoder<UTF8, IANANamedTextEncoding> does not convert.
class EncodingUnknownToSimpleIANATranscoder : public DebuggableException {};

// Bytes in a character set named in Begin into UTF-8. It knows UTF-8 (passed on unchecked),
// ISO-8859-1 and US-ASCII, under their IANA aliases and ignoring case ("Latin1", "US", "ISO_8859-1");
// Begin raises EncodingUnknownToSimpleIANATranscoder for any other name, "UTF8" included, and the
// stream is then refused until the next successful Begin.
template <>
class StreamTranscoder<UTF8, IANANamedTextEncoding> : public UTextReceiver<IANANamedTextEncoding> {
  public:
    explicit StreamTranscoder(UTextReceiver<UTF8>* target = nullptr) { SetTarget(target); }
    StreamTranscoder(const StreamTranscoder&) = delete;
    StreamTranscoder& operator=(const StreamTranscoder&) = delete;
    void SetTarget(UTextReceiver<UTF8>* target);

    void Begin(const IANANamedTextEncoding& encoding) override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  private:
    DataReceiver& ChosenPath();

    // The paths, one per character set; m_path is the one chosen by Begin.
    TextEncodingDataLabeller<UTF8> m_fromUTF8;
    TextEncodingDataLabeller<Latin1> m_latin1Labeller;
    StreamTranscoder<UTF8, Latin1> m_fromLatin1;
    TextEncodingDataLabeller<USAscii> m_asciiLabeller;
    StreamTranscoder<UTF8, USAscii> m_fromASCII;
    DataReceiver* m_path = nullptr;
};

// Writes the UTF-8 form of a code point of at most U+10FFFF (1 to 4 bytes) at `out` and returns the
// number of bytes written.
std::size_t EncodeUTF8(char32_t codePoint, Byte* out);
