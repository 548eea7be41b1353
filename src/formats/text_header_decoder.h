// TextHeaderDecoder: decodes unstructured header text with RFC 2047 encoded words
// ("=?" charset "?" B or Q "?" encoded text "?=") into a MulticharsetTextReceiver: plain text goes to
// the receiver's default-charset piece, each encoded word, decoded (Base64 or the Q encoding), to a
// piece in its own charset. Blanks between two encoded words are dropped; other blanks are text.
//
// Anything that only looks like the start of an encoded word is plain text after all: a head
// longer than 85 bytes, a letter other than B or Q (either case), an empty charset. An encoded word
// that the text ends inside is decoded as far as it goes. The input may be cut anywhere.
//
// The target is not owned and is set before Begin. One thread at a time.
#pragma once

#include <cstddef>

#include "base/data_pipeline.h"
#include "formats/base64_codec.h"
#include "formats/q_decoding_data_maker.h"
#include "formats/text_encodings.h"
#include "foundation/data_filterer.h"

// The head of an encoded word names no transfer encoding this decoder knows.
class UnknownTransferEncodingTag : public DebuggableException {};

class TextHeaderDecoder : public DataReceiver, public DataWriter {
  public:
    TextHeaderDecoder() = default;
    explicit TextHeaderDecoder(MulticharsetTextReceiver& target) : m_target(&target) {}
    TextHeaderDecoder(const TextHeaderDecoder&) = delete;
    TextHeaderDecoder& operator=(const TextHeaderDecoder&) = delete;

    void SetTarget(MulticharsetTextReceiver& target) { m_target = &target; }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    enum class State {
        Text,             // plain text
        AfterWord,        // blanks after an encoded word, held
        Equals,           // "=" held
        Charset,          // "=?" and part of the charset held
        Letter,           // "=?charset?" held
        LetterQuestion,   // "=?charset?X" held
        Encoded,          // inside the encoded text
        EncodedQuestion,  // a "?" inside the encoded text, perhaps the closing one
    };

    // Handles one byte; false when the state changed and the byte must be handled again.
    bool Consume(Byte c);
    bool Hold(Byte c);
    bool StartHead();
    void ReleaseHeldAsText();
    void Plain(const Byte* begin, const Byte* end);
    void EndPlain();
    // Starts the decoder that the held head asks for; UnknownTransferEncodingTag when it names none.
    void ChooseDecoder();
    void Decoded(const Byte* begin, const Byte* end) { m_decoder->Receive(begin, end); }

    MulticharsetTextReceiver* m_target = nullptr;
    DataReceiver* m_plain = nullptr;
    DataReceiver* m_decoder = nullptr;
    State m_state = State::Text;
    // Held blanks after an encoded word, then the head of the next one.
    Byte m_held[85];
    std::size_t m_heldLength = 0;
    std::size_t m_headStart = 0;
    Base64Decoder m_base64;
    DataFilterer m_base64Decoding;
    QDecodingDataMaker m_qDecoding;
};
