#include "formats/structured_fields.h"

namespace {

const CharacterClass& Specials() {
    static const CharacterClass specials = CharacterClass().Add("),.:;<>@\\]");
    return specials;
}

const CharacterClass& TokenBytes() {
    static const CharacterClass token = CharacterClass().AddRange(0, 32).Add("\"(),.:;<>@[\\]").Complement();
    return token;
}

// The bytes of `set` that are not in `removed`.
CharacterClass Without(const CharacterClass& set, const CharacterClass& removed) {
    return CharacterClass(set.Complement()).Add(removed).Complement();
}

}  // namespace

void StructuredFieldMaker::Begin() {
    m_specials = Without(Specials(), m_target->SpecialsInTokens()).Add(m_target->ExtraSpecials());
    m_tokenBytes =
        Without(CharacterClass(TokenBytes()).Add(m_target->SpecialsInTokens()), m_target->ExtraSpecials());
    m_element = nullptr;
    m_state = State::BetweenElements;
    m_escaped = false;
    m_commentDepth = 0;
    m_target->Begin();
}

void StructuredFieldMaker::Receive(const Byte* begin, const Byte* end) {
    const Byte* p = begin;
    while (p != end) {
        switch (m_state) {
            case State::BetweenElements:
                p = BetweenElements(p, end);
                break;
            case State::Token:
                p = InToken(p, end);
                break;
            default:
                p = InDelimited(p, end);
                break;
        }
    }
}

void StructuredFieldMaker::End() {
    EndElement();
    m_target->End();
}

const Byte* StructuredFieldMaker::BetweenElements(const Byte* p, const Byte* end) {
    Byte c = *p;
    if (Ascii::IsBlank(c)) return p + 1;
    if (m_specials.Contains(c)) {
        m_target->Special(c);
        return p + 1;
    }
    switch (c) {
        case '"':
            StartElement(State::QuotedString, m_target->QuotedString());
            return p + 1;
        case '(':
            m_commentDepth = 1;
            StartElement(State::Comment, m_target->Comment());
            return p + 1;
        case '[':
            StartElement(State::DomainLiteral, m_target->DomainLiteral());
            return p + 1;
        default:
            break;
    }
    if (!m_tokenBytes.Contains(c)) return p + 1;
    StartElement(State::Token, m_target->Token());
    return p;
}

const Byte* StructuredFieldMaker::InToken(const Byte* p, const Byte* end) {
    const Byte* run = p;
    while (p != end && m_tokenBytes.Contains(*p)) ++p;
    m_element->Receive(run, p);
    if (p != end) EndElement();
    return p;
}

// Quoted strings, comments and domain literals: the content up to the closing delimiter, a
// backslash dropped and the byte after it passed on; in a comment the parentheses nest.
const Byte* StructuredFieldMaker::InDelimited(const Byte* p, const Byte* end) {
    const Byte* run = p;
    for (; p != end; ++p) {
        Byte c = *p;
        if (m_escaped) {
            m_escaped = false;
            continue;
        }
        if (c == '\\') {
            m_element->Receive(run, p);
            m_escaped = true;
            run = p + 1;
            continue;
        }
        bool closes = false;
        if (m_state == State::QuotedString) {
            closes = c == '"';
        } else if (m_state == State::DomainLiteral) {
            closes = c == ']';
        } else if (c == '(') {
            ++m_commentDepth;
        } else if (c == ')') {
            closes = --m_commentDepth == 0;
        }
        if (closes) {
            m_element->Receive(run, p);
            EndElement();
            return p + 1;
        }
    }
    m_element->Receive(run, p);
    return p;
}

void StructuredFieldMaker::StartElement(State state, DataReceiver& receiver) {
    m_state = state;
    m_escaped = false;
    m_element = &receiver;
    m_element->Begin();
}

void StructuredFieldMaker::EndElement() {
    if (m_element != nullptr) m_element->End();
    m_element = nullptr;
    m_state = State::BetweenElements;
}
