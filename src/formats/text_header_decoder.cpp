#include "formats/text_header_decoder.h"

#include <algorithm>

#include "base/character_classes.h"

void TextHeaderDecoder::Begin() {
    m_plain = nullptr;
    m_decoder = nullptr;
    m_state = State::Text;
    m_heldLength = 0;
    m_headStart = 0;
    m_target->Begin();
}

// Plain text and encoded text are passed on in runs; only the bytes around the marks of an encoded
// word go through the state machine one at a time.
void TextHeaderDecoder::Receive(const Byte* begin, const Byte* end) {
    const Byte* p = begin;
    while (p != end) {
        if (m_state == State::Text || m_state == State::Encoded) {
            Byte mark = m_state == State::Text ? '=' : '?';
            const Byte* stop = std::find(p, end, mark);
            if (m_state == State::Text)
                Plain(p, stop);
            else
                Decoded(p, stop);
            p = stop;
            if (p == end) break;
        }
        while (!Consume(*p)) {
        }
        ++p;
    }
}

void TextHeaderDecoder::End() {
    if (m_state == State::EncodedQuestion) {
        const Byte question = '?';
        Decoded(&question, &question + 1);
    }
    if (m_state == State::Encoded || m_state == State::EncodedQuestion)
        m_decoder->End();
    else
        ReleaseHeldAsText();
    EndPlain();
    m_state = State::Text;
    m_target->End();
}

bool TextHeaderDecoder::Consume(Byte c) {
    switch (m_state) {
        case State::Text:
            if (c == '=') return StartHead();
            Plain(&c, &c + 1);
            return true;
        case State::AfterWord:
            if (Ascii::IsBlank(c)) return Hold(c);
            if (c == '=') return StartHead();
            ReleaseHeldAsText();
            return false;
        case State::Equals:
            if (c != '?') {
                ReleaseHeldAsText();
                return false;
            }
            m_state = State::Charset;
            return Hold(c);
        case State::Charset:
            if (c == '?') m_state = State::Letter;
            return Hold(c);
        case State::Letter:
            m_state = State::LetterQuestion;
            return Hold(c);
        case State::LetterQuestion:
            if (c != '?' || !Hold(c)) {
                ReleaseHeldAsText();
                return false;
            }
            try {
                ChooseDecoder();
                m_state = State::Encoded;
            } catch (const UnknownTransferEncodingTag&) {
                ReleaseHeldAsText();
            }
            return true;
        case State::Encoded:
            if (c == '?')
                m_state = State::EncodedQuestion;
            else
                Decoded(&c, &c + 1);
            return true;
        case State::EncodedQuestion:
            if (c == '=') {
                m_decoder->End();
                m_state = State::AfterWord;
                return true;
            }
            {
                const Byte question = '?';
                Decoded(&question, &question + 1);
            }
            if (c == '?') return true;
            Decoded(&c, &c + 1);
            m_state = State::Encoded;
            return true;
    }
    return true;
}

// False when the held bytes would overflow: they are then released as text and the byte is handled
// again as text.
bool TextHeaderDecoder::Hold(Byte c) {
    if (m_heldLength == sizeof m_held) {
        ReleaseHeldAsText();
        return false;
    }
    m_held[m_heldLength++] = c;
    return true;
}

bool TextHeaderDecoder::StartHead() {
    m_headStart = m_heldLength;
    m_state = State::Equals;
    return Hold('=');
}

void TextHeaderDecoder::ReleaseHeldAsText() {
    Plain(m_held, m_held + m_heldLength);
    m_heldLength = 0;
    m_headStart = 0;
    m_state = State::Text;
}

void TextHeaderDecoder::Plain(const Byte* begin, const Byte* end) {
    if (begin == end) return;
    if (m_plain == nullptr) {
        m_plain = &m_target->TextInDefaultCharset();
        m_plain->Begin();
    }
    m_plain->Receive(begin, end);
}

void TextHeaderDecoder::EndPlain() {
    if (m_plain == nullptr) return;
    m_plain->End();
    m_plain = nullptr;
}

// The head is "=?" charset "?" letter "?". The blanks held before it separate two encoded words and
// are dropped.
void TextHeaderDecoder::ChooseDecoder() {
    const Byte* head = m_held + m_headStart;
    std::size_t length = m_heldLength - m_headStart;
    if (length <= 5) throw UnknownTransferEncodingTag();
    Byte letter = head[length - 2];
    ConstData charset(head + 2, head + length - 3);
    DataReceiver* decoder = nullptr;
    if (letter == 'B' || letter == 'b') {
        m_base64.Reset();
        decoder = &m_base64Decoding;
    } else if (letter == 'Q' || letter == 'q') {
        decoder = &m_qDecoding;
    } else {
        throw UnknownTransferEncodingTag();
    }
    EndPlain();
    DataReceiver& text = m_target->TextInCharset(charset);
    m_base64Decoding.SetUp(m_base64, text);
    m_qDecoding.SetTarget(text);
    m_heldLength = 0;
    m_headStart = 0;
    m_decoder = decoder;
    m_decoder->Begin();
}
