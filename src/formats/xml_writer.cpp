#include "formats/xml_writer.h"

#include <string>

namespace {

constexpr Byte kMiddleDot = 0xB7;

bool IsNameStartByte(Byte c) {
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNameByte(Byte c) {
    return IsNameStartByte(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == kMiddleDot;
}

bool IsValidName(ConstData name) {
    if (name.IsEmpty() || !IsNameStartByte(*name.begin)) return false;
    for (const Byte* p = name.begin + 1; p != name.end; ++p) {
        if (!IsNameByte(*p)) return false;
    }
    return true;
}

bool IsContinuationIn(Byte c, Byte low, Byte high) {
    return c >= low && c <= high;
}

// The length of the well-formed UTF-8 sequence (RFC 3629: shortest form, no surrogates, at most
// U+10FFFF) that starts at p, or 0 when none does.
std::size_t WellFormedUTF8Length(const Byte* p, const Byte* end) {
    std::size_t available = static_cast<std::size_t>(end - p);
    Byte lead = p[0];
    // The range allowed for the second byte depends on the lead byte; later bytes are 80-BF.
    Byte low = 0x80, high = 0xBF;
    std::size_t length;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (available < length || !IsContinuationIn(p[1], low, high)) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuationIn(p[i], 0x80, 0xBF)) return 0;
    }
    return length;
}

std::string Quoted(ConstData name) {
    return "'" + std::string(name.View()) + "'";
}

}  // namespace

InvalidXMLElementName::InvalidXMLElementName(ConstData name)
    : ExceptionPL("Unable to write XML element with invalid element name " + Quoted(name)) {}

InvalidXMLAttributeName::InvalidXMLAttributeName(ConstData elementName, ConstData attributeName)
    : ExceptionPL("Unable to write XML element " + Quoted(elementName) + " with invalid attribute name " +
                  Quoted(attributeName)) {}

void XMLWriterPL::WriteDeclaration(const StringPL& rootName, const XMLAttributeList& attributes,
                                   const OptionalValue<StringPL>& encoding) {
    m_out.Begin(0);
    Write("<?xml version=\"1.0\"");
    if (encoding) {
        Write(" encoding=\"");
        Write(encoding->GetConstData());
        Write("\"");
    }
    Write("?>");
    StartElement(rootName.GetConstData(), attributes);
}

void XMLWriterPL::StartElement(const char* name, const XMLAttributeList& attributes) {
    StartElement(ConstDataOfCString(name), attributes);
}

void XMLWriterPL::StartElement(ConstData name, const XMLAttributeList& attributes) {
    if (!IsValidName(name)) throw InvalidXMLElementName(name);
    for (const auto& [attributeName, value] : attributes) {
        if (!IsValidName(attributeName.GetConstData()))
            throw InvalidXMLAttributeName(name, attributeName.GetConstData());
    }
    BreakLine(m_open.size());
    Write("<");
    Write(name);
    for (const auto& [attributeName, value] : attributes) {
        Write(" ");
        Write(attributeName.GetConstData());
        Write("=\"");
        WriteEscapedAttributeValue(value.GetConstData());
        Write("\"");
    }
    Write(">");
    // A valid name holds no NUL, so the counted copy keeps all of it.
    m_open.emplace_back(name.Chars(), static_cast<int>(name.Length()));
    m_last = Written::StartTag;
}

void XMLWriterPL::WriteText(const StringPL& text) {
    if (m_last == Written::EndTag && m_layout != XMLLayout::SingleLine) BreakLine(0);
    WriteEscapedText(text.GetConstData());
    m_last = Written::Text;
}

void XMLWriterPL::EndElement() {
    if (m_last == Written::EndTag) BreakLine(m_open.size() - 1);
    Write("</");
    Write(m_open.back().GetConstData());
    Write(">");
    m_last = Written::EndTag;
    m_open.pop_back();
}

void XMLWriterPL::Finish() {
    while (!m_open.empty()) EndElement();
    m_out.End(m_position);
}

void XMLWriterPL::Write(ConstData bytes) {
    if (bytes.IsEmpty()) return;
    m_out.ReceiveText(bytes.begin, bytes.end);
    m_position += bytes.Length();
}

void XMLWriterPL::Write(const char* text) {
    Write(ConstDataOfCString(text));
}

// Only the indented layout writes the tabs; the single-line layout writes no line end either.
void XMLWriterPL::BreakLine(std::size_t indentation) {
    if (m_layout == XMLLayout::SingleLine) return;
    m_out.EndLine(m_position, m_position);
    if (m_layout == XMLLayout::Indented) {
        for (std::size_t i = 0; i < indentation; ++i) Write("\t");
    }
}

void XMLWriterPL::WriteEscapedText(ConstData text) {
    static const char kHexDigits[] = "0123456789abcdef";
    const Byte* run = text.begin;
    const Byte* p = text.begin;
    while (p != text.end) {
        std::string replacement;
        if (*p == '&') {
            replacement = "&amp;";
        } else if (*p == '<') {
            replacement = "&lt;";
        } else if (*p == '>') {
            replacement = "&gt;";
        } else if (*p >= 0x80) {
            std::size_t length = WellFormedUTF8Length(p, text.end);
            if (length != 0) {
                p += length;
                continue;
            }
            replacement = {'&', '#', 'x', kHexDigits[*p >> 4], kHexDigits[*p & 0xF], ';'};
        } else {
            ++p;
            continue;
        }
        Write(ConstData(run, p));
        Write(replacement.c_str());
        run = ++p;
    }
    Write(ConstData(run, p));
}

void XMLWriterPL::WriteEscapedAttributeValue(ConstData value) {
    const Byte* run = value.begin;
    for (const Byte* p = value.begin; p != value.end; ++p) {
        const char* replacement = nullptr;
        switch (*p) {
            case '"':
                replacement = "&quot;";
                break;
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            default:
                continue;
        }
        Write(ConstData(run, p));
        Write(replacement);
        run = p + 1;
    }
    Write(ConstData(run, value.end));
}
