#include "formats/simple_xml_parser.h"

#include "base/character_classes.h"

// The tokenizer is a state machine over single bytes. Changing state with GoTo does the work of
// leaving the old state (reporting what it collected) and of entering the new one (clearing what it
// collects); the few changes that only switch the state assign m_state directly.
//
// Two choices go beyond the plain table of states. A '-' counts towards a comment opening only right
// after "<!", so element names keep their hyphens (which the writers' name rule allows). And a "/"
// after the tag name's space marks the tag as self-closing, and a ">" or "/" ends an attribute that
// has no value: without that, the "/" and ">" of '<a x="1"/>' or '<a b>' would be taken into an
// attribute name and the tag would swallow the rest of the document.

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// The text a reference from "&" to ";" stands for; the reference itself when it is not one of those
// the tokenizer knows.
std::string DecodeReference(const std::string& reference) {
    if (reference == "&lt;") return "<";
    if (reference == "&gt;") return ">";
    if (reference == "&amp;") return "&";
    if (reference == "&quot;") return "\"";
    constexpr std::size_t kHexPrefixLength = 3;  // "&#x"
    if (reference.size() <= kHexPrefixLength + 1 || reference.compare(0, kHexPrefixLength, "&#x") != 0)
        return reference;
    unsigned value = 0;
    for (std::size_t i = kHexPrefixLength; i + 1 < reference.size(); ++i) {
        if (!Ascii::HexDigits().Contains(static_cast<Byte>(reference[i]))) return reference;
        value = value * 16 + static_cast<unsigned>(HexDigitValue(reference[i]));
        if (value > 0xFF) return reference;
    }
    return std::string(1, static_cast<char>(value));
}

}  // namespace

void SimpleXMLParserPL::Receive(const char* data, std::size_t length) {
    const char* end = data + length;
    while (data != end) {
        if (m_state == State::Content) {
            const char* markup = data;
            while (markup != end && *markup != '<' && *markup != '&') ++markup;
            m_text.append(data, markup);
            data = markup;
            if (data == end) break;
        }
        Handle(*data++);
    }
}

void SimpleXMLParserPL::Handle(char c) {
    switch (m_state) {
        case State::Content:
            if (c == '<') {
                GoTo(State::TagOpen);
            } else if (c == '&') {
                GoTo(State::Reference);
            } else {
                m_text += c;
            }
            break;
        case State::Reference:
            if (c == ';') {
                GoTo(State::Content);
            } else {
                m_reference += c;
            }
            break;
        case State::TagOpen:
            HandleTagOpen(c);
            break;
        case State::EndTag:
            if (c == '>') {
                GoTo(State::Content);
            } else {
                m_tagName += c;
            }
            break;
        case State::InTag:
            HandleInTag(c);
            break;
        case State::AttributeName:
            if (c == '=') {
                m_state = State::BeforeValue;
            } else if (c == '>') {
                GoTo(State::Content);
            } else if (c == '/') {
                GoTo(State::InTag);
                m_selfClosing = true;
            } else {
                CurrentAttribute().first += c;
            }
            break;
        case State::BeforeValue:
            if (c == '"' || c == '\'') {
                m_quote = c;
                m_state = State::AttributeValue;
            }
            break;
        case State::AttributeValue:
            if (c == m_quote) {
                GoTo(State::InTag);
            } else if (c == '&') {
                m_reference = "&";
                m_state = State::AttributeReference;
            } else {
                CurrentAttribute().second += c;
            }
            break;
        case State::AttributeReference:
            m_reference += c;
            if (c == ';') {
                CurrentAttribute().second += DecodeReference(m_reference);
                m_state = State::AttributeValue;
            }
            break;
        case State::Comment:
            if (c == '-') {
                ++m_dashes;
            } else if (c == '>' && m_dashes >= 2) {
                GoTo(State::Content);
            } else {
                m_dashes = 0;
            }
            break;
        case State::CData:
            HandleCData(c);
            break;
    }
}

void SimpleXMLParserPL::HandleTagOpen(char c) {
    if (c == ' ') {
        if (!m_tagName.empty()) GoTo(State::InTag);
    } else if (c == '/') {
        m_state = State::EndTag;
    } else if (c == '>') {
        GoTo(State::Content);
    } else if (c == '-' && m_tagName == "!") {
        if (++m_dashes == 2) {
            m_dashes = 0;
            m_state = State::Comment;
        }
    } else {
        m_tagName += c;
        if (m_tagName == "![CDATA[") {
            m_tagName.clear();
            m_previous = m_beforePrevious = 0;
            m_state = State::CData;
        }
    }
}

void SimpleXMLParserPL::HandleInTag(char c) {
    if (c == ' ' || c == '?') return;
    if (c == '>') {
        GoTo(State::Content);
    } else if (c == '/') {
        m_selfClosing = true;
    } else {
        m_selfClosing = false;
        CurrentAttribute().first += c;
        m_state = State::AttributeName;
    }
}

// Bytes reach the text two behind, so that the "]]" of the closing "]]>" never does.
void SimpleXMLParserPL::HandleCData(char c) {
    if (c == '>' && m_previous == ']' && m_beforePrevious == ']') {
        GoTo(State::Content);
        return;
    }
    if (m_beforePrevious != 0) m_text += m_beforePrevious;
    m_beforePrevious = m_previous;
    m_previous = c;
}

void SimpleXMLParserPL::GoTo(State next) {
    Leave(next);
    m_state = next;
    Enter(next);
}

void SimpleXMLParserPL::Leave(State next) {
    switch (m_state) {
        case State::Content:
        case State::CData:
            ReportText();
            break;
        case State::Reference:
            m_reference += ';';
            Characters(DecodeReference(m_reference));
            break;
        case State::TagOpen:
        case State::InTag:
        case State::AttributeName:
            if (next == State::Content) ReportTag();
            break;
        case State::EndTag:
            if (next == State::Content) EndElement(m_tagName);
            break;
        case State::AttributeValue:
            if (next == State::InTag) ++m_attributeCount;
            break;
        default:
            break;
    }
}

void SimpleXMLParserPL::Enter(State next) {
    switch (next) {
        case State::Reference:
            m_reference = "&";
            break;
        case State::TagOpen:
            m_tagName.clear();
            m_dashes = 0;
            m_attributeCount = 0;
            m_selfClosing = false;
            break;
        case State::InTag:
            if (m_attributeStore.size() == m_attributeCount) m_attributeStore.emplace_back();
            CurrentAttribute().first.clear();
            CurrentAttribute().second.clear();
            break;
        default:
            break;
    }
}

void SimpleXMLParserPL::ReportText() {
    if (m_text.empty()) return;
    Characters(m_text);
    m_text.clear();
}

// Declarations ("<!DOCTYPE ...>") are not reported.
void SimpleXMLParserPL::ReportTag() {
    std::span<const XMLAttribute> attributes(m_attributeStore.data(), m_attributeCount);
    if (!m_tagName.empty() && m_tagName.front() == '?') {
        ProcessingInstruction(m_tagName, attributes);
    } else if (m_tagName.empty() || m_tagName.front() != '!') {
        StartElement(m_tagName, attributes);
        if (m_selfClosing) EndElement(m_tagName);
    }
}
