// Joins header text that arrives in pieces of several character sets (the plain text and the
// RFC 2047 encoded words of a MIME header) into one UTF-8 text.
//
// Between one Begin and one End, the producer (the header decoder) asks for the byte receiver of
// each piece, in the header's default character set or in a named one, and begins, feeds and ends it;
// each piece is converted to UTF-8 and appended to the target's text. The character sets are those of
// StreamTranscoder<UTF8, IANANamedTextEncoding>: a piece in another set raises
// EncodingUnknownToSimpleIANATranscoder when it is begun.
//
// The target is not owned; set it (and the default character set) before Begin. One thread at a time.
#pragma once

#include "base/const_data.h"
#include "formats/stream_transcoders.h"
#include "formats/text_encodings.h"

class HeaderTranscoder : public MulticharsetTextReceiver {
  public:
    explicit HeaderTranscoder(UTextReceiver<UTF8>* target = nullptr) : m_target(target) {}
    HeaderTranscoder(const HeaderTranscoder&) = delete;
    HeaderTranscoder& operator=(const HeaderTranscoder&) = delete;

    void SetTarget(UTextReceiver<UTF8>* target) { m_target = target; }
    // The character set of text outside encoded words, such as "iso-8859-1"; at most 48 bytes.
    void SetDefaultCharset(ConstData name) { m_defaultCharset.Assign(name); }

    void Begin() override;
    DataReceiver& TextInDefaultCharset() override;
    DataReceiver& TextInCharset(ConstData charsetName) override;
    void End() override;

  private:
    UTextReceiver<UTF8>* m_target;
    ConstDataBuffer<48> m_defaultCharset;
    // labeller -> transcoder -> concatenator -> target
    TextEncodingDataLabeller<IANANamedTextEncoding> m_labeller{&m_transcoder};
    StreamTranscoder<UTF8, IANANamedTextEncoding> m_transcoder{&m_concatenator};
    UTextConcatenator m_concatenator;
};
